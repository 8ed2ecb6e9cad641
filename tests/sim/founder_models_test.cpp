#include <gsl/gsl_randist.h>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "sim/ExpGrowth.h"
#include "sim/FounderDraw.h"
#include "sim/FounderModels.h"
#include "sim/GrowthPhase.h"
#include "sim/Topology.h"
#include "support/ChildProcess.h"
#include "support/GenealogyCheck.h"
#include "support/TestRng.h"

namespace {

GrowthConstants reference() { return growthConstants(1000, 10, 100, 0.5); }

// The event intervals that a founder model of the legacy model stores, given
// the drawn standard intervals and the founder rule's choice.
std::vector<double> founded(const std::vector<double>& stdIntervals,
                            const std::function<int(int)>& founders, int* numbFounders) {
    const GrowthPhase g = growthPhase(stdIntervals, reference(), ModelVersion::legacy);
    *numbFounders = founders(g.linesAtOri);
    return foundingEventIntervals(g, reference().coalTimeOri, *numbFounders);
}

void expectNear(const std::vector<double>& actual, const std::vector<double>& expected) {
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < actual.size(); ++i)
        EXPECT_NEAR(actual[i], expected[i], 5e-7) << "entry " << i;
}

// Replays a founder model's draws by hand: waiting times, then (only when
// several lines reach the founding) one uniform variate, then the topology.
struct Replay {
    std::vector<double> times;
    std::vector<Genealogy::Triple> topology;
    int numbFounders = 0;
};

Replay replay(int n, double timeToOri, ModelVersion version,
              const std::function<int(int, double)>& rule) {
    const GrowthConstants c = growthConstants(1000, 10, timeToOri, 0.5);
    std::vector<double> stdIntervals;
    for (int k = n; k >= 2; --k)
        stdIntervals.push_back(gsl_ran_exponential(r, 2.0 / (k * (k - 1))));
    const GrowthPhase g = growthPhase(stdIntervals, c, version);
    Replay out;
    out.numbFounders = g.linesAtOri <= 1 ? 1 : rule(g.linesAtOri, gsl_rng_uniform_pos(r));
    out.times = foundingEventIntervals(g, c.coalTimeOri, out.numbFounders);
    out.topology = createTopology(n, out.numbFounders);
    return out;
}

}  // namespace

TEST(FounderModels, FounderCountWorkedExampleWithMergesBeforeTheFounding) {
    int k = 0;
    auto rule = [](double u) {
        return [u](int lines) { return legacyNumbFoundersFromU(lines, 3, u); };
    };
    expectNear(founded({0.2, 0.5, 7.0}, rule(0.2), &k), {0.198180, 0.480180, 5.396519});
    EXPECT_EQ(k, 1);
    expectNear(founded({0.2, 0.5, 7.0}, rule(0.5), &k), {0.198180, 0.480180});
    EXPECT_EQ(k, 2);
}

TEST(FounderModels, FounderCountWorkedExampleWithNoMergeBeforeTheFounding) {
    const GrowthPhase g = growthPhase({7.0, 1.0}, reference(), ModelVersion::legacy);
    EXPECT_EQ(g.cutIndex, 0);
    expectNear(g.intervals, {6.944993, 1.0});
    EXPECT_EQ(g.eventsBeforeOri, 0);
    EXPECT_EQ(g.linesAtOri, 3);

    int k = 0;
    auto rule = [](double u) {
        return [u](int lines) { return legacyNumbFoundersFromU(lines, 3, u); };
    };
    expectNear(founded({7.0, 1.0}, rule(0.1), &k), {6.074879, 0.0});
    EXPECT_EQ(k, 1);
    expectNear(founded({7.0, 1.0}, rule(0.5), &k), {6.074879});
    EXPECT_EQ(k, 2);
    expectNear(founded({7.0, 1.0}, rule(0.9), &k), {});
    EXPECT_EQ(k, 3);
}

