#include "abc/Forest.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <numeric>
#include <random>
#include <stdexcept>
#include <string>

#include "abc/ForestEstimate.h"
#include "abc/Lda.h"
#include "abc/Raking.h"

namespace {

const double nan = std::numeric_limits<double>::quiet_NaN();

// Test data from its own fixed stream: uniform and normal draws written
// here, so that the tables are the same with any standard library.
class Draws {
  public:
    explicit Draws(std::uint64_t seed) : engine_(seed) {}
    double uniform() { return (engine_() >> 11) * 0x1.0p-53; }
    double normal() {
        const double u = 1.0 - uniform(), v = uniform();
        return std::sqrt(-2.0 * std::log(u)) * std::cos(2.0 * M_PI * v);
    }

  private:
    std::mt19937_64 engine_;
};

FeatureMatrix uniformMatrix(std::size_t rows, std::size_t cols, Draws& draws) {
    FeatureMatrix x{rows, cols, std::vector<double>(rows * cols)};
    for (double& v : x.values) v = draws.uniform();
    return x;
}

std::vector<double> row(const FeatureMatrix& x, std::size_t r) {
    std::vector<double> out(x.cols);
    for (std::size_t c = 0; c < x.cols; ++c) out[c] = x.at(r, c);
    return out;
}

double dot(const std::vector<double>& a, const std::vector<double>& b) {
    double s = 0.0;
    for (std::size_t i = 0; i < a.size(); ++i) s += a[i] * b[i];
    return s;
}

double variance(const std::vector<double>& y) {
    const double mean = std::accumulate(y.begin(), y.end(), 0.0) / y.size();
    double s = 0.0;
    for (double v : y) s += (v - mean) * (v - mean);
    return s / (y.size() - 1);
}

// The step y = [x0 > 0.5] with two irrelevant features.
struct StepTable {
    FeatureMatrix x;
    std::vector<double> y;
    explicit StepTable(std::size_t rows, std::uint64_t seed = 7) {
        Draws draws(seed);
        x = uniformMatrix(rows, 3, draws);
        for (std::size_t r = 0; r < rows; ++r) y.push_back(x.at(r, 0) > 0.5 ? 1.0 : 0.0);
    }
};

// Two Gaussian clouds of sd 1 whose centres are 8 apart along feature 0.
struct Clouds {
    FeatureMatrix x;
    std::vector<int> labels;
    explicit Clouds(std::size_t rows, std::size_t cols = 3, std::uint64_t seed = 11) {
        Draws draws(seed);
        x = FeatureMatrix{rows, cols, std::vector<double>(rows * cols)};
        for (std::size_t r = 0; r < rows; ++r) {
            labels.push_back(static_cast<int>(r % 2));
            for (std::size_t c = 0; c < cols; ++c)
                x.values[c * rows + r] = draws.normal() + (c == 0 ? 8.0 * labels.back() : 0.0);
        }
    }
};

template <class T>
bool sameBytes(const std::vector<T>& a, const std::vector<T>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0;
}

TEST(ForestDeterminism, SameBytesForAnyThreadCountAndOtherBytesForAnotherSeed) {
    StepTable step(400);
    Clouds clouds(300);
    const std::vector<double> point{0.3, 0.6, 0.9};
    struct Answers {
        std::vector<double> weights, oob, importance, votes;
        std::vector<int> classes;
    };
    auto fit = [&](int threads, unsigned long seed) {
        ForestSettings s;
        s.trees = 40;
        s.threads = threads;
        s.seed = seed;
        RegressionForest regression(step.x, step.y, s);
        ClassificationForest classification(clouds.x, clouds.labels, 2, s);
        return Answers{regression.posteriorWeights(point), regression.oobPredictions(),
                       regression.importance(), classification.voteShares({4.0, 0.0, 0.0}),
                       classification.oobPredictions()};
    };
    const Answers one = fit(1, 5);
    for (int threads : {2, 3, 8}) {
        SCOPED_TRACE(threads);
        const Answers other = fit(threads, 5);
        EXPECT_TRUE(sameBytes(one.weights, other.weights));
        EXPECT_TRUE(sameBytes(one.oob, other.oob));
        EXPECT_TRUE(sameBytes(one.importance, other.importance));
        EXPECT_TRUE(sameBytes(one.votes, other.votes));
        EXPECT_EQ(one.classes, other.classes);
    }
    const Answers reseeded = fit(2, 6);
    EXPECT_FALSE(sameBytes(one.weights, reseeded.weights));
    EXPECT_FALSE(sameBytes(one.oob, reseeded.oob));
}

TEST(ForestRegression, RecoversAStepAndItsFeature) {
    StepTable step(1000);
    ForestSettings s;
    s.trees = 100;
    RegressionForest forest(step.x, step.y, s);
    const struct {
        std::vector<double> point;
        double expected;
    } cases[] = {{{0.2, 0.5, 0.5}, 0.0},
                 {{0.45, 0.1, 0.9}, 0.0},
                 {{0.55, 0.9, 0.1}, 1.0},
                 {{0.9, 0.5, 0.5}, 1.0}};
    for (const auto& c : cases) EXPECT_NEAR(forest.predict(c.point), c.expected, 0.05);
    EXPECT_LT(forest.oobMeanSquaredError(), 0.02);
    const std::vector<double>& importance = forest.importance();
    EXPECT_GT(importance[0], 20 * importance[1]);
    EXPECT_GT(importance[0], 20 * importance[2]);
}

TEST(ForestRegression, PosteriorWeightsSumToOneAndReproduceThePrediction) {
    Draws draws(3);
    FeatureMatrix x = uniformMatrix(600, 4, draws);
    std::vector<double> y;
    for (std::size_t r = 0; r < x.rows; ++r) y.push_back(100 + 3 * x.at(r, 1) + draws.normal());
    ForestSettings s;
    s.trees = 60;
    RegressionForest forest(x, y, s);
    const std::vector<std::vector<double>> points{
        {0.5, 0.5, 0.5, 0.5}, {0.0, 1.0, 0.0, 1.0}, {-5, 7, 0.2, 0.3}, {nan, 0.2, nan, 0.9}};
    for (const auto& point : points) {
        const std::vector<double> w = forest.posteriorWeights(point);
        EXPECT_NEAR(std::accumulate(w.begin(), w.end(), 0.0), 1.0, 1e-12);
        EXPECT_NEAR(dot(w, y), forest.predict(point), 1e-10);
        for (double v : w) EXPECT_GE(v, 0.0);
    }
    for (std::size_t r : {0u, 17u, 599u}) {
        const std::vector<double> w = forest.oobWeights(r);
        EXPECT_NEAR(std::accumulate(w.begin(), w.end(), 0.0), 1.0, 1e-12);
        EXPECT_NEAR(dot(w, y), forest.oobPredictions()[r], 1e-10);
        EXPECT_EQ(w[r], 0.0);  // never its own weight
    }
}

TEST(ForestRegression, OutOfBagErrorOfNoiseIsItsVariance) {
    Draws draws(5);
    FeatureMatrix x = uniformMatrix(2000, 5, draws);
    std::vector<double> y;
    for (std::size_t r = 0; r < x.rows; ++r) y.push_back(2 * draws.normal());
    ForestSettings s;
    s.trees = 100;
    RegressionForest forest(x, y, s);
    // Out of bag a forest cannot beat the mean, and averaging 100 trees of
    // small leaves adds a little variance to it.
    const double ratio = forest.oobMeanSquaredError() / variance(y);
    EXPECT_GT(ratio, 0.98);
    EXPECT_LT(ratio, 1.25);
}

TEST(ForestRegression, BinnedSplitsLoseLittleAgainstExactOnes) {
    Draws draws(9);
    FeatureMatrix x = uniformMatrix(3000, 4, draws);
    std::vector<double> y;
    for (std::size_t r = 0; r < x.rows; ++r)
        y.push_back(std::sin(6 * x.at(r, 0)) + x.at(r, 1) * x.at(r, 2) + 0.3 * draws.normal());
    ForestSettings s;
    s.trees = 100;
    s.bins = 32;
    const double binned = RegressionForest(x, y, s).oobMeanSquaredError();
    s.bins = 4000;  // one bin per distinct value: exact
    const double exact = RegressionForest(x, y, s).oobMeanSquaredError();
    EXPECT_LT(std::fabs(binned - exact) / variance(y), 0.02);
}

TEST(ForestRegression, MissingValuesGoRightWithoutCrashing) {
    // Feature 0 is missing exactly where y is high: only the NaN rule can
    // find it.
    Draws draws(13);
    FeatureMatrix x = uniformMatrix(500, 2, draws);
    std::vector<double> y;
    for (std::size_t r = 0; r < x.rows; ++r) {
        y.push_back(r % 3 == 0 ? 5.0 : 0.0);
        if (r % 3 == 0) x.values[r] = nan;
    }
    x.values[x.rows + 1] = nan;  // one missing value of feature 1 too
    ForestSettings s;
    s.trees = 50;
    s.mtry = 2;
    RegressionForest forest(x, y, s);
    EXPECT_NEAR(forest.predict({nan, 0.5}), 5.0, 0.1);
    EXPECT_NEAR(forest.predict({0.5, 0.5}), 0.0, 0.1);
    EXPECT_TRUE(std::isfinite(forest.predict({nan, nan})));
    EXPECT_LT(forest.oobMeanSquaredError(), 0.1);
}

TEST(ForestRegression, ConstantResponseAndTinyTables) {
    const struct {
        std::size_t rows;
        double response;
    } cases[] = {{1, 3.5}, {2, -1.0}, {50, 0.1}};
    for (const auto& c : cases) {
        Draws draws(c.rows);
        FeatureMatrix x = uniformMatrix(c.rows, 2, draws);
        std::vector<double> y(c.rows, c.response);
        ForestSettings s;
        s.trees = 20;
        RegressionForest forest(x, y, s);
        EXPECT_DOUBLE_EQ(forest.predict({0.5, 0.5}), c.response);
        for (const Tree& tree : {forest.tree(0), forest.tree(19)}) EXPECT_EQ(tree.nodes.size(), 1u);
    }
}

TEST(ForestSettingsCheck, BadInputsThrow) {
    Draws draws(1);
    const FeatureMatrix x = uniformMatrix(10, 2, draws);
    const std::vector<double> y(10, 1.0);
    auto with = [](auto change) {
        ForestSettings s;
        change(s);
        return s;
    };
    const ForestSettings bad[] = {with([](ForestSettings& s) { s.trees = 0; }),
                                  with([](ForestSettings& s) { s.mtry = 3; }),
                                  with([](ForestSettings& s) { s.bins = 1; }),
                                  with([](ForestSettings& s) { s.bins = 70000; }),
                                  with([](ForestSettings& s) { s.minNodeSize = -1; })};
    for (const ForestSettings& s : bad)
        EXPECT_THROW(RegressionForest(x, y, s), std::invalid_argument);
    EXPECT_THROW(RegressionForest(x, std::vector<double>(9, 1.0)), std::invalid_argument);
    EXPECT_THROW(RegressionForest(x, std::vector<double>(10, nan)), std::invalid_argument);
    EXPECT_THROW(ClassificationForest(x, std::vector<int>(10, 2), 2), std::invalid_argument);
    EXPECT_THROW(RegressionForest(FeatureMatrix{}, {}), std::invalid_argument);
}

TEST(ForestClassification, SeparatesTwoClouds) {
    Clouds clouds(1000);
    ForestSettings s;
    s.trees = 100;
    ClassificationForest forest(clouds.x, clouds.labels, 2, s);
    EXPECT_LT(forest.oobErrorRate(), 0.05);
    std::size_t total = 0, diagonal = 0;
    for (std::size_t t = 0; t < 2; ++t)
        for (std::size_t p = 0; p < 2; ++p) {
            total += forest.oobConfusion()[t][p];
            if (t == p) diagonal += forest.oobConfusion()[t][p];
        }
    EXPECT_EQ(total, 1000u);  // with 100 trees every row is out of bag somewhere
    EXPECT_NEAR(1.0 - double(diagonal) / total, forest.oobErrorRate(), 1e-15);
    const struct {
        std::vector<double> point;
        int expected;
    } cases[] = {{{0.0, 0.0, 0.0}, 0}, {{8.0, 0.0, 0.0}, 1}, {{-3.0, 2.0, -1.0}, 0}};
    for (const auto& c : cases) {
        const std::vector<double> shares = forest.voteShares(c.point);
        EXPECT_NEAR(shares[0] + shares[1], 1.0, 1e-12);
        EXPECT_GT(shares[static_cast<std::size_t>(c.expected)], 0.9);
        EXPECT_EQ(forest.predict(c.point), c.expected);
    }
    EXPECT_GT(forest.importance()[0], 10 * forest.importance()[1]);
}

TEST(ForestClassification, ThreeClassesAndAnEmptyOne) {
    // Class k has feature 0 near 3k; class 3 has no row at all.
    Draws draws(17);
    const std::size_t n = 600;
    FeatureMatrix x{n, 2, std::vector<double>(2 * n)};
    std::vector<int> labels;
    for (std::size_t r = 0; r < n; ++r) {
        labels.push_back(static_cast<int>(r % 3));
        x.values[r] = 3.0 * labels.back() + 0.3 * draws.normal();
        x.values[n + r] = draws.normal();
    }
    ForestSettings s;
    s.trees = 50;
    ClassificationForest forest(x, labels, 4, s);
    EXPECT_LT(forest.oobErrorRate(), 0.02);
    EXPECT_EQ(forest.voteShares({6.0, 0.0}).size(), 4u);
    EXPECT_EQ(forest.voteShares({6.0, 0.0})[3], 0.0);
    EXPECT_EQ(forest.predict({3.1, 0.0}), 1);
}

// The weighted empirical quantile inf{v : F(v) >= p} of the quantile
// regression forest.
double inverseCdf(const std::vector<double>& values, const std::vector<double>& weights, double p) {
    std::vector<std::size_t> order(values.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::sort(order.begin(), order.end(),
              [&](std::size_t a, std::size_t b) { return values[a] < values[b]; });
    double cumulative = 0.0;
    for (std::size_t i : order)
        if ((cumulative += weights[i]) >= p) return values[i];
    return values[order.back()];
}

// theta ~ U(0, 1), x0 ~ N(theta, 0.1^2), three noise features: the
// out-of-bag 50 % and 95 % intervals of the quantile regression forest
// should cover theta that often, within 3 binomial standard errors over 2000
// rows (0.033 and 0.015). Leaves of a few rows give too narrow intervals
// (95 % ones cover about 0.92 at node size 5, with R's ranger as with this
// forest), hence nodes of 20.
TEST(ForestRegression, OutOfBagIntervalsCoverTheTruth) {
    Draws draws(21);
    const std::size_t n = 2000;
    FeatureMatrix x = uniformMatrix(n, 4, draws);
    std::vector<double> theta(n);
    for (std::size_t r = 0; r < n; ++r) {
        theta[r] = draws.uniform();
        x.values[r] = theta[r] + 0.1 * draws.normal();
    }
    ForestSettings s;
    s.trees = 300;
    s.minNodeSize = 20;
    s.threads = 2;
    RegressionForest forest(x, theta, s);
    const struct {
        double low, high;
        double tolerance;
    } intervals[] = {{0.25, 0.75, 0.033}, {0.025, 0.975, 0.015}};
    for (const auto& interval : intervals) {
        std::size_t covered = 0;
        for (std::size_t r = 0; r < n; ++r) {
            const std::vector<double> w = forest.oobWeights(r);
            if (inverseCdf(theta, w, interval.low) <= theta[r] &&
                theta[r] <= inverseCdf(theta, w, interval.high))
                ++covered;
        }
        EXPECT_NEAR(double(covered) / n, interval.high - interval.low, interval.tolerance);
    }
}

// Two classes whose means differ by `shift` in features 0 and 1, which
// have unit within-class variances and correlation rho; feature 2 is noise
// and feature 3 constant. The discriminant axis is W^-1 (m1 - m0).
TEST(Lda, AxisOfTwoClassesIsTheInverseCovarianceTimesTheShift) {
    const struct {
        double shift0, shift1, rho;
    } cases[] = {{2.0, 2.0, 0.0}, {1.0, 0.0, 0.8}, {0.0, 1.5, -0.5}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rho);
        Draws draws(23);
        const std::size_t n = 4000;
        FeatureMatrix x{n, 4, std::vector<double>(4 * n)};
        std::vector<int> labels;
        for (std::size_t r = 0; r < n; ++r) {
            labels.push_back(static_cast<int>(r % 2));
            const double z0 = draws.normal(), z1 = draws.normal();
            x.values[r] = z0 + c.shift0 * labels.back();
            x.values[n + r] =
                c.rho * z0 + std::sqrt(1 - c.rho * c.rho) * z1 + c.shift1 * labels.back();
            x.values[2 * n + r] = draws.normal();
            x.values[3 * n + r] = 7.0;
        }
        const LdaAxes lda = ldaAxes(x, labels, 2);
        ASSERT_EQ(lda.axes(), 1u);
        const std::vector<double>& a = lda.coefficients[0];
        EXPECT_EQ(a[3], 0.0);
        const std::vector<double> expected{c.shift0 - c.rho * c.shift1, c.shift1 - c.rho * c.shift0,
                                           0.0, 0.0};
        EXPECT_GT(std::fabs(dot(a, expected)) / std::sqrt(dot(a, a) * dot(expected, expected)),
                  0.998);
        // Scores: within-class variance 1 and mean 0 over all rows.
        const FeatureMatrix scores = lda.projectRows(x);
        double mean[2] = {0, 0}, squares = 0.0;
        for (std::size_t r = 0; r < n; ++r) mean[labels[r]] += scores.values[r] / (n / 2);
        for (std::size_t r = 0; r < n; ++r)
            squares += std::pow(scores.values[r] - mean[labels[r]], 2);
        EXPECT_NEAR(squares / (n - 2), 1.0, 1e-9);
        EXPECT_NEAR(mean[0] + mean[1], 0.0, 1e-9);
        EXPECT_NEAR(lda.project(row(x, 5))[0], scores.values[5], 1e-12);
    }
}

TEST(Lda, DegenerateTablesGiveZeroAxesInsteadOfErrors) {
    Draws draws(29);
    const std::size_t n = 300;
    const struct {
        const char* name;
        int classes;
        bool collinear, constant, identical;
        std::size_t nonzero;  // axes with a nonzero coefficient
    } cases[] = {{"three classes", 3, false, false, false, 2},
                 {"a duplicated column", 3, true, false, false, 2},
                 {"all columns constant", 2, false, true, false, 0},
                 {"identical class means", 2, false, false, true, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FeatureMatrix x{n, 3, std::vector<double>(3 * n)};
        std::vector<int> labels;
        for (std::size_t r = 0; r < n; ++r) {
            labels.push_back(static_cast<int>(r % c.classes));
            // Identical means: +-(f + 1) in both classes, in equal numbers.
            const double sign = r % 4 < 2 ? 1.0 : -1.0;
            for (std::size_t f = 0; f < 3; ++f)
                x.values[f * n + r] = c.constant ? 1.0
                                      : c.identical
                                          ? sign * (f + 1.0)
                                          : draws.normal() + (f == 0 ? 3.0 * labels.back() : 0.0);
            if (c.collinear) x.values[2 * n + r] = x.values[r];
        }
        const LdaAxes lda = ldaAxes(x, labels, c.classes);
        ASSERT_EQ(lda.axes(), static_cast<std::size_t>(c.classes - 1));
        std::size_t nonzero = 0;
        for (const auto& a : lda.coefficients) {
            for (double v : a) EXPECT_TRUE(std::isfinite(v));
            if (dot(a, a) > 0) ++nonzero;
        }
        EXPECT_EQ(nonzero, c.nonzero);
    }
}

// Against R's ranger on one table of 1500 rows: OOB mean squared error
// within 0.02 of the response's variance of ranger's, and the prediction
// at a point within a few of ranger's own spread over seeds.
TEST(ForestAgainstR, OutOfBagErrorAndPredictionAgreeWithRanger) {
    if (std::system("Rscript -e 'suppressMessages(library(ranger))' >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "R's ranger is not installed";
    Draws draws(31);
    const std::size_t n = 1500;
    FeatureMatrix x = uniformMatrix(n, 4, draws);
    std::vector<double> y;
    for (std::size_t r = 0; r < n; ++r)
        y.push_back(2 * x.at(r, 0) + std::sin(5 * x.at(r, 1)) + 0.5 * draws.normal());
    char dir[] = "/tmp/forest_test_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string table = std::string(dir) + "/table.tsv", out = std::string(dir) + "/out";
    {
        std::ofstream file(table);
        file.precision(17);
        file << "x0\tx1\tx2\tx3\ty\n";
        for (std::size_t r = 0; r < n; ++r) {
            for (std::size_t c = 0; c < 4; ++c) file << x.at(r, c) << '\t';
            file << y[r] << '\n';
        }
    }
    const std::string script = std::string(dir) + "/fit.R";
    {
        std::ofstream file(script);
        file << "d <- read.delim('" << table << "')\n"
             << "p <- data.frame(x0 = 0.3, x1 = 0.7, x2 = 0.5, x3 = 0.5)\n"
             << "r <- sapply(1:5, function(s) {\n"
             << "  f <- ranger::ranger(y ~ ., d, num.trees = 200, mtry = 2, min.node.size = 5,\n"
             << "                      seed = s, num.threads = 2)\n"
             << "  c(f$prediction.error, predict(f, p)$predictions)\n"
             << "})\n"
             << "write(c(mean(r[1, ]), mean(r[2, ]), sd(r[2, ])), '" << out << "')\n";
    }
    ASSERT_EQ(std::system(("Rscript " + script + " >/dev/null 2>&1").c_str()), 0);
    double rangerError = 0, rangerPrediction = 0, rangerSpread = 0;
    {
        std::ifstream file(out);
        file >> rangerError >> rangerPrediction >> rangerSpread;
    }
    std::remove(table.c_str());
    std::remove(out.c_str());
    std::remove(script.c_str());
    rmdir(dir);
    ForestSettings s;
    s.trees = 200;
    s.mtry = 2;
    s.threads = 2;
    RegressionForest forest(x, y, s);
    EXPECT_NEAR(forest.oobMeanSquaredError() / variance(y), rangerError / variance(y), 0.02);
    EXPECT_NEAR(forest.predict({0.3, 0.7, 0.5, 0.5}), rangerPrediction, 4 * rangerSpread + 0.02);
}

}  // namespace

// The sizes of the grown trees, as regressionForestBytes counts them.
double grownBytes(const RegressionForest& forest) {
    double bytes = static_cast<double>(forest.rows() * forest.features()) * 10.0;
    for (std::size_t t = 0; t < forest.treeCount(); ++t) {
        const Tree& tree = forest.tree(t);
        bytes += 16.0 * tree.nodes.size() + 4.0 * (tree.members.size() + tree.leafStart.size()) +
                 2.0 * tree.counts.size() + 8.0 * (tree.inBagBits.size() + tree.importance.size());
    }
    return bytes;
}

// The progress callback sees every tree and changes no byte; the size
// estimate made before growing is close to what the trees take; statistics
// never split on are not ranked.
TEST(ForestRegression, ProgressSizeAndImportanceRanking) {
    Draws draws(5);
    const FeatureMatrix x = uniformMatrix(2000, 4, draws);
    std::vector<double> y;
    for (std::size_t r = 0; r < x.rows; ++r) y.push_back(x.at(r, 0) + 0.3 * draws.normal());
    ForestSettings s;
    s.trees = 40;
    s.threads = 3;
    const RegressionForest plain(x, y, s);
    std::atomic<int> grown{0};
    s.treeGrown = [&] { ++grown; };
    const RegressionForest counted(x, y, s);
    EXPECT_EQ(grown.load(), 40);
    EXPECT_EQ(counted.oobPredictions(), plain.oobPredictions());
    EXPECT_EQ(counted.posteriorWeights(row(x, 7)), plain.posteriorWeights(row(x, 7)));
    const double estimate = regressionForestBytes(x.rows, x.cols, s.trees);
    EXPECT_NEAR(estimate / grownBytes(plain), 1.0, 0.15) << estimate;

    const struct {
        std::vector<double> importance;
        std::vector<std::size_t> shown;
    } rankings[] = {{{0, 0, 0}, {}}, {{0, 2, 0, 1}, {1, 3}}, {{3, 1, 2}, {0, 2}}};
    for (const auto& r : rankings) EXPECT_EQ(mostImportant(r.importance, 2), r.shown);
}

// Raking: the margins of the result equal the targets' in every bin, from
// a start that differs; rows of weight 0 stay so; margins no reweighting of
// the rows can meet together are reported as not converged.
TEST(Raking, MatchesEveryMarginInItsBins) {
    const std::vector<double> a = {1, 1, 2, 2, 3, 3}, b = {1, 2, 1, 2, 1, 2};
    const struct {
        std::vector<double> start, targetA, targetB;
        bool converged;
    } cases[] = {
        {{0.2, 0.2, 0.2, 0.2, 0.1, 0.1}, {0.2, 0.2, 0.3, 0.1, 0.1, 0.1}, {0.1, 0.2, 0.2, 0.2, 0.2, 0.1}, true},
        {{0.25, 0.25, 0.0, 0.25, 0.25, 0.0}, {0.5, 0.0, 0.0, 0.25, 0.25, 0.0}, {0.5, 0.0, 0.0, 0.5, 0.0, 0.0}, true},
        // a = 1 must hold all the mass, yet b = 1 only half: no row is both.
        {{0.5, 0.0, 0.0, 0.5, 0.0, 0.0}, {1.0, 0, 0, 0, 0, 0}, {0.5, 0, 0, 0.5, 0, 0}, false},
    };
    for (const auto& c : cases) {
        const RakingResult r =
            rakeWeights(c.start, {{&a, &c.targetA}, {&b, &c.targetB}}, 3, 1e-9, 200);
        EXPECT_EQ(r.converged, c.converged);
        if (!c.converged) continue;
        for (const auto& [values, target] : {std::pair{&a, &c.targetA}, std::pair{&b, &c.targetB}})
            for (double v : {1.0, 2.0, 3.0}) {
                double have = 0.0, want = 0.0;
                for (std::size_t i = 0; i < a.size(); ++i)
                    if ((*values)[i] == v) have += r.weights[i], want += (*target)[i];
                EXPECT_NEAR(have, want, 1e-9) << v;
            }
        for (std::size_t i = 0; i < a.size(); ++i)
            if (c.start[i] == 0.0) {
                EXPECT_EQ(r.weights[i], 0.0) << i;
            }
    }
}
