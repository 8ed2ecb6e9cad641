#include <gtest/gtest.h>

#include <cmath>

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
