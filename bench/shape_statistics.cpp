// Which statistic of the allele-size distribution's shape tells strict from
// generalised stepwise mutation best. Data sets of one population (a
// constant-size coalescent, n lines, L loci) are simulated once with
// single steps (P = 0) and once with geometric steps (P(X = k) =
// (1 - P) P^(k-1), signs equally likely), theta drawn log-uniform per data
// set, so that a statistic which only follows diversity separates nothing.
// For each candidate (a mean over loci) it prints the AUC of the two samples,
// and the AUC within ten bins of mean heterozygosity (averaged), which is
// what the statistic adds once diversity is known.
//
// build: g++ -O2 -std=c++17 bench/shape_statistics.cpp -lgsl -lgslcblas -o /tmp/shape
// usage: shape [SETS [N [LOCI [P]]]]   (defaults 2000 25 10 0.3)
#include <gsl/gsl_errno.h>
#include <gsl/gsl_randist.h>
#include <gsl/gsl_rng.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace {

struct Rng {
    gsl_rng* r;
    explicit Rng(unsigned long seed) : r(gsl_rng_alloc(gsl_rng_mt19937)) { gsl_rng_set(r, seed); }
    ~Rng() { gsl_rng_free(r); }
    Rng(const Rng&) = delete;
    Rng& operator=(const Rng&) = delete;
};

int step(gsl_rng* r, double p) {
    const int size = p > 0 ? static_cast<int>(gsl_ran_geometric(r, 1.0 - p)) : 1;
    return gsl_rng_uniform(r) < 0.5 ? -size : size;
}

// Allele values of n lines at one locus: Kingman coalescent, mutations at
// rate theta/2 per lineage and unit of time.
std::vector<int> locus(gsl_rng* r, int n, double theta, double p) {
    std::vector<int> parent(2 * n - 1, -1);
    std::vector<double> height(2 * n - 1, 0.0);
    std::vector<int> active(n);
    for (int i = 0; i < n; ++i) active[i] = i;
    double t = 0;
    int next = n;
    while (active.size() > 1) {
        const double k = static_cast<double>(active.size());
        t += gsl_ran_exponential(r, 2.0 / (k * (k - 1)));
        const size_t a = gsl_rng_uniform_int(r, active.size());
        size_t b = gsl_rng_uniform_int(r, active.size() - 1);
        if (b >= a) ++b;
        parent[active[a]] = next;
        parent[active[b]] = next;
        height[next] = t;
        const int ia = active[a], ib = active[b];
        active.erase(std::remove_if(active.begin(), active.end(),
                                    [&](int x) { return x == ia || x == ib; }),
                     active.end());
        active.push_back(next++);
    }
    // Nodes were made in order of height, so the root is last and parents
    // come after children: a pass from the root down sets every value.
    std::vector<int> value(2 * n - 1, 0);
    for (int v = 2 * n - 3; v >= 0; --v) {
        const double length = height[parent[v]] - height[v];
        const unsigned m = gsl_ran_poisson(r, theta / 2 * length);
        int x = value[parent[v]];
        for (unsigned j = 0; j < m; ++j) x += step(r, p);
        value[v] = x;
    }
    return std::vector<int>(value.begin(), value.begin() + n);
}

struct Locus {
    double het = NAN, var = NAN, mgw = NAN, kurt = NAN, rangePerAllele = NAN, gapShare = NAN, madRatio = NAN;
};

Locus measure(const std::vector<int>& x) {
    Locus s;
    const double n = static_cast<double>(x.size());
    std::map<int, int> counts;
    double mean = 0;
    for (int v : x) ++counts[v], mean += v;
    mean /= n;
    double sq = 0;
    for (auto& [v, c] : counts) sq += double(c) * c;
    s.het = (n * n - sq) / (n * (n - 1));
    double m2 = 0, m4 = 0, absdev = 0;
    for (int v : x) {
        const double d = v - mean;
        m2 += d * d, m4 += d * d * d * d, absdev += std::fabs(d);
    }
    s.var = m2 / (n - 1);
    m2 /= n, m4 /= n, absdev /= n;
    const int lo = counts.begin()->first, hi = counts.rbegin()->first;
    const double k = static_cast<double>(counts.size());
    if (m2 > 0) {
        s.kurt = m4 / (m2 * m2) - 3;
        s.madRatio = absdev / std::sqrt(m2);
    }
    s.mgw = k / (hi - lo + 1);
    if (k >= 2) {
        s.rangePerAllele = (hi - lo) / (k - 1);
        int gaps = 0, prev = lo;
        for (auto& [v, c] : counts) {
            if (v != lo && v - prev > 1) ++gaps;
            prev = v;
        }
        s.gapShare = gaps / (k - 1);
    }
    return s;
}

double meanOf(const std::vector<Locus>& loci, double Locus::*f) {
    double sum = 0;
    int n = 0;
    for (const Locus& l : loci)
        if (!std::isnan(l.*f)) sum += l.*f, ++n;
    return n ? sum / n : NAN;
}

double sdOf(const std::vector<Locus>& loci, double Locus::*f) {
    const double m = meanOf(loci, f);
    double sum = 0;
    int n = 0;
    for (const Locus& l : loci)
        if (!std::isnan(l.*f)) sum += (l.*f - m) * (l.*f - m), ++n;
    return n > 1 ? std::sqrt(sum / (n - 1)) : NAN;
}

