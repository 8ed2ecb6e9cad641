#include <gsl/gsl_randist.h>
#include <gtest/gtest.h>

#include <cmath>

#include "sim/StepMutation.h"
#include "support/ChildProcess.h"
#include "support/TestRng.h"

TEST(StepMutation, RateZeroLeavesEveryAlleleAtZero) {
    TestRng rng(5);
    Genealogy g(4, 1);
    g.events = {{5, 1, 2}, {6, 5, 3}, {7, 4, 6}};
    g.eventTimes = {0.7, 1.1, 2.5};
    EXPECT_EQ(generateStepMut(g, 0.0), (std::vector<int32_t>(4, 0)));
}

// Two lines joined at time t: each leaf takes Poisson(rate t) steps of +-1, so
// the difference X1 - X2 is a symmetric walk of Poisson(lambda) steps with
// lambda = 2 rate t. Its mean is 0, its variance lambda, and its fourth central
// moment lambda + 3 lambda^2 (compound Poisson cumulants: kappa_j = lambda
// E[step^j]). Over R replicates the sample mean has standard error
// sqrt(lambda / R) and the sample variance about sqrt((lambda + 2 lambda^2) / R).
TEST(StepMutation, TwoLineDifferenceHasTheVarianceOfAPoissonWalk) {
    TestRng rng(20240611);
    const double rate = 0.75, t = 2.0, lambda = 2.0 * rate * t;
    Genealogy g(2, 1);
    g.events = {{3, 1, 2}};
    g.eventTimes = {t};
    const int R = 20000;
    double sum = 0.0, sumSq = 0.0;
    for (int i = 0; i < R; ++i) {
        auto a = generateStepMut(g, rate);
        ASSERT_EQ(a.size(), 2u);
        const double d = a[0] - a[1];
        sum += d;
        sumSq += d * d;
    }
    const double mean = sum / R;
    const double var = (sumSq - R * mean * mean) / (R - 1);
    EXPECT_LT(std::fabs(mean), 3.0 * std::sqrt(lambda / R));
    EXPECT_LT(std::fabs(var - lambda), 3.0 * std::sqrt((lambda + 2.0 * lambda * lambda) / R));
}

// Event 1 joins leaf 3 (child 1) and internal node 4 (child 2): node 4's
// branch draws first. Reproduce the whole draw sequence on a clone.
TEST(StepMutation, InternalChildDrawsBeforeSampledLineWhateverItsPlace) {
    TestRng rng(99);
    const double rate = 3.0;
    Genealogy g(3, 1);
    g.events = {{4, 1, 2}, {5, 3, 4}};
    g.eventTimes = {0.25, 0.5};
    auto clone = rng.snapshot();
    auto walk = [&](int32_t start, double branch) {
        unsigned int K = gsl_ran_poisson(clone.get(), rate * branch);
        for (unsigned int i = 0; i < K; ++i) start += gsl_rng_uniform(clone.get()) < 0.5 ? -1 : 1;
        return start;
    };
    const int32_t node4 = walk(0, 0.5);
    const int32_t leaf3 = walk(0, 0.25 + 0.5);
    const int32_t leaf1 = walk(node4, 0.25);
    const int32_t leaf2 = walk(node4, 0.25);

    EXPECT_EQ(generateStepMut(g, rate), (std::vector<int32_t>{leaf1, leaf2, leaf3}));
    EXPECT_TRUE(sameState(rng.get(), clone.get())) << "draw count differs";
}

TEST(StepMutation, LinesWithoutMutationOnTheirBranchesShareTheirAncestorsAllele) {
    TestRng rng(3);
    // Leaves 1 and 2 join at time 0: their branches have length 0.
    Genealogy g(4, 1);
    g.events = {{5, 1, 2}, {6, 3, 4}, {7, 5, 6}};
    g.eventTimes = {0.0, 0.5, 0.5};
    int differing34 = 0;
    for (int i = 0; i < 200; ++i) {
        auto a = generateStepMut(g, 4.0);
        ASSERT_EQ(a[0], a[1]);
        differing34 += a[2] != a[3];
    }
    EXPECT_GT(differing34, 0);
}

TEST(StepMutation, EveryTopLineKeepsAlleleZero) {
    TestRng rng(11);
    // Top lines: node 6 (over 1, 2), node 7 (over 3, 4) and leaf 5. The
    // sampled branches have length 0, so only a mutation on a top line itself
    // could move an allele.
    Genealogy g(5, 3);
    g.events = {{6, 1, 2}, {7, 4, 3}};
    g.eventTimes = {0.0, 0.0};
    for (int i = 0; i < 50; ++i) ASSERT_EQ(generateStepMut(g, 10.0), (std::vector<int32_t>(5, 0)));
    // With time on the sampled branches, the separate top line 5 still stays 0.
    g.eventTimes = {1.0, 1.0};
    for (int i = 0; i < 50; ++i) ASSERT_EQ(generateStepMut(g, 10.0)[4], 0);
}

// Beyond 2^31 expected mutations on a branch the Poisson count cannot be drawn
// faithfully (and would take billions of steps): the run stops instead.
TEST(StepMutation, MutationCountBeyondRangeEndsTheRun) {
    Genealogy g(2, 1);
    g.events = {{3, 1, 2}};
    g.eventTimes = {2.0};
    ChildResult r = runInChild([&] {
        TestRng rng(3);
        generateStepMut(g, 1.1e9);
    });
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(
        r.out,
        "\n error: generateStepMut: expected number of mutations on a branch is too large\n\n");
    ChildResult inf = runInChild([&] {
        TestRng rng(3);
        generateStepMut(g, HUGE_VAL);
    });
    EXPECT_EQ(inf.exitStatus, 1);
}
