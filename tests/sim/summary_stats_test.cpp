#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <random>

#include "sim/SummaryStats.h"

TEST(SummaryStats, WorkedExampleAndMissingValues) {
    // sue: 10 12 13 -> differences 2, 3, 1 over 3 pairs; tha: 5 9 -> 4.
    AlleleMatrix m = {{10, 12, 13, 5, 9}};
    auto sd = computeSD(m, 5, 3, 1);
    EXPECT_EQ(sd[0], 2.0);
    EXPECT_EQ(sd[1], 4.0);
    EXPECT_EQ(computeSD_real(m, 5, 3, 1), sd);

    // With -9 the observed form uses the single pair (10, 13); the simulated
    // form treats -9 as an ordinary value.
    AlleleMatrix missing = {{10, -9, 13, 5, 9}};
    EXPECT_EQ(computeSD_real(missing, 5, 3, 1)[0], 3.0);
    EXPECT_DOUBLE_EQ(computeSD(missing, 5, 3, 1)[0], (19.0 + 3.0 + 22.0) / 3.0);
    // Only -9 is missing: -8 and -10 are values.
    AlleleMatrix near = {{-8, -10, 0, 0}};
    EXPECT_EQ(computeSD_real(near, 4, 2, 1)[0], 2.0);
}

TEST(SummaryStats, IsASumOverLociAndNeverMixesTheGroups) {
    AlleleMatrix one = {{1, 1, 100, 104}};
    AlleleMatrix two = {{1, 1, 100, 104}, {1, 1, 100, 104}};
    auto s1 = computeSD(one, 4, 2, 1);
    auto s2 = computeSD(two, 4, 2, 2);
    EXPECT_EQ(s1[0], 0.0);  // equal sue values; the far-away tha values do not enter
    EXPECT_EQ(s1[1], 4.0);
    EXPECT_EQ(s2[1], 8.0);
}

TEST(SummaryStats, ObservedLociWithoutUsablePairsAddNothing) {
    AlleleMatrix m = {{7, -9, 1, 2}, {-9, -9, 3, 5}};
    auto s = computeSD_real(m, 4, 2, 2);
    EXPECT_EQ(s[0], 0.0);
    EXPECT_EQ(s[1], 3.0);
}

TEST(SummaryStats, SingleLineGroupIsNotANumberForSimulatedDataAndZeroForObserved) {
    AlleleMatrix m = {{4, 1, 2}};
    auto sim = computeSD(m, 3, 1, 1);
    EXPECT_TRUE(std::isnan(sim[0]));
    EXPECT_EQ(sim[1], 1.0);
    EXPECT_EQ(computeSD_real(m, 3, 1, 1)[0], 0.0);
}

TEST(SummaryStats, ExtremeValuesDoNotOverflow) {
    AlleleMatrix m = {{INT32_MAX, INT32_MIN, INT32_MIN, INT32_MAX}};
    EXPECT_EQ(computeSD(m, 4, 2, 1)[0], 4294967295.0);
    EXPECT_EQ(computeSD_real(m, 4, 2, 1)[1], 4294967295.0);
}

TEST(SummaryStats, SumsInLocusAndPairOrder) {
    // Loci whose means cannot all be added exactly: the result must match a
    // left-to-right sum in locus order.
    AlleleMatrix m = {{0, 1, 3}, {0, 0, 1}, {5, 6, 6}};
    double expected = 0.0;
    expected += (1.0 + 3.0 + 2.0) / 3;
    expected += (0.0 + 1.0 + 1.0) / 3;
    expected += (1.0 + 1.0 + 0.0) / 3;
    EXPECT_EQ(computeSD(m, 3, 3, 3)[0], expected);
}

TEST(SummaryStats, SimulatedStatisticHasTheBitsOfThePairwiseSumForAnyValues) {
    // The reference: every pair's difference added in pair order as a double.
    auto reference = [](const AlleleMatrix& m, int first, int end) {
        const int64_t n = end - first;
        double total = 0.0;
        for (const auto& row : m) {
            double sum = 0.0;
            for (int j = first; j < end; ++j)
                for (int k = j + 1; k < end; ++k)
                    sum += static_cast<double>(std::llabs(int64_t{row[j]} - row[k]));
            total += sum / static_cast<double>(n * (n - 1) / 2);
        }
        return total;
    };
    std::mt19937 gen(7);
    // Narrow ranges (the usual simulated alleles), wide ones, and values near
    // the ends of the integer range, with group sizes from 2 to 300.
    for (int64_t spread : {int64_t{0}, int64_t{3}, int64_t{40}, int64_t{5000}, int64_t{1} << 31}) {
        for (int sue : {2, 3, 17, 300}) {
            const int tha = 5;
            AlleleMatrix m(4, std::vector<int32_t>(static_cast<size_t>(sue + tha)));
            std::uniform_int_distribution<int64_t> value(-spread, spread);
            for (auto& row : m)
                for (auto& v : row)
                    v = static_cast<int32_t>(std::clamp<int64_t>(value(gen), INT32_MIN, INT32_MAX));
            const auto S = computeSD(m, sue + tha, sue, 4);
            EXPECT_EQ(S[0], reference(m, 0, sue)) << spread << " " << sue;
            EXPECT_EQ(S[1], reference(m, sue, sue + tha)) << spread << " " << sue;
        }
    }
}
