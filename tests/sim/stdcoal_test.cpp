#include <gsl/gsl_randist.h>
#include <gtest/gtest.h>

#include <cmath>
#include <numeric>

#include "sim/StdCoalescent.h"
#include "sim/Topology.h"
#include "support/GenealogyCheck.h"
#include "support/TestRng.h"

TEST(StdCoal, OneLineDrawsNothingAndHasNoEvents) {
    TestRng rng(1);
    auto before = rng.snapshot();
    auto g = simStdCoal(1);
    EXPECT_EQ(g->startLines, 1);
    EXPECT_EQ(g->endLines, 1);
    EXPECT_EQ(g->numbEvents, 0);
    EXPECT_TRUE(sameState(before.get(), rng.get()));
}

// All waiting times (mean 2 / (k (k - 1)), most recent first) come before the
// topology's draws.
TEST(StdCoal, WaitingTimesAreDrawnBeforeTheTopology) {
    for (int n : {2, 3, 7}) {
        std::vector<double> times;
        std::vector<Genealogy::Triple> topology;
        std::unique_ptr<gsl_rng, void (*)(gsl_rng*)> after{nullptr, gsl_rng_free};
        {
            TestRng rng(42 + n);
            for (int k = n; k >= 2; --k)
                times.push_back(gsl_ran_exponential(r, 2.0 / (k * (k - 1))));
            topology = createTopology(n, 1);
            after = rng.snapshot();
        }
        TestRng rng(42 + n);
        auto g = simStdCoal(n);
        EXPECT_EQ(g->eventTimes, times);
        EXPECT_EQ(g->events, topology);
        EXPECT_EQ(g->endLines, 1);
        EXPECT_TRUE(sameState(after.get(), rng.get()));
        EXPECT_TRUE(isValidGenealogy(*g));
    }
}

// Kingman coalescent: the wait with k lines is exponential with rate
// k (k - 1) / 2, independently for each k, so the total time has mean
// sum 2 / (k (k - 1)) = 2 (1 - 1/n) and variance sum (2 / (k (k - 1)))^2
// (Wakeley, Coalescent Theory, 2009, ch. 3). Tolerance: 3 standard errors.
TEST(StdCoal, MeanTotalTimeIsTwiceOneMinusOneOverN) {
    TestRng rng(777);
    const int n = 6, N = 20000;
    double variance = 0.0;
    for (int k = 2; k <= n; ++k) variance += std::pow(2.0 / (k * (k - 1)), 2);
    double sum = 0.0;
    for (int rep = 0; rep < N; ++rep) {
        auto g = simStdCoal(n);
        sum += std::accumulate(g->eventTimes.begin(), g->eventTimes.end(), 0.0);
    }
    EXPECT_NEAR(sum / N, 2.0 * (1.0 - 1.0 / n), 3 * std::sqrt(variance / N));
}

TEST(StdCoal, EveryRecordIsValid) {
    for (unsigned long seed = 1; seed <= 200; ++seed) {
        TestRng rng(seed);
        auto g = simStdCoal(1 + static_cast<int>(seed % 15));
        ASSERT_TRUE(isValidGenealogy(*g)) << seed;
        ASSERT_EQ(g->endLines, 1);
    }
}
