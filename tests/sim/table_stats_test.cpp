#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>
#include <string>

#include "sim/SummaryStats.h"
#include "sim/TableStats.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct StatsCase {
    const char* name;
    AlleleMatrix matrix;
    int sueLines;
    int thaLines;
    AlleleSource source;
    // S_sue S_tha NAL_sue NAL_tha HET_sue HET_tha VAR_sue VAR_tha MGW_sue MGW_tha DM2 FST
    // SDHET_sue SDHET_tha SDVAR_sue SDVAR_tha GAP_sue GAP_tha
    std::array<double, TableStatistics::kCount> expected;
};

// Equal up to rounding, and NaN exactly where NaN is expected.
void expectSame(double expected, double actual, const std::string& where) {
    if (std::isnan(expected)) {
        EXPECT_TRUE(std::isnan(actual)) << where << ": " << actual;
        return;
    }
    EXPECT_NEAR(actual, expected, 1e-12 * std::max(1.0, std::fabs(expected))) << where;
}

const AlleleSource kSim = AlleleSource::kSimulated;
const AlleleSource kObs = AlleleSource::kObserved;

}  // namespace

TEST(TableStats, HandWorkedDataSets) {
    const StatsCase cases[] = {
        // Observed, -9 skipped. sue 10 12 12 (n 3): pairs 2 2 0 -> S 4/3; 2 alleles;
        // HET (9 - 1 - 4) / (3*2) = 2/3; mean 34/3, VAR (16/9 + 2 * 4/9) / 2 = 4/3;
        // MGW 2 / (12-10+1). tha 5 9: S 4, HET (4-2)/2 = 1, VAR (4+4)/1, MGW 2/5.
        // DM2 (34/3 - 7)^2 = 169/9. Pooled 10 12 12 5 9: H_T (25-7)/20 = 0.9,
        // H_S (2/3 + 1)/2 = 5/6, FST 1 - (5/6)/0.9 = 2/27.
        {"missing values",
         {{10, -9, 12, 12, 5, 9, -9}},
         4,
         3,
         kObs,
         {4.0 / 3, 4, 2, 2, 2.0 / 3, 1, 4.0 / 3, 8, 2.0 / 3, 2.0 / 5, 169.0 / 9, 2.0 / 27,
          kNaN, kNaN, kNaN, kNaN, 1, 1}},
        // Simulated: -9 is an ordinary allele. sue -9 -8: S 1, HET (4-2)/2 = 1,
        // mean -8.5, VAR 0.25+0.25, MGW 2/2. tha -9 -9: S 0, 1 allele, HET 0,
        // VAR 0, MGW 1. DM2 0.5^2. Pooled three -9, one -8: H_T (16-10)/12 = 0.5 =
        // H_S, FST 0.
        {"simulated -9 is a value",
         {{-9, -8, -9, -9}},
         2,
         2,
         kSim,
         {1, 0, 2, 1, 1, 0, 0.5, 0, 1, 1, 0.25, 0, kNaN, kNaN, kNaN, kNaN, 0, kNaN}},
        // The same read as observed: sue keeps only -8 (n 1), tha nothing. S adds
        // nothing for a group without pairs (0, 0); NAL and MGW of sue are 1; every
        // statistic of tha, and DM2 and FST, is defined nowhere.
        {"defined nowhere",
         {{-9, -8, -9, -9}},
         2,
         2,
         kObs,
         {0, 0, 1, kNaN, kNaN, kNaN, kNaN, kNaN, 1, kNaN, kNaN, kNaN, kNaN, kNaN, kNaN, kNaN, kNaN,
          kNaN}},
        // Monomorphic: all 4. One allele in both, HET and VAR 0, MGW 1/1, DM2 0;
        // H_T = 0, so FST is defined nowhere.
        {"monomorphic, H_T = 0",
         {{4, 4, 4, 4, 4}},
         3,
         2,
         kSim,
         {0, 0, 1, 1, 0, 0, 0, 0, 1, 1, 0, kNaN, kNaN, kNaN, kNaN, kNaN, kNaN, kNaN}},
        // sue has one line (7): S 0/0, NAL 1, MGW 1, HET and VAR undefined, so FST
        // undefined. tha 3 5 5: S (2+2+0)/3, HET (9-1-4)/6 = 2/3, mean 13/3,
        // VAR (16/9 + 4/9 + 4/9)/2 = 4/3, MGW 2/3. DM2 (7 - 13/3)^2 = 64/9.
        {"population with one line",
         {{7, 3, 5, 5}},
         1,
         3,
         kSim,
         {kNaN, 4.0 / 3, 1, 2, kNaN, 2.0 / 3, kNaN, 4.0 / 3, 1, 2.0 / 3, 64.0 / 9, kNaN, kNaN, kNaN,
          kNaN, kNaN, kNaN, 1}},
        // Locus 1: sue 1 3 (HET 1, VAR 2, MGW 2/3), tha 2 2 (HET 0, VAR 0, MGW 1),
        // DM2 0, pooled 1 3 2 2: H_T (16-6)/12 = 5/6, H_S 1/2, FST 1 - 0.6 = 0.4.
        // Locus 2: sue 5 only (NAL 1, MGW 1), tha nothing. Means: NAL_sue 1.5,
        // MGW_sue (2/3 + 1)/2; everything else from locus 1 alone. S_sue 2 + 0.
        {"defined at one locus only",
         {{1, 3, 2, 2}, {5, -9, -9, -9}},
         2,
         2,
         kObs,
         {2, 0, 1.5, 1, 1, 0, 2, 0, 5.0 / 6, 1, 0, 0.4, kNaN, kNaN, kNaN, kNaN, 1, kNaN}},
        // DM2 over two loci: means 1 vs 6 (25) and 1 vs 2 (1): 13. Locus 1: 0 2 |
        // 5 7, HET 1 1, VAR 2 2, MGW 2/3 2/3, all four distinct so H_T 1 = H_S.
        // Locus 2: 1 1 | 1 3, sue HET 0 VAR 0 MGW 1, tha HET 1 VAR 2 MGW 2/3,
        // pooled three 1s, one 3: H_T 0.5 = H_S. S_sue 2 + 0, S_tha 2 + 2.
        {"DM2",
         {{0, 2, 5, 7}, {1, 1, 1, 3}},
         2,
         2,
         kSim,
         {2, 4, 1.5, 2, 0.5, 1, 1, 2, 5.0 / 6, 2.0 / 3, 13, 0, std::sqrt(0.5), 0, std::sqrt(2.0), 0, 1,
          1}},
        // Values too far apart to count per value. sue -1e6 1e6 1e6: S
        // (2e6 + 2e6 + 0)/3, HET 2/3, mean 1e6/3, VAR (16e12/9 + 2 * 4e12/9)/2,
        // MGW 2 / 2000001. tha 0 (n 1): NAL 1, MGW 1. DM2 (1e6/3)^2.
        {"far-apart values",
         {{-1000000, 1000000, 1000000, 0, -9}},
         3,
         2,
         kObs,
         {4e6 / 3, 0, 2, 1, 2.0 / 3, kNaN, 4e12 / 3, kNaN, 2.0 / 2000001, 1, 1e12 / 9, kNaN, kNaN,
          kNaN, kNaN, kNaN, 1, kNaN}},
        // Spread over loci and gaps. Locus 1: sue 0 1 3 (HET 1, mean 4/3, VAR
        // 42/9 / 2 = 7/3, gaps: 0-1 none, 1-3 one, of 2), tha 0 0 (HET 0, VAR 0, one
        // value: no GAP). Locus 2: sue 2 2 2 (HET 0, VAR 0, no GAP), tha 1 4 (HET 1,
        // VAR 4.5, GAP 1). Locus 3: sue 5 6 7 (HET 1, VAR 1, GAP 0), tha 3 4 (HET 1,
        // VAR 0.5, GAP 0). SDHET: 1 0 1 and 0 1 1, both sqrt((1/9 + 4/9 + 1/9) / 2).
        // SDVAR_sue: 7/3 0 1 about 10/9, squares 222/81, sqrt(111/81); SDVAR_tha: 0 4.5
        // 0.5 about 5/3, squares 438/36, sqrt(219/36). GAP_sue (1/2 + 0)/2, GAP_tha
        // (1 + 0)/2. The core ones: S_sue 2 + 0 + 4/3, S_tha 0 + 3 + 1; NAL 7/3, 5/3;
        // HET 2/3, 2/3; VAR 10/9, 5/3; MGW (3/4 + 1 + 1)/3, (1 + 2/4 + 1)/3; DM2
        // (16/9 + 1/4 + 25/4)/3; FST: pooled H_T 0.7, 0.7, 1 against H_S 0.5, 0.5, 1:
        // (2/7 + 2/7 + 0)/3.
        {"spread over loci and gaps",
         {{0, 1, 3, 0, 0}, {2, 2, 2, 1, 4}, {5, 6, 7, 3, 4}},
         3,
         2,
         kSim,
         {10.0 / 3, 4, 7.0 / 3, 5.0 / 3, 2.0 / 3, 2.0 / 3, 10.0 / 9, 5.0 / 3, 11.0 / 12, 5.0 / 6,
          149.0 / 54, 4.0 / 21, std::sqrt(1.0 / 3), std::sqrt(1.0 / 3), std::sqrt(111.0) / 9,
          std::sqrt(219.0) / 6, 0.25, 0.5}},
    };
    TableStatsScratch scratch;  // shared by all cases, as a run shares it
    for (const StatsCase& c : cases) {
        const TableStatistics t = tableStatistics(
            c.matrix, c.sueLines, c.thaLines, static_cast<int>(c.matrix.size()), c.source, scratch);
        const auto actual = t.values();
        for (int i = 0; i < TableStatistics::kCount; ++i)
            expectSame(c.expected[i], actual[i],
                       std::string(c.name) + " " + tableStatisticNames()[i]);
    }
}

