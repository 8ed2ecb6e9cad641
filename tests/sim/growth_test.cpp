#include <gsl/gsl_randist.h>
#include <gtest/gtest.h>

#include <cmath>

#include "sim/ExpGrowth.h"
#include "sim/GrowthPhase.h"
#include "sim/Topology.h"
#include "support/ChildProcess.h"
#include "support/GenealogyCheck.h"
#include "support/TestRng.h"

namespace {

constexpr ModelVersion kLegacy = ModelVersion::legacy;

// The reference population: 1000 now, 10 at the origin 100 time units ago,
// growing over the most recent half of that time.
GrowthConstants reference() { return growthConstants(1000, 10, 100, 0.5); }

void expectNear(const std::vector<double>& actual, const std::vector<double>& expected,
                double tolerance) {
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < actual.size(); ++i)
        EXPECT_NEAR(actual[i], expected[i], tolerance) << "entry " << i;
}

}  // namespace

TEST(GrowthPhase, ReferenceConstants) {
    const GrowthConstants c = reference();
    EXPECT_EQ(c.growthTime, 50.0);
    EXPECT_NEAR(c.growthRate, std::log(100.0) / 50, 1e-15);
    EXPECT_NEAR(c.growthRate, 0.0921034, 5e-8);
    EXPECT_NEAR(c.coalTimeGrowthEnd, 1.0748788, 5e-8);
    EXPECT_NEAR(c.coalTimeOri, 6.0748788, 5e-8);
}

TEST(GrowthPhase, LegacyEventsSplicedAtTheEndOfGrowthAndCutAtTheOrigin) {
    const GrowthPhase g = growthPhase({0.2, 0.5, 7.0}, reference(), kLegacy);
    expectNear(g.growthIntervals, {0.198180, 0.480180, 5.141438}, 5e-7);
    expectNear(g.growthTimes, {0.198180, 0.678360, 5.819798}, 5e-7);
    EXPECT_EQ(g.cutIndex, 2);
    expectNear(g.intervals, {0.198180, 0.480180, 6.966633}, 5e-7);
    expectNear(g.cumTimes, {0.198180, 0.678360, 7.644993}, 5e-7);
    EXPECT_EQ(g.eventsBeforeOri, 2);
    EXPECT_EQ(g.linesAtOri, 2);
    // Without collapse the record keeps exactly the intervals before the origin.
    const auto kept = foundingEventIntervals(g, reference().coalTimeOri, g.linesAtOri);
    EXPECT_EQ(kept, std::vector<double>(g.intervals.begin(), g.intervals.begin() + 2));
}

TEST(GrowthPhase, LegacyFirstEventStraddlingTheEndOfGrowth) {
    const GrowthPhase g = growthPhase({2.0, 1.0}, reference(), kLegacy);
    EXPECT_EQ(g.cutIndex, 0);
    expectNear(g.intervals, {1.944993, 1.0}, 5e-7);
    EXPECT_EQ(g.intervals[1], 1.0);
    EXPECT_EQ(g.eventsBeforeOri, 2);
    EXPECT_EQ(g.linesAtOri, 1);
}

// An event exactly at the end of growth is the straddling one; an event
// exactly at the origin is after it.
TEST(GrowthPhase, LegacyBoundariesAreStrict) {
    const std::vector<double> std{0.2, 0.5, 0.3};
    GrowthConstants c = reference();
    const GrowthPhase loose = growthPhase(std, c, kLegacy);
    ASSERT_EQ(loose.cutIndex, 3);
    c.coalTimeGrowthEnd = loose.growthTimes[1];
    EXPECT_EQ(growthPhase(std, c, kLegacy).cutIndex, 1);

    c = reference();
    c.coalTimeOri = loose.cumTimes[1];
    const GrowthPhase atOrigin = growthPhase(std, c, kLegacy);
    EXPECT_EQ(atOrigin.eventsBeforeOri, 1);
    EXPECT_EQ(atOrigin.linesAtOri, 3);
}

TEST(GrowthPhase, NoLinesToMergeAndUndefinedConstants) {
    const GrowthPhase single = growthPhase({}, reference(), kLegacy);
    EXPECT_EQ(single.linesAtOri, 1);
    EXPECT_EQ(single.eventsBeforeOri, 0);

    // timeToOri = 0 leaves the constants undefined: nothing is kept.
    const GrowthPhase none =
        growthPhase({0.1, 0.2, 0.3}, growthConstants(1000, 10, 0, 0.5), kLegacy);
    EXPECT_EQ(none.eventsBeforeOri, 0);
    EXPECT_EQ(none.linesAtOri, 4);
}