// P(a > b) + P(a = b)/2 over the pairs with both values defined.
double auc(const std::vector<double>& a, const std::vector<double>& b) {
    double wins = 0, pairs = 0;
    for (double x : a)
        for (double y : b) {
            if (std::isnan(x) || std::isnan(y)) continue;
            wins += x > y ? 1 : x == y ? 0.5 : 0;
            pairs += 1;
        }
    return pairs > 0 ? wins / pairs : NAN;
}

}  // namespace

int main(int argc, char** argv) {
    gsl_set_error_handler_off();
    const int sets = argc > 1 ? std::atoi(argv[1]) : 2000;
    const int n = argc > 2 ? std::atoi(argv[2]) : 25;
    const int numbLoci = argc > 3 ? std::atoi(argv[3]) : 10;
    const double p = argc > 4 ? std::atof(argv[4]) : 0.3;
    Rng rng(1);
    const char* names[] = {"kurtosis",   "range/(alleles-1)", "gap share",
                           "MAD/SD",     "VAR/HET^2 (old)",   "SD of HET",
                           "SD of VAR",  "MGW (old)"};
    constexpr int numbCandidates = 8;
    // [model][candidate][set], and the mean HET of each set.
    std::vector<double> values[2][numbCandidates], het[2];
    for (int model = 0; model < 2; ++model) {
        for (int s = 0; s < sets; ++s) {
            const double theta = std::pow(10.0, -0.5 + 2.0 * gsl_rng_uniform(rng.r));
            std::vector<Locus> loci;
            for (int l = 0; l < numbLoci; ++l)
                loci.push_back(measure(locus(rng.r, n, theta, model == 0 ? 0.0 : p)));
            const double h = meanOf(loci, &Locus::het);
            const double v = meanOf(loci, &Locus::var);
            het[model].push_back(h);
            const double row[numbCandidates] = {meanOf(loci, &Locus::kurt),
                                                meanOf(loci, &Locus::rangePerAllele),
                                                meanOf(loci, &Locus::gapShare),
                                                meanOf(loci, &Locus::madRatio),
                                                h > 0 ? v / (h * h) : NAN,
                                                sdOf(loci, &Locus::het),
                                                sdOf(loci, &Locus::var),
                                                meanOf(loci, &Locus::mgw)};
            for (int c = 0; c < numbCandidates; ++c) values[model][c].push_back(row[c]);
        }
    }
    // Strata: ten bins of mean HET, and 5 x 5 bins of mean HET and mean MGW
    // (the old statistic of gaps), from the pooled quantiles.
    const auto edgesOf = [&](const std::vector<double>& a, const std::vector<double>& b,
                             int numbBins) {
        std::vector<double> pooled(a);
        pooled.insert(pooled.end(), b.begin(), b.end());
        pooled.erase(std::remove_if(pooled.begin(), pooled.end(),
                                    [](double x) { return std::isnan(x); }),
                     pooled.end());
        std::sort(pooled.begin(), pooled.end());
        std::vector<double> edges;
        for (int k = 1; k < numbBins; ++k) edges.push_back(pooled[pooled.size() * k / numbBins]);
        return edges;
    };
    const int mgwColumn = numbCandidates - 1;
    const std::vector<double> hetEdges10 = edgesOf(het[0], het[1], 10);
    const std::vector<double> hetEdges5 = edgesOf(het[0], het[1], 5);
    const std::vector<double> mgwEdges5 = edgesOf(values[0][mgwColumn], values[1][mgwColumn], 5);
    const auto bin = [](const std::vector<double>& edges, double x) {
        return static_cast<int>(std::upper_bound(edges.begin(), edges.end(), x) - edges.begin());
    };
    // Mean over strata of the AUC within each (as a distance from 1/2).
    const auto stratifiedAuc = [&](int c, auto stratumOf, int numbStrata) {
        double sum = 0;
        int used = 0;
        for (int b = 0; b < numbStrata; ++b) {
            std::vector<double> a, g;
            for (int s = 0; s < sets; ++s) {
                if (stratumOf(0, s) == b) a.push_back(values[0][c][s]);
                if (stratumOf(1, s) == b) g.push_back(values[1][c][s]);
            }
            if (a.size() < 20 || g.size() < 20) continue;
            const double x = auc(g, a);
            if (!std::isnan(x)) sum += std::max(x, 1 - x), ++used;
        }
        return used ? sum / used : NAN;
    };
    std::printf("sets %d per model, n %d, loci %d, P %.2f, theta log-uniform 10^[-0.5, 1.5]\n",
                sets, n, numbLoci, p);
    std::printf("%-20s %8s %8s %8s %10s %14s\n", "statistic", "mean P=0", "mean GSM", "AUC",
                "AUC|HET", "AUC|HET,MGW");
    for (int c = 0; c < numbCandidates; ++c) {
        const double byHet = stratifiedAuc(
            c, [&](int m, int s) { return bin(hetEdges10, het[m][s]); }, 10);
        const double byBoth = stratifiedAuc(
            c,
            [&](int m, int s) {
                return bin(hetEdges5, het[m][s]) * 5 + bin(mgwEdges5, values[m][mgwColumn][s]);
            },
            25);
        const double m0 = [&] {
            double sum = 0;
            int k = 0;
            for (double x : values[0][c]) if (!std::isnan(x)) sum += x, ++k;
            return sum / k;
        }();
        const double m1 = [&] {
            double sum = 0;
            int k = 0;
            for (double x : values[1][c]) if (!std::isnan(x)) sum += x, ++k;
            return sum / k;
        }();
        std::printf("%-20s %8.3f %8.3f %8.3f %10.3f %14.3f\n", names[c], m0, m1,
                    auc(values[1][c], values[0][c]), byHet, byBoth);
    }
    return 0;
}