TEST(FounderModels, TwoFounderWorkedExamples) {
    int k = 0;
    auto rule = [](double u) {
        return [u](int lines) { return numbFoundersFracF2FromU(lines, 0.2, u); };
    };
    expectNear(founded({7.0, 1.0}, rule(0.5), &k), {6.074879, 0.0});
    EXPECT_EQ(k, 1);
    expectNear(founded({7.0, 1.0}, rule(0.6), &k), {6.074879});
    EXPECT_EQ(k, 2);
}

// With alpha well above 1 the origin's coalescent time can come out negative,
// and with timeToOri = 0 it is undefined; the founding merges then happen at
// the present instead of at a negative or undefined waiting time.
TEST(FounderModels, FoundingNeverHasANegativeOrUndefinedWait) {
    const GrowthConstants late = growthConstants(5000, 50, 2, 1.3);
    ASSERT_LT(late.coalTimeOri, 0.0);
    const GrowthPhase g = growthPhase({0.1, 0.2}, late, ModelVersion::legacy);
    ASSERT_EQ(g.linesAtOri, 3);
    EXPECT_EQ(foundingEventIntervals(g, late.coalTimeOri, 1), (std::vector<double>{0.0, 0.0}));

    const GrowthConstants none = growthConstants(5000, 50, 0, 0.5);
    const GrowthPhase h = growthPhase({0.1, 0.2}, none, ModelVersion::current);
    EXPECT_EQ(foundingEventIntervals(h, none.coalTimeOri, 2), (std::vector<double>{0.0}));
}

TEST(FounderModels, DrawsWaitingTimesThenFounderThenTopology) {
    for (unsigned long seed = 1; seed <= 60; ++seed) {
        const int n = 1 + static_cast<int>(seed % 7);
        const double timeToOri = seed % 3 == 0 ? 300 : 2;  // many or few merges before
        const int origins = 1 + static_cast<int>(seed % 4);
        for (ModelVersion version : {ModelVersion::current, ModelVersion::legacy}) {
            for (bool twoFounders : {false, true}) {
                Replay expected;
                std::unique_ptr<gsl_rng, void (*)(gsl_rng*)> after{nullptr, gsl_rng_free};
                {
                    TestRng rng(seed);
                    expected = replay(n, timeToOri, version, [&](int lines, double u) {
                        if (twoFounders) return numbFoundersFracF2FromU(lines, 0.3, u);
                        return version == ModelVersion::legacy
                                   ? legacyNumbFoundersFromU(lines, origins, u)
                                   : numbFoundersFromU(lines, origins, u);
                    });
                    after = rng.snapshot();
                }
                TestRng rng(seed);
                auto g = twoFounders
                             ? simExpGrowthFracFound2(n, 1000, 10, timeToOri, 0.5, 2, 0.3, version)
                             : simExpGrowthFoundersX(n, 1000, 10, timeToOri, 0.5, origins, version);
                EXPECT_EQ(g->startLines, n);
                EXPECT_EQ(g->endLines, expected.numbFounders);
                EXPECT_EQ(g->eventTimes, expected.times);
                EXPECT_EQ(g->events, expected.topology);
                EXPECT_TRUE(sameState(after.get(), rng.get())) << seed;
            }
        }
    }
}

// With no founder structure the founder-count model is the plain growth model;
// equal founding shares make the two-founder model the two-founder count model.
TEST(FounderModels, SpecialCasesCoincideWithTheSimplerModels) {
    for (unsigned long seed = 1; seed <= 30; ++seed) {
        const int n = 2 + static_cast<int>(seed % 6);
        std::unique_ptr<Genealogy> a, b, c, d;
        {
            TestRng rng(seed);
            a = simExpGrowthFoundersX(n, 1000, 10, 20, 0.5, 0);
        }
        {
            TestRng rng(seed);
            b = simExpGrowth(n, 1000, 10, 20, 0.5);
        }
        {
            TestRng rng(seed);
            c = simExpGrowthFracFound2(n, 1000, 10, 20, 0.5, 2, 0.5);
        }
        {
            TestRng rng(seed);
            d = simExpGrowthFoundersX(n, 1000, 10, 20, 0.5, 2);
        }
        EXPECT_EQ(a->endLines, b->endLines);
        EXPECT_EQ(a->eventTimes, b->eventTimes);
        EXPECT_EQ(a->events, b->events);
        EXPECT_EQ(c->endLines, d->endLines);
        EXPECT_EQ(c->eventTimes, d->eventTimes);
        EXPECT_EQ(c->events, d->events);
    }
}

