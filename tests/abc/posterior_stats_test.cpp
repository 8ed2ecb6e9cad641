#include <gsl/gsl_cdf.h>
#include <gtest/gtest.h>

#include <cmath>
#include <numeric>

#include "abc/Histogram.h"
#include "abc/Mode.h"
#include "abc/Stats.h"

namespace {

std::vector<double> range(int from, int to) {
    std::vector<double> xs(to - from + 1);
    std::iota(xs.begin(), xs.end(), from);
    return xs;
}

}  // namespace

TEST(SummaryStats, EqualWeightsGiveTheUsualSampleStatistics) {
    // 1..101 in shuffled order: type-7 quantiles at 1 + 100 p.
    std::vector<double> xs = range(1, 101);
    std::rotate(xs.begin(), xs.begin() + 37, xs.end());
    for (double w : {1.0, 2.5}) {
        std::vector<double> ws(xs.size(), w);
        EXPECT_DOUBLE_EQ(weightedMean(xs, ws), 51);
        EXPECT_NEAR(weightedSd(xs, ws), std::sqrt(101.0 * 102.0 / 12.0), 1e-12);
        EXPECT_NEAR(weightedQuantile(xs, ws, 0.025), 3.5, 1e-12);
        EXPECT_NEAR(weightedQuantile(xs, ws, 0.5), 51, 1e-12);
        EXPECT_NEAR(weightedQuantile(xs, ws, 0.975), 98.5, 1e-12);
        EXPECT_DOUBLE_EQ(weightedQuantile(xs, ws, 0.0), 1);
        EXPECT_DOUBLE_EQ(weightedQuantile(xs, ws, 1.0), 101);
        EXPECT_NEAR(effectiveSize(ws), 101, 1e-9);
    }
}

TEST(SummaryStats, WeightsShiftMeanSpreadAndQuantiles) {
    std::vector<double> xs = {1, 2, 3};
    std::vector<double> ws = {1, 1, 2};
    EXPECT_DOUBLE_EQ(weightedMean(xs, ws), 2.25);
    // sum w (x - m)^2 = 2.75 over W - sum w^2 / W = 4 - 6/4.
    EXPECT_NEAR(weightedSd(xs, ws), std::sqrt(2.75 / 2.5), 1e-12);
    EXPECT_NEAR(effectiveSize(ws), 16.0 / 6.0, 1e-12);

    // Midpoint positions of 0, 10, 20 with weights 1, 1, 2: 0, 0.4, 1; with
    // weights 2, 1, 1: 0, 0.6, 1.
    std::vector<double> ys = {20, 0, 10};
    EXPECT_NEAR(weightedQuantile(ys, {2, 1, 1}, 0.5), 10 + 10 * (0.1 / 0.6), 1e-12);
    EXPECT_NEAR(weightedQuantile(ys, {1, 2, 1}, 0.5), 10 - 10 * (0.1 / 0.6), 1e-12);
    EXPECT_NEAR(weightedQuantile(ys, {1, 1, 2}, 0.5), 10, 1e-12);
}

TEST(SummaryStats, ZeroWeightsDropOutAndDegenerateCasesAreNaN) {
    std::vector<double> xs = {1, 2, 3, 1000};
    std::vector<double> ws = {1, 1, 1, 0};
    EXPECT_DOUBLE_EQ(weightedMean(xs, ws), 2);
    EXPECT_DOUBLE_EQ(weightedSd(xs, ws), 1);
    EXPECT_DOUBLE_EQ(weightedQuantile(xs, ws, 1.0), 3);

    std::vector<double> one = {0, 0, 5, 0};
    EXPECT_DOUBLE_EQ(weightedMean(xs, one), 3);
    EXPECT_TRUE(std::isnan(weightedSd(xs, one)));
    EXPECT_DOUBLE_EQ(weightedQuantile(xs, one, 0.025), 3);

    std::vector<double> none(4, 0.0);
    EXPECT_TRUE(std::isnan(weightedMean(xs, none)));
    EXPECT_TRUE(std::isnan(weightedQuantile(xs, none, 0.5)));
}

TEST(SummaryStats, EpanechnikovWeightIsZeroFromTheBandwidthOn) {
    EXPECT_DOUBLE_EQ(epanechnikovWeight(0.0, 2.0), 1.0);
    EXPECT_DOUBLE_EQ(epanechnikovWeight(1.0, 2.0), 0.75);
    EXPECT_DOUBLE_EQ(epanechnikovWeight(2.0, 2.0), 0.0);
    EXPECT_DOUBLE_EQ(epanechnikovWeight(3.0, 2.0), 0.0);
    EXPECT_DOUBLE_EQ(epanechnikovWeight(0.0, 0.0), 0.0);
}

