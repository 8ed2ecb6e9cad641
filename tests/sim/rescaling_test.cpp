#include <gtest/gtest.h>

#include "sim/GrowthPhase.h"
#include "sim/TimeRescaling.h"
#include "support/ChildProcess.h"
#include "support/GenealogyCheck.h"

namespace {

std::unique_ptr<Genealogy> twoEvents(double first, double second) {
    auto g = std::make_unique<Genealogy>(3, 1);
    g->events = {{4, 3, 1}, {5, 2, 4}};
    g->eventTimes = {first, second};
    return g;
}

}  // namespace

TEST(TimeRescaling, GrowthPhaseEventsMapThroughTheGrowthClock) {
    // The kept intervals of the growth example (drawn 0.2 and 0.5).
    const GrowthPhase phase =
        growthPhase({0.2, 0.5, 7.0}, growthConstants(1000, 10, 100, 0.5), ModelVersion::legacy);
    auto coal = twoEvents(phase.intervals[0], phase.intervals[1]);
    auto real = coalTime2realTime(*coal, 1000, 10, 100, 0.5);
    EXPECT_NEAR(real->eventTimes[0], 32.112503, 5e-7);
    EXPECT_NEAR(real->eventTimes[1], 12.953294, 5e-7);
    EXPECT_NEAR(real->eventTimes[0] + real->eventTimes[1], 45.065797, 5e-7);
    EXPECT_EQ(real->events, coal->events);
    EXPECT_EQ(real->startLines, 3);
    EXPECT_EQ(real->endLines, 1);
    EXPECT_EQ(coal->eventTimes[0], phase.intervals[0]);  // input untouched
}

TEST(TimeRescaling, EventsAfterGrowthRunAtTheOriginSize) {
    auto real = coalTime2realTime(*twoEvents(0.5, 1.5), 1000, 10, 100, 0.5);
    EXPECT_NEAR(real->eventTimes[0], 41.814383, 5e-7);
    EXPECT_NEAR(real->eventTimes[1], 17.436828, 5e-7);
    EXPECT_NEAR(real->eventTimes[0] + real->eventTimes[1], 59.251212, 5e-7);
    EXPECT_TRUE(isValidGenealogy(*real));
}

TEST(TimeRescaling, EndOfGrowthMapsToGrowthTime) {
    const GrowthConstants c = growthConstants(1000, 10, 100, 0.5);
    Genealogy g(2, 1);
    g.events = {{3, 1, 2}};
    g.eventTimes = {c.coalTimeGrowthEnd};
    EXPECT_NEAR(coalTime2realTime(g, 1000, 10, 100, 0.5)->eventTimes[0], 50.0, 1e-9);
}

TEST(TimeRescaling, RecordWithoutEventsKeepsItsCounts) {
    Genealogy g(4, 4);
    auto grown = coalTime2realTime(g, 1000, 10, 100, 0.5);
    auto scaled = coalTime2realTime(g, 20);
    for (const Genealogy* real : {grown.get(), scaled.get()}) {
        EXPECT_EQ(real->startLines, 4);
        EXPECT_EQ(real->endLines, 4);
        EXPECT_EQ(real->numbEvents, 0);
    }
}

TEST(TimeRescaling, ConstantSizeScalesEveryWait) {
    auto coal = twoEvents(0.25, 1.5);
    auto scaled = coalTime2realTime(*coal, 40);
    EXPECT_EQ(scaled->eventTimes, (std::vector<double>{10.0, 60.0}));
    EXPECT_EQ(scaled->events, coal->events);
    EXPECT_EQ(coalTime2realTime(*coal, 0)->eventTimes, (std::vector<double>{0.0, 0.0}));
    EXPECT_EQ(coal->eventTimes, (std::vector<double>{0.25, 1.5}));
}

TEST(TimeRescaling, GrowthFormRejectsAPopulationThatDidNotGrow) {
    auto coal = twoEvents(0.5, 1.5);
    for (double N_ori : {1000.0, 2000.0}) {
        ChildResult res = runInChild([&] { coalTime2realTime(*coal, 1000, N_ori, 100, 0.5); });
        EXPECT_EQ(res.exitStatus, 1);
        EXPECT_EQ(res.out, "\n error: coaltimes2realtimes: N_pres<=N_ori \n");
    }
}
