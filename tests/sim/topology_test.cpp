#include "sim/Topology.h"

#include <gsl/gsl_rng.h>
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>
#include <utility>
#include <vector>

#include "support/GenealogyCheck.h"
#include "support/TestRng.h"

TEST(Topology, PickTiesGoToTheLowerPositionAndRoundingNeverRunsPastTheEnd) {
    EXPECT_EQ(pickPosition(0.5, 2), 0);
    EXPECT_EQ(pickPosition(std::nextafter(0.5, 1.0), 2), 1);
    EXPECT_EQ(pickPosition(1e-300, 7), 0);
    EXPECT_EQ(pickPosition(0.25, 4), 0);
    EXPECT_EQ(pickPosition(0.26, 4), 1);
    EXPECT_EQ(pickPosition(0.99, 1), 0);

    // Find a list length whose running sum of 1/k ends below the largest
    // uniform variate: that variate must still pick the last position.
    const double almostOne = std::nextafter(1.0, 0.0);
    int found = 0;
    for (int k = 2; k < 100 && !found; ++k) {
        double t = 0.0;
        for (int q = 0; q < k; ++q) t += 1.0 / k;
        if (t < almostOne) found = k;
    }
    ASSERT_NE(found, 0);
    EXPECT_EQ(pickPosition(almostOne, found), found - 1);
}

TEST(Topology, PickIsThePositionOfTheThresholdWalkAtAndAroundEveryThreshold) {
    // The walk itself: the smallest p with u <= t(p + 1), else the last one.
    auto walk = [](double u, int k) {
        double t = 0.0;
        for (int p = 0; p < k; ++p) {
            t += 1.0 / k;
            if (u <= t) return p;
        }
        return k - 1;
    };
    std::vector<int> lengths;
    for (int k = 1; k <= 70; ++k) lengths.push_back(k);
    for (int k : {99, 100, 127, 200, 399, 400, 1023, 1024, 1025, 1500}) lengths.push_back(k);
    for (int k : lengths) {
        double t = 0.0;
        for (int q = 0; q < k; ++q) {
            t += 1.0 / k;
            for (double u : {std::nextafter(t, 0.0), t, std::nextafter(t, 2.0)}) {
                if (u <= 0.0 || u >= 1.0) continue;
                ASSERT_EQ(pickPosition(u, k), walk(u, k)) << "k " << k << " u " << u;
            }
        }
        for (double u : {1e-300, 0.5, std::nextafter(1.0, 0.0)})
            ASSERT_EQ(pickPosition(u, k), walk(u, k)) << "k " << k << " u " << u;
        // Away from the thresholds too, where the position comes from u * k.
        std::mt19937_64 gen(static_cast<unsigned>(k));
        std::uniform_real_distribution<double> uniform(0.0, 1.0);
        for (int i = 0; i < 200; ++i) {
            const double u = uniform(gen);
            if (u <= 0.0) continue;
            ASSERT_EQ(pickPosition(u, k), walk(u, k)) << "k " << k << " u " << u;
        }
    }
}

TEST(Topology, NothingToMergeGivesNoTriplesAndNoDraws) {
    TestRng rng(3);
    auto before = rng.snapshot();
    EXPECT_TRUE(createTopology(5, 5).empty());
    EXPECT_TRUE(sameState(before.get(), rng.get()));
}

TEST(Topology, TwoDrawsPerEventAndTheFirstDrawPicksTheFirstChild) {
    for (unsigned long seed = 1; seed <= 50; ++seed) {
        TestRng rng(seed);
        auto expected = rng.snapshot();
        const double u = gsl_rng_uniform_pos(expected.get());
        gsl_rng_uniform_pos(expected.get());
        auto triples = createTopology(2, 1);
        ASSERT_EQ(triples.size(), 1u);
        const int32_t first = u <= 0.5 ? 1 : 2;
        EXPECT_EQ(triples[0], (Genealogy::Triple{3, first, 3 - first}));
        EXPECT_TRUE(sameState(expected.get(), rng.get()));
    }
    TestRng rng(11);
    auto expected = rng.snapshot();
    skipDraws(expected.get(), 2 * (9 - 3));
    createTopology(9, 3);
    EXPECT_TRUE(sameState(expected.get(), rng.get()));
}

// After the first event of four leaves joins 2 and 4, the separate lines are,
// in order, 1, 3, 5: the second event picks from that list.
TEST(Topology, RemovalKeepsOrderAndTheNewParentGoesLast) {
    bool seen = false;
    for (unsigned long seed = 1; seed <= 2000 && !seen; ++seed) {
        TestRng rng(seed);
        auto replay = rng.snapshot();
        auto triples = createTopology(4, 1);
        if (triples[0] != Genealogy::Triple{5, 2, 4}) continue;
        seen = true;
        skipDraws(replay.get(), 2);
        std::vector<int32_t> active{1, 3, 5};
        const int p1 = pickPosition(gsl_rng_uniform_pos(replay.get()), 3);
        const int32_t first = active[p1];
        active.erase(active.begin() + p1);
        const int32_t second = active[pickPosition(gsl_rng_uniform_pos(replay.get()), 2)];
        EXPECT_EQ(triples[1], (Genealogy::Triple{6, first, second}));
    }
    EXPECT_TRUE(seen);
}

// Every ordered pair of distinct leaves is equally likely as the first event:
// 1/6 each for three leaves; binomial standard error sqrt(p (1 - p) / N).
// The first child of two leaves is leaf 1 with probability 1/2.
TEST(Topology, FirstEventIsAUniformOrderedPair) {
    TestRng rng(20240601);
    const int N = 30000;
    std::map<std::pair<int, int>, int> pairs;
    int leafOneFirst = 0;
    for (int rep = 0; rep < N; ++rep) {
        auto t = createTopology(3, 2);
        ++pairs[{t[0][1], t[0][2]}];
        leafOneFirst += createTopology(2, 1)[0][1] == 1;
    }
    ASSERT_EQ(pairs.size(), 6u);
    const double p = 1.0 / 6, se = std::sqrt(p * (1 - p) / N);
    for (const auto& [pair, count] : pairs) EXPECT_NEAR(double(count) / N, p, 3 * se);
    EXPECT_NEAR(double(leafOneFirst) / N, 0.5, 3 * std::sqrt(0.25 / N));
}

TEST(Topology, EveryTopologyIsAValidGenealogy) {
    TestRng rng(5);
    for (int n = 1; n <= 12; ++n)
        for (int m = 1; m <= n; ++m) {
            auto g = buildGenealogy(n, m, std::vector<double>(n - m, 1.0));
            EXPECT_TRUE(isValidGenealogy(*g)) << n << " " << m;
        }
}