// One clock: the standard intervals are the event intervals; only the cut at
// the origin (strictly before coalTimeOri, about 6.0748788) applies.
TEST(GrowthPhase, CurrentModelKeepsTheStandardIntervals) {
    const GrowthPhase g = growthPhase({0.2, 0.5, 7.0}, reference(), ModelVersion::current);
    EXPECT_EQ(g.intervals, (std::vector<double>{0.2, 0.5, 7.0}));
    EXPECT_EQ(g.cumTimes, (std::vector<double>{0.2, 0.7, 0.2 + 0.5 + 7.0}));
    EXPECT_TRUE(g.growthIntervals.empty());
    EXPECT_EQ(g.eventsBeforeOri, 2);
    EXPECT_EQ(g.linesAtOri, 2);

    GrowthConstants c = reference();
    c.coalTimeOri = 0.7;  // an event exactly at the origin is after it
    EXPECT_EQ(growthPhase({0.2, 0.5, 7.0}, c, ModelVersion::current).eventsBeforeOri, 1);
    EXPECT_EQ(growthPhase({2.0, 1.0}, reference(), ModelVersion::current).linesAtOri, 1);
    EXPECT_EQ(growthPhase({6.0, 0.1}, reference(), ModelVersion::current).linesAtOri, 2);
}

TEST(ExpGrowth, WaitingTimesThenTopologyForTheKeptEvents) {
    for (unsigned long seed = 1; seed <= 40; ++seed) {
        for (ModelVersion version : {ModelVersion::current, ModelVersion::legacy}) {
            const int n = 2 + static_cast<int>(seed % 6);
            const double timeToOri = seed % 2 ? 100 : 3;
            const GrowthConstants c = growthConstants(1000, 10, timeToOri, 0.5);
            std::vector<double> stdIntervals;
            std::vector<Genealogy::Triple> topology;
            int linesAtOri;
            std::vector<double> kept;
            std::unique_ptr<gsl_rng, void (*)(gsl_rng*)> after{nullptr, gsl_rng_free};
            {
                TestRng rng(seed);
                for (int k = n; k >= 2; --k)
                    stdIntervals.push_back(gsl_ran_exponential(r, 2.0 / (k * (k - 1))));
                const GrowthPhase g = growthPhase(stdIntervals, c, version);
                linesAtOri = g.linesAtOri;
                kept.assign(g.intervals.begin(), g.intervals.begin() + g.eventsBeforeOri);
                topology = createTopology(n, linesAtOri);
                after = rng.snapshot();
            }
            TestRng rng(seed);
            auto gen = simExpGrowth(n, 1000, 10, timeToOri, 0.5, version);
            EXPECT_EQ(gen->startLines, n);
            EXPECT_EQ(gen->endLines, linesAtOri);
            EXPECT_EQ(gen->eventTimes, kept);
            EXPECT_EQ(gen->events, topology);
            EXPECT_TRUE(sameState(after.get(), rng.get())) << seed;
        }
    }
}

TEST(ExpGrowth, OneLineDrawsNothingAndNoOriginDrawsOnlyWaitingTimes) {
    TestRng rng(9);
    auto before = rng.snapshot();
    auto one = simExpGrowth(1, 1000, 10, 100, 0.5);
    EXPECT_EQ(one->startLines, 1);
    EXPECT_EQ(one->numbEvents, 0);
    EXPECT_TRUE(sameState(before.get(), rng.get()));

    auto expected = rng.snapshot();
    skipDraws(expected.get(), 4);
    auto none = simExpGrowth(5, 1000, 10, 0, 0.5);
    EXPECT_EQ(none->endLines, 5);
    EXPECT_TRUE(sameState(expected.get(), rng.get()));
}

TEST(ExpGrowth, RejectsNonPositiveAlphaFirstThenShrinkingSize) {
    TestRng rng(1);
    const std::string alphaMsg = "\n error: simExpGrowth: alpha <= 0\n\n";
    const std::string sizeMsg = "\n error: simExpGrowth: N_pres <= N_ori\n\n";
    struct Case {
        double N_pres, N_ori, alpha;
        std::string out;
    };
    for (const Case& c :
         {Case{1000, 10, 0, alphaMsg}, Case{1000, 10, -0.5, alphaMsg}, Case{10, 10, 0.5, sizeMsg},
          Case{5, 10, 0.5, sizeMsg}, Case{10, 10, 0, alphaMsg}}) {
        ChildResult res = runInChild([&] { simExpGrowth(4, c.N_pres, c.N_ori, 100, c.alpha); });
        EXPECT_EQ(res.exitStatus, 1);
        EXPECT_EQ(res.out, c.out);
    }
    // alpha above 1 is allowed: the origin simply falls inside the growth phase.
    ChildResult ok = runInChild([] { simExpGrowth(4, 1000, 10, 100, 1.5); });
    EXPECT_EQ(ok.exitStatus, 0);
    EXPECT_EQ(ok.out, "");
}

TEST(ExpGrowth, EveryRecordIsValid) {
    for (unsigned long seed = 1; seed <= 300; ++seed) {
        TestRng rng(seed);
        const int n = 1 + static_cast<int>(seed % 20);
        const double timeToOri = 0.5 * static_cast<double>(seed % 40);
        const double alpha = 0.1 + 0.3 * static_cast<double>(seed % 5);
        for (ModelVersion version : {ModelVersion::current, ModelVersion::legacy}) {
            auto g = simExpGrowth(n, 5000, 50 + seed % 7, timeToOri, alpha, version);
            ASSERT_TRUE(isValidGenealogy(*g)) << seed;
        }
    }
}
