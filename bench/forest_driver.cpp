// The forest's side of bench/forest_vs_ranger.sh.
//
//   forest_driver write ROWS FILE          a synthetic table (12 features, y, class) as TSV
//   forest_driver fit FILE|ROWS KIND TREES THREADS [BINS]
//        fits a regression (KIND r: y) or classification (KIND c: class)
//        forest on the table in FILE, or on the synthetic table of ROWS rows
//        made in memory, and prints "seconds oob_error" (growing and the
//        out-of-bag answers, not the reading).
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "abc/Forest.h"

namespace {

constexpr std::size_t features = 12;

struct Table {
    FeatureMatrix x;
    std::vector<double> y;
    std::vector<int> labels;
};

// Friedman's first regression function of 5 uniform features, 7 more
// uniform features of noise, and a class of 3 cut from a noisy linear score.
Table synthetic(std::size_t rows) {
    std::mt19937_64 engine(12345);
    auto uniform = [&] { return (engine() >> 11) * 0x1.0p-53; };
    auto normal = [&] {
        const double u = 1.0 - uniform(), v = uniform();
        return std::sqrt(-2.0 * std::log(u)) * std::cos(2.0 * M_PI * v);
    };
    Table t{{rows, features, std::vector<double>(rows * features)}, {}, {}};
    std::vector<double> row(features);
    for (std::size_t r = 0; r < rows; ++r) {
        for (std::size_t c = 0; c < features; ++c) t.x.values[c * rows + r] = row[c] = uniform();
        t.y.push_back(10 * std::sin(M_PI * row[0] * row[1]) + 20 * std::pow(row[2] - 0.5, 2) +
                      10 * row[3] + 5 * row[4] + normal());
        const double score = row[0] + row[1] - row[5] + 0.3 * normal();
        t.labels.push_back(score < 0.3 ? 0 : score < 0.8 ? 1 : 2);
    }
    return t;
}

Table read(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    std::vector<std::vector<double>> columns(features);
    Table t;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        double v;
        for (std::size_t c = 0; c < features; ++c) {
            fields >> v;
            columns[c].push_back(v);
        }
        int k;
        fields >> v >> k;
        t.y.push_back(v);
        t.labels.push_back(k);
    }
    t.x.rows = t.y.size();
    t.x.cols = features;
    for (const auto& c : columns) t.x.values.insert(t.x.values.end(), c.begin(), c.end());
    return t;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "write" && argc == 4) {
        const Table t = synthetic(std::strtoul(argv[2], nullptr, 10));
        std::FILE* out = std::fopen(argv[3], "w");
        for (std::size_t c = 0; c < features; ++c) std::fprintf(out, "x%zu\t", c + 1);
        std::fprintf(out, "y\tclass\n");
        for (std::size_t r = 0; r < t.x.rows; ++r) {
            for (std::size_t c = 0; c < features; ++c) std::fprintf(out, "%.17g\t", t.x.at(r, c));
            std::fprintf(out, "%.17g\t%d\n", t.y[r], t.labels[r]);
        }
        return std::fclose(out) == 0 ? 0 : 1;
    }
    if (command == "fit" && (argc == 6 || argc == 7)) {
        const std::string source = argv[2];
        const Table t = source.find_first_not_of("0123456789") == std::string::npos
                            ? synthetic(std::strtoul(source.c_str(), nullptr, 10))
                            : read(source);
        ForestSettings s;
        s.trees = std::atoi(argv[4]);
        s.threads = std::atoi(argv[5]);
        if (argc == 7) s.bins = std::atoi(argv[6]);
        const auto start = std::chrono::steady_clock::now();
        double error;
        if (std::string(argv[3]) == "r")
            error = RegressionForest(t.x, t.y, s).oobMeanSquaredError();
        else
            error = ClassificationForest(t.x, t.labels, 3, s).oobErrorRate();
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        std::printf("%.2f %.5f\n", took.count(), error);
        return 0;
    }
    std::fprintf(stderr,
                 "usage: forest_driver write ROWS FILE | fit FILE|ROWS r|c TREES THREADS [BINS]\n");
    return 2;
}