TEST(FounderModels, ValidationMessagesInOrder) {
    TestRng rng(1);
    const std::string alpha = "\n error: simExpGrowthFoundersX: alpha <= 0\n\n";
    const std::string size = "\n error: simExpGrowthFoundersX: N_pres <= N_ori\n\n";
    const std::string negative = "\n error: simExpGrowthFoundersX: conditional_origins < 0\n\n";
    const std::string notTwo = "\n error: simExpGrowthFoundersX: conditional_origins must be 2\n\n";
    struct Case {
        std::function<void()> call;
        std::string out;
    };
    const Case cases[] = {
        {[] { simExpGrowthFoundersX(4, 1000, 10, 100, 0, 3); }, alpha},
        {[] { simExpGrowthFoundersX(4, 10, 10, 100, 0.5, 3); }, size},
        {[] { simExpGrowthFoundersX(4, 10, 10, 100, 0, -1); }, alpha},
        {[] { simExpGrowthFoundersX(4, 1000, 10, 100, 0.5, -1); }, negative},
        {[] { simExpGrowthFracFound2(4, 1000, 10, 100, -1, 2, 0.3); }, alpha},
        {[] { simExpGrowthFracFound2(4, 10, 20, 100, 0.5, 1, 0.3); }, size},
        {[] { simExpGrowthFracFound2(4, 1000, 10, 100, 0.5, 1, 0.3); }, notTwo},
        {[] { simExpGrowthFracFound2(4, 1000, 10, 100, 0.5, 3, 0.3); }, notTwo},
    };
    for (const Case& c : cases) {
        ChildResult res = runInChild(c.call);
        EXPECT_EQ(res.exitStatus, 1);
        EXPECT_EQ(res.out, c.out);
    }
}

// Near-instant founding (coalescent time of the origin about 7e-6, so a merge
// before it has probability about 4e-5 per record): all four lines reach the
// founding, and the founder count should follow the occupancy law of four
// lines among three founders: 3/81, 42/81, 36/81 for 1, 2, 3 founders
// (C(3, j) S(4, j) j! / 3^4). Tolerance: 3 binomial standard errors.
TEST(FounderModels, FounderCountOfTheModelFollowsOccupancy) {
    TestRng rng(31337);
    const int N = 20000;
    int count[4] = {0, 0, 0, 0};
    for (int rep = 0; rep < N; ++rep) {
        auto g = simExpGrowthFoundersX(4, 1e6, 1e5, 1, 0.5, 3);
        ASSERT_GE(g->endLines, 1);
        ASSERT_LE(g->endLines, 3);
        ++count[g->endLines];
    }
    const double expected[4] = {0, 3.0 / 81, 42.0 / 81, 36.0 / 81};
    for (int j = 1; j <= 3; ++j) {
        const double p = expected[j];
        EXPECT_NEAR(double(count[j]) / N, p, 3 * std::sqrt(p * (1 - p) / N)) << j << " founders";
    }
}

TEST(FounderModels, EveryRecordIsValid) {
    for (unsigned long seed = 1; seed <= 300; ++seed) {
        TestRng rng(seed);
        const int n = 1 + static_cast<int>(seed % 20);
        const double timeToOri = 0.5 * static_cast<double>(seed % 40);
        const double alpha = 0.1 + 0.3 * static_cast<double>(seed % 5);
        auto a = simExpGrowthFoundersX(n, 5000, 50, timeToOri, alpha, static_cast<int>(seed % 6));
        ASSERT_TRUE(isValidGenealogy(*a)) << seed;
        auto b = simExpGrowthFracFound2(n, 5000, 50, timeToOri, alpha, 2, 0.1 * (seed % 11));
        ASSERT_TRUE(isValidGenealogy(*b)) << seed;
        ASSERT_LE(b->endLines, 2);
    }
}
