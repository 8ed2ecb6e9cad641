#include <gsl/gsl_errno.h>
#include <gsl/gsl_math.h>
#include <gsl/gsl_sf_gamma.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "sim/FounderDraw.h"
#include "support/TestRng.h"

namespace {

// Stirling number of the second kind S(n, k), by S(n, k) = k S(n-1, k) + S(n-1, k-1).
double stirling2(int n, int k) {
    std::vector<std::vector<double>> s(n + 1, std::vector<double>(k + 1, 0.0));
    s[0][0] = 1;
    for (int i = 1; i <= n; ++i)
        for (int j = 1; j <= std::min(i, k); ++j) s[i][j] = j * s[i - 1][j] + s[i - 1][j - 1];
    return s[n][k];
}

// Occupancy law: L lines each on one of c founders uniformly; P(exactly j
// founders occupied) = C(c, j) S(L, j) j! / c^L (Feller, An Introduction to
// Probability Theory, vol. 1, ch. II.11 and IV.2).
double occupancy(int lines, int founders, int j) {
    return gsl_sf_choose(founders, j) * stirling2(lines, j) * gsl_sf_fact(j) /
           std::pow(founders, lines);
}

}  // namespace

TEST(FounderDraw, IntPowMultipliesLikeGsl) {
    EXPECT_EQ(intPow(0.3, 0), 1.0);
    EXPECT_EQ(intPow(2.0, 10), 1024.0);
    EXPECT_EQ(intPow(0.0, 3), 0.0);
    for (double x : {0.2, 0.8, 1.0 / 3, 2.0 / 3, 0.987654321, 1.7})
        for (int n = 0; n <= 40; ++n) EXPECT_EQ(intPow(x, n), gsl_pow_int(x, n)) << x << "^" << n;
}

TEST(FounderDraw, OccupiedFoundersFollowTheOccupancyLaw) {
    for (int c = 1; c <= 7; ++c)
        for (int lines = 0; lines <= 12; ++lines) {
            const auto p = occupiedFoundersDist(lines, c);
            ASSERT_EQ(p.size(), static_cast<size_t>(std::min(lines, c) + 1));
            for (int j = 0; j < static_cast<int>(p.size()); ++j)
                EXPECT_NEAR(p[j], lines == 0 ? (j == 0) : occupancy(lines, c, j), 1e-14)
                    << lines << " lines, " << c << " founders, " << j << " occupied";
        }
}

TEST(FounderDraw, FounderCountExamples) {
    // Two lines among three founders: one founder with probability 1/3.
    EXPECT_EQ(numbFoundersFromU(2, 3, 0.2), 1);
    EXPECT_EQ(numbFoundersFromU(2, 3, 0.5), 2);
    // Three lines among three founders: 1/9 one, 2/3 two, 2/9 three.
    EXPECT_EQ(numbFoundersFromU(3, 3, 0.1), 1);
    EXPECT_EQ(numbFoundersFromU(3, 3, 0.5), 2);
    EXPECT_EQ(numbFoundersFromU(3, 3, 0.9), 3);
    // Two lines, two founders: the same founder with probability exactly 1/2.
    EXPECT_EQ(numbFoundersFromU(2, 2, std::nextafter(0.5, 0.0)), 1);
    EXPECT_EQ(numbFoundersFromU(2, 2, 0.5), 2);
    // One founder, or a single line, leaves one lineage.
    EXPECT_EQ(numbFoundersFromU(5, 1, 0.999), 1);
    EXPECT_EQ(numbFoundersFromU(1, 4, 0.999), 1);
}