TEST(SummaryHistogram, FreedmanDiaconisBinsAndTheModeBin) {
    // 11..111: IQR 50, bin width 2 * 50 / 101^(1/3) = 21.5, so ceil(100 / 21.5) = 5 bins.
    std::vector<double> xs = range(11, 111);
    for (int i = 0; i < 30; ++i) xs.push_back(70);  // a peak for the mode
    std::vector<double> ws(xs.size(), 1.0);
    Histogram plain = makeHistogram(range(11, 111), std::vector<double>(101, 1.0));
    EXPECT_FALSE(plain.logScale);
    ASSERT_EQ(plain.mass.size(), 5u);
    EXPECT_DOUBLE_EQ(plain.lowerEdge(0), 11);
    EXPECT_NEAR(plain.upperEdge(4), 111, 1e-9);
    EXPECT_NEAR(std::accumulate(plain.mass.begin(), plain.mass.end(), 0.0), 1.0, 1e-12);

    Histogram peaked = makeHistogram(xs, ws);
    double width = peaked.upperEdge(0) - peaked.lowerEdge(0);
    EXPECT_LE(std::fabs(peaked.mode() - 70), width / 2);

    // Weight moves the mode: the same values with the peak weighted away.
    std::vector<double> away(ws);
    for (std::size_t i = 101; i < away.size(); ++i) away[i] = 0.0;
    for (std::size_t i = 0; i < 10; ++i) away[i] = 20.0;
    EXPECT_LT(makeHistogram(xs, away).mode(), 30);
}

TEST(SummaryHistogram, WideSpreadOfPositiveValuesIsBinnedOnALogScale) {
    std::vector<double> xs = {1, 10, 100, 1000, 1000, 1000, 2000, 500};
    std::vector<double> ws(xs.size(), 1.0);
    Histogram h = makeHistogram(xs, ws);
    EXPECT_TRUE(h.logScale);
    EXPECT_NEAR(h.lowerEdge(0), 1, 1e-12);
    EXPECT_NEAR(h.upperEdge(h.mass.size() - 1), 2000, 1e-9);
    // On the log scale bin centres are geometric means of the edges.
    EXPECT_NEAR(h.centre(0), std::sqrt(h.lowerEdge(0) * h.upperEdge(0)), 1e-9);
    EXPECT_GT(h.mode(), 300);

    EXPECT_FALSE(makeHistogram(xs, ws, false).logScale);
    EXPECT_FALSE(makeHistogram({1, 100}, {1, 1}).logScale);  // exactly two orders: linear
    EXPECT_FALSE(makeHistogram({0, 1, 1000}, {1, 1, 1}).logScale);

    Histogram flat = makeHistogram({4, 4, 4}, {1, 1, 1});
    ASSERT_EQ(flat.mass.size(), 1u);
    EXPECT_DOUBLE_EQ(flat.mode(), 4);
    EXPECT_TRUE(makeHistogram({1, 2}, {0, 0}).mass.empty());
}

TEST(SummaryStats, ValuesAtTheEndsOfTheDoublesNeitherOverflowNorVanish) {
    constexpr double big = 1.7e308;
    struct Case {
        std::vector<double> xs;
        double mean, sd, q025, median;
    };
    const std::vector<Case> cases = {
        {{big, big}, big, 0.0, big, big},
        {{-big, big}, 0.0, INFINITY, -0.95 * big, 0.0},  // the spread is beyond the doubles
        {{-big, -big, big}, -big / 3, 2 * big / std::sqrt(3.0) * 1.0, -big, -big},
        {{5e-311, 1e-310}, 7.5e-311, 5e-311 / std::sqrt(2.0), 5.125e-311, 7.5e-311},
        {{-1.0, 0.0, 1.0}, 0.0, 1.0, -0.95, 0.0},
    };
    for (const Case& c : cases) {
        std::vector<double> ws(c.xs.size(), 1.0);
        const double tolerance = 1e-12 * std::fabs(c.mean) + 1e-320;
        EXPECT_NEAR(weightedMean(c.xs, ws), c.mean, tolerance) << c.xs[0];
        if (std::isinf(c.sd))
            EXPECT_EQ(weightedSd(c.xs, ws), c.sd) << c.xs[0];
        else
            EXPECT_NEAR(weightedSd(c.xs, ws), c.sd, 1e-12 * c.sd + 1e-320) << c.xs[0];
        EXPECT_NEAR(weightedQuantile(c.xs, ws, 0.025), c.q025, 1e-12 * std::fabs(c.q025) + 1e-320)
            << c.xs[0];
        EXPECT_NEAR(weightedQuantile(c.xs, ws, 0.5), c.median, 1e-12 * std::fabs(c.median) + 1e-320)
            << c.xs[0];

        Histogram h = makeHistogram(c.xs, ws);
        ASSERT_GE(h.mass.size(), 1u);
        EXPECT_LE(h.mass.size(), 100u);
        EXPECT_NEAR(std::accumulate(h.mass.begin(), h.mass.end(), 0.0), 1.0, 1e-12);
        EXPECT_TRUE(std::isfinite(h.lowerEdge(0))) << c.xs[0];
        EXPECT_TRUE(std::isfinite(h.upperEdge(h.mass.size() - 1))) << c.xs[0];
    }
}