TEST(TableStats, SIsTheRunsOwnStatisticBitForBit) {
    AlleleMatrix m = {{0, 1, 3, 0, 7}, {0, 0, 1, 2, 2}, {5, 6, 6, 9, 1}};
    TableStatsScratch scratch;
    const auto sim = computeSD(m, 5, 3, 3);
    const TableStatistics t = tableStatistics(m, 3, 2, 3, AlleleSource::kSimulated, scratch);
    EXPECT_EQ(t.S_sue, sim[0]);
    EXPECT_EQ(t.S_tha, sim[1]);
    const TableStatistics given =
        tableStatistics(m, 3, 2, 3, AlleleSource::kSimulated, sim, scratch);
    EXPECT_EQ(given.values(), t.values());
    m[1][0] = -9;
    const auto obs = computeSD_real(m, 5, 3, 3);
    const TableStatistics o = tableStatistics(m, 3, 2, 3, AlleleSource::kObserved, scratch);
    EXPECT_EQ(o.S_sue, obs[0]);
    EXPECT_EQ(o.S_tha, obs[1]);
}

TEST(TableStats, AgreesWithAPlainComputationWhateverTheSpreadAndScratchHistory) {
    // A plain form of every statistic (a map of allele counts per population),
    // over random matrices whose spread switches between counting and sorting
    // and whose sizes grow and shrink with one scratch object.
    struct Plain {
        std::map<int64_t, int64_t> count[2];
        std::map<int64_t, int64_t> pooled;
        double sum[2] = {0, 0};
        int64_t n[2] = {0, 0};
    };
    std::mt19937 gen(11);
    TableStatsScratch scratch;
    for (int64_t spread : {0, 2, 30, 100000, 2000000000, 5, 0}) {
        for (int sue : {1, 4, 40}) {
            const int tha = 3 + sue % 7;
            const int loci = 3;
            std::uniform_int_distribution<int64_t> value(-spread, spread);
            std::bernoulli_distribution missing(0.2);
            AlleleMatrix m(loci, std::vector<int32_t>(static_cast<size_t>(sue + tha)));
            for (auto& row : m)
                for (auto& v : row) v = missing(gen) ? -9 : static_cast<int32_t>(value(gen));
            for (AlleleSource source : {AlleleSource::kSimulated, AlleleSource::kObserved}) {
                double sums[12] = {};
                int counts[12] = {};
                std::vector<double> hets[2], vars[2];  // per locus, for the SDs
                for (const auto& row : m) {
                    Plain p;
                    for (int j = 0; j < sue + tha; ++j) {
                        if (source == AlleleSource::kObserved && row[j] == -9) continue;
                        const int g = j < sue ? 0 : 1;
                        ++p.count[g][row[j]];
                        ++p.pooled[row[j]];
                        p.sum[g] += row[j];
                        ++p.n[g];
                    }
                    auto het = [](const std::map<int64_t, int64_t>& c, double n) {
                        double s = 0;
                        for (auto [a, k] : c) s += (k / n) * (k / n);
                        return n / (n - 1) * (1 - s);
                    };
                    double h[2] = {0, 0};
                    for (int g = 0; g < 2; ++g) {
                        const double n = static_cast<double>(p.n[g]);
                        if (n < 1) continue;
                        const auto& c = p.count[g];
                        sums[g] += static_cast<double>(c.size());
                        sums[6 + g] += c.size() / double(c.rbegin()->first - c.begin()->first + 1);
                        ++counts[g], ++counts[6 + g];
                        if (c.size() >= 2) {
                            int gaps = 0;
                            for (auto a = c.begin(), b = std::next(a); b != c.end(); ++a, ++b)
                                gaps += b->first - a->first > 1 ? 1 : 0;
                            sums[10 + g] += gaps / double(c.size() - 1), ++counts[10 + g];
                        }
                        if (n < 2) continue;
                        double ss = 0;
                        for (auto [a, k] : c) ss += k * (a - p.sum[g] / n) * (a - p.sum[g] / n);
                        h[g] = het(c, n);
                        sums[2 + g] += h[g], sums[4 + g] += ss / (n - 1);
                        ++counts[2 + g], ++counts[4 + g];
                        hets[g].push_back(h[g]), vars[g].push_back(ss / (n - 1));
                    }
                    if (p.n[0] >= 1 && p.n[1] >= 1) {
                        const double d = p.sum[0] / p.n[0] - p.sum[1] / p.n[1];
                        sums[8] += d * d, ++counts[8];
                    }
                    const double ht = het(p.pooled, double(p.n[0] + p.n[1]));
                    if (p.n[0] >= 2 && p.n[1] >= 2 && ht > 0)
                        sums[9] += 1 - (h[0] + h[1]) / 2 / ht, ++counts[9];
                }
                const TableStatistics t = tableStatistics(m, sue, tha, loci, source, scratch);
                const auto actual = t.values();
                // NAL.. FST, GAP, then SDHET, SDVAR
                const int order[16] = {2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 16, 17, 12, 13, 14, 15};
                auto sd = [](const std::vector<double>& x) {
                    if (x.size() < 2) return kNaN;
                    double m = 0, q = 0;
                    for (double v : x) m += v / x.size();
                    for (double v : x) q += (v - m) * (v - m);
                    return std::sqrt(q / (x.size() - 1));
                };
                const double spreads[4] = {sd(hets[0]), sd(hets[1]), sd(vars[0]), sd(vars[1])};
                for (int i = 0; i < 16; ++i) {
                    const double expected = i >= 12   ? spreads[i - 12]
                                            : counts[i] > 0 ? sums[i] / counts[i]
                                                            : kNaN;
                    const double tol = 1e-9 * std::max(1.0, std::fabs(expected));
                    if (std::isnan(expected))
                        EXPECT_TRUE(std::isnan(actual[order[i]]));
                    else
                        EXPECT_NEAR(actual[order[i]], expected, tol)
                            << tableStatisticNames()[order[i]] << " spread " << spread << " sue "
                            << sue;
                }
            }
        }
    }
}