// The legacy rule compares u with C(c, j + 1) (1 - (j + 1) / c)^L: for three
// founders the terms are 4/3, 1/3, 0 with two lines and 8/9, 1/9, 0 with
// three, so three lines give three founders with probability 1/9, not 2/9.
TEST(FounderDraw, LegacyFounderCountExamples) {
    struct Case {
        int lines, founders;
        double u;
        int legacy, exact;
    };
    const Case cases[] = {
        {2, 3, 0.2, 1, 1}, {2, 3, 0.5, 2, 2},  {3, 3, 0.1, 1, 1},   {3, 3, 0.5, 2, 2},
        {3, 3, 0.9, 3, 3}, {3, 3, 0.85, 2, 3}, {5, 1, 0.999, 1, 1}, {1, 4, 0.999, 1, 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(legacyNumbFoundersFromU(c.lines, c.founders, c.u), c.legacy)
            << c.lines << " lines, " << c.founders << " founders, u = " << c.u;
        EXPECT_EQ(numbFoundersFromU(c.lines, c.founders, c.u), c.exact);
    }
    // A huge founder count: coefficients that overflow read as infinity, and
    // the count stays within 1 .. lines.
    gsl_error_handler_t* previous = gsl_set_error_handler_off();
    for (int lines : {2, 50, 400})
        for (double u : {1e-9, 0.5, 0.999}) {
            const int k = legacyNumbFoundersFromU(lines, 2000000000, u);
            EXPECT_GE(k, 1);
            EXPECT_LE(k, lines);
        }
    gsl_set_error_handler(previous);
}

TEST(FounderDraw, FounderCountStaysWithinLinesAndFounders) {
    for (int c = 1; c <= 30; ++c)
        for (int lines = 2; lines <= 30; ++lines)
            for (double u : {1e-300, 0.5, std::nextafter(1.0, 0.0)}) {
                const int k = numbFoundersFromU(lines, c, u);
                EXPECT_GE(k, 1);
                EXPECT_LE(k, std::min(c, lines)) << lines << " lines, " << c << " founders";
            }
}

// Over an even grid of u, the share of each founder count is the occupancy
// probability to within the grid step (the rule is an inverse distribution
// function, so this is exact up to 1/N per count).
TEST(FounderDraw, FounderCountOverUniformGridMatchesOccupancy) {
    const int N = 20000;
    for (int c : {2, 3, 5})
        for (int lines : {2, 3, 4, 7}) {
            std::vector<int> count(c + 1, 0);
            for (int i = 0; i < N; ++i) ++count[numbFoundersFromU(lines, c, (i + 0.5) / N)];
            for (int j = 1; j <= c; ++j)
                EXPECT_NEAR(double(count[j]) / N, occupancy(lines, c, j), 1.5 / N)
                    << lines << " lines, " << c << " founders, " << j << " founders";
        }
}

// With far more founders than lines, almost surely every line has its own
// founder; the count costs no more than with a few founders.
TEST(FounderDraw, HugeFounderCountIsExactAndCheap) {
    const int c = 2000000000;
    for (int i = 0; i < 1000; ++i) EXPECT_EQ(numbFoundersFromU(7, c, 0.5), 7);
    // Two of the 7 lines share a founder with probability about 21 / c.
    EXPECT_EQ(numbFoundersFromU(7, c, 1e-12), 6);
    EXPECT_EQ(numbFoundersFromU(7, c, std::nextafter(1.0, 0.0)), 7);
}

TEST(FounderDraw, TwoFounderExamples) {
    EXPECT_NEAR(sameFounderProb(2, 0.2), 0.68, 1e-15);
    EXPECT_NEAR(sameFounderProb(3, 0.2), 0.52, 1e-15);
    EXPECT_EQ(sameFounderProb(4, 0.5), 2 * intPow(0.5, 4));
    EXPECT_EQ(numbFoundersFracF2FromU(2, 0.2, 0.67), 1);
    EXPECT_EQ(numbFoundersFracF2FromU(2, 0.2, 0.69), 2);
    EXPECT_EQ(numbFoundersFracF2FromU(3, 0.2, 0.5), 1);
    EXPECT_EQ(numbFoundersFracF2FromU(3, 0.2, 0.6), 2);
    EXPECT_EQ(numbFoundersFracF2FromU(6, 1.0, std::nextafter(1.0, 0.0)), 1);
    EXPECT_EQ(numbFoundersFracF2FromU(1, 0.3, 0.99), 1);
    // Equal shares agree with the equal-founder rule for two founders.
    for (int lines = 2; lines <= 8; ++lines)
        for (double u : {0.01, 0.1, 0.25, 0.5, 0.75})
            EXPECT_EQ(numbFoundersFracF2FromU(lines, 0.5, u), numbFoundersFromU(lines, 2, u));
}

TEST(FounderDraw, OneUniformDrawOnlyWhenSeveralLinesReachTheFounding) {
    TestRng rng(8);
    auto before = rng.snapshot();
    EXPECT_EQ(drawNumbFounders(1, 5), 1);
    EXPECT_EQ(drawNumbFoundersFracF2(1, 0.3), 1);
    EXPECT_TRUE(sameState(before.get(), rng.get()));

    auto replay = rng.snapshot();
    const double u1 = gsl_rng_uniform_pos(replay.get());
    const double u2 = gsl_rng_uniform_pos(replay.get());
    EXPECT_EQ(drawNumbFounders(4, 3), numbFoundersFromU(4, 3, u1));
    EXPECT_EQ(drawNumbFoundersFracF2(4, 0.3), numbFoundersFracF2FromU(4, 0.3, u2));
    EXPECT_TRUE(sameState(replay.get(), rng.get()));
}