namespace {

// n values at the normal quantiles (i - 0.5) / n of N(mean, sd): a sample
// without the noise of random draws.
std::vector<double> normalSample(std::size_t n, double mean, double sd) {
    std::vector<double> xs;
    for (std::size_t i = 1; i <= n; ++i)
        xs.push_back(mean + sd * gsl_cdf_ugaussian_Pinv((i - 0.5) / static_cast<double>(n)));
    return xs;
}

std::vector<double> joined(std::vector<double> a, const std::vector<double>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<double> powersOfTen(std::vector<double> xs) {
    for (double& x : xs) x = std::pow(10.0, x);
    return xs;
}

}  // namespace

TEST(SummaryMode, KernelDensityModeFindsThePeakOnTheColumnsScale) {
    struct Case {
        const char* name;
        std::vector<double> xs;
        std::vector<double> ws;  // empty: all 1
        bool logScale;
        double mode, tolerance;
    };
    const std::vector<double> twoPeaks = joined(normalSample(300, 30, 4), normalSample(100, 80, 4));
    std::vector<double> awayFromTheFirst(400, 1.0);
    for (std::size_t i = 0; i < 300; ++i) awayFromTheFirst[i] = 0.1;
    const std::vector<double> logNormal = powersOfTen(normalSample(1000, 2, 0.3));
    const std::vector<Case> cases = {
        {"one normal peak", normalSample(500, 10, 2), {}, false, 10, 0.2},
        {"the higher of two peaks", twoPeaks, {}, false, 30, 1},
        {"weights move the peak", twoPeaks, awayFromTheFirst, false, 80, 1},
        // log10 of the values is N(2, 0.3): the peak at 10^2 on the log scale,
        // at 10^(2 - 0.3^2 ln 10) on the linear one.
        {"log scale", logNormal, {}, true, 100, 5},
        {"linear scale of the same values", logNormal, {}, false, 62, 6},
        {"all equal", {7, 7, 7}, {}, false, 7, 0},
        {"one row of weight", {1, 5, 9}, {0, 1, 0}, false, 5, 0},
        {"log scale refused for values not above 0", {0, 1, 1, 1, 2}, {}, true, 1, 0.05},
        {"ends of the doubles",
         {-1.7e308, 1.7e308, 1.7e308, 1.7e308},
         {},
         false,
         1.7e308,
         0.05e308},
        {"subnormal values", {5e-311, 6e-311, 6e-311, 7e-311}, {}, true, 6e-311, 0.1e-311},
    };
    for (const Case& c : cases) {
        std::vector<double> ws = c.ws.empty() ? std::vector<double>(c.xs.size(), 1.0) : c.ws;
        const double mode = densityMode(c.xs, ws, c.logScale);
        EXPECT_NEAR(mode, c.mode, c.tolerance) << c.name;
    }
    EXPECT_TRUE(std::isnan(densityMode({1, 2}, {0, 0}, false)));
}

TEST(SummaryMode, MostFrequentValueOfADiscreteColumn) {
    // FracSueMono over 10 loci: shares of rows at each multiple of 0.1.
    struct Case {
        std::vector<double> xs, ws;
        double mode;
        std::size_t distinct;
    };
    const std::vector<Case> cases = {
        {{1, 1, 1, 0.9, 0.9, 0}, {1, 1, 1, 1, 1, 1}, 1, 3},
        {{1, 1, 1, 0.9, 0.9, 0}, {0.1, 0.1, 0.1, 1, 1, 0}, 0.9, 2},
        {{0.3, 0.7, 0.3, 0.7}, {1, 1, 1, 1}, 0.3, 2},  // a tie: the smaller value
        {{0.5}, {2}, 0.5, 1},
    };
    for (const Case& c : cases) {
        auto shares = valueShares(c.xs, c.ws);
        EXPECT_EQ(shares.size(), c.distinct);
        double total = 0.0;
        for (std::size_t i = 0; i < shares.size(); ++i) {
            total += shares[i].second;
            if (i > 0) {
                EXPECT_LT(shares[i - 1].first, shares[i].first);
            }
        }
        EXPECT_NEAR(total, 1.0, 1e-12);
        EXPECT_EQ(mostFrequentValue(shares), c.mode);
    }
    EXPECT_TRUE(std::isnan(mostFrequentValue(valueShares({1}, {0}))));
}
