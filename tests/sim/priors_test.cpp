#include "sim/Priors.h"

#include <gsl/gsl_randist.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "support/ChildProcess.h"
#include "support/TestRng.h"

namespace {

// Ranges under which every draw succeeds; tests change single bounds.
void setRanges(params& p) {
    p.my_lower = 1e-4;
    p.my_upper = 1e-2;
    p.time_to_origin_lower = 10;
    p.time_to_origin_upper = 100;
    p.popsize_origin_tha_lower = 100;
    p.popsize_origin_tha_upper = 200;
    p.popsize_present_tha_lower = 50;
    p.popsize_present_tha_upper = 1000;
    p.popsize_origin_sue_lower = 10;
    p.popsize_origin_sue_upper = 20;
    p.popsize_present_sue_lower = 5;
    p.popsize_present_sue_upper = 30;
}

// Prints, when the process ends, the next raw output of `r`: it tells how
// many draws were made before a failure ended the process.
void printNextOutputAtExit() {
    std::atexit([] { std::printf("|%lu", gsl_rng_get(r)); });
}

unsigned long outputAfter(unsigned long seed, int numbDraws) {
    TestRng rng(seed);
    skipDraws(rng.get(), numbDraws);
    return gsl_rng_get(rng.get());
}

}  // namespace

TEST(Priors, NaturalDrawsFollowTheSlotOrderOfSixFlatDraws) {
    params p;
    setRanges(p);
    TestRng rng(42);
    auto copy = rng.snapshot();
    PriorDraw d = simulateParams(p);

    gsl_rng* g = copy.get();
    EXPECT_EQ(d[0], gsl_ran_flat(g, 1e-4, 1e-2));
    EXPECT_EQ(d[1], gsl_ran_flat(g, 10, 100));
    EXPECT_EQ(d[2], gsl_ran_flat(g, 100, 200));
    EXPECT_EQ(d[3], gsl_ran_flat(g, d[2], 1000));  // founding size above the present lower bound
    EXPECT_EQ(d[4], gsl_ran_flat(g, 10, 20));
    EXPECT_EQ(d[5], gsl_ran_flat(g, d[4], 30));
    EXPECT_TRUE(sameState(g, rng.get()));
}

TEST(Priors, LogDrawsStoreTenToTheDrawnValue) {
    params p;
    setRanges(p);
    p.my_lower = -5;
    p.my_upper = -3;
    p.time_to_origin_lower = 1;
    p.time_to_origin_upper = 2;
    p.popsize_origin_tha_lower = 2;
    p.popsize_origin_tha_upper = 3;
    p.popsize_present_tha_lower = 1;
    p.popsize_present_tha_upper = 4;
    p.popsize_origin_sue_lower = 1;
    p.popsize_origin_sue_upper = 2;
    p.popsize_present_sue_lower = 2.5;  // above every founding size: used as it is
    p.popsize_present_sue_upper = 3;
    TestRng rng(7);
    auto copy = rng.snapshot();
    PriorDraw d = simulateParamsLog10(p);

    gsl_rng* g = copy.get();
    EXPECT_EQ(d[0], std::pow(10.0, gsl_ran_flat(g, -5, -3)));
    EXPECT_EQ(d[1], std::pow(10.0, gsl_ran_flat(g, 1, 2)));
    EXPECT_EQ(d[2], std::pow(10.0, gsl_ran_flat(g, 2, 3)));
    EXPECT_EQ(d[3], std::pow(10.0, gsl_ran_flat(g, std::log10(d[2]), 4)));
    EXPECT_EQ(d[4], std::pow(10.0, gsl_ran_flat(g, 1, 2)));
    EXPECT_EQ(d[5], std::pow(10.0, gsl_ran_flat(g, 2.5, 3)));
    EXPECT_TRUE(sameState(g, rng.get()));
}

TEST(Priors, DrawsStayWithinTheirBoundsAndPresentSizesNeverBelowFoundingSizes) {
    params p;
    setRanges(p);
    params logp;
    setRanges(logp);
    logp.my_lower = -5;
    logp.my_upper = -3;
    logp.popsize_origin_tha_lower = 2;
    logp.popsize_origin_tha_upper = 3;
    logp.popsize_present_tha_lower = 1;
    logp.popsize_present_tha_upper = 4;
    logp.popsize_origin_sue_lower = 0;
    logp.popsize_origin_sue_upper = 1;
    logp.popsize_present_sue_lower = 0;
    logp.popsize_present_sue_upper = 2;
    for (unsigned long seed = 1; seed <= 20; ++seed) {
        TestRng rng(seed);
        for (int i = 0; i < 50; ++i) {
            PriorDraw d = simulateParams(p);
            EXPECT_TRUE(1e-4 <= d[0] && d[0] < 1e-2);
            EXPECT_TRUE(100 <= d[2] && d[2] < 200);
            EXPECT_TRUE(d[2] <= d[3] && d[3] < 1000);
            EXPECT_TRUE(d[4] <= d[5] && d[5] < 30);

            PriorDraw l = simulateParamsLog10(logp);
            EXPECT_TRUE(1e-5 <= l[0] && l[0] < 1e-3) << l[0];
            EXPECT_TRUE(100 <= l[2] && l[2] < 1000);
            EXPECT_TRUE(l[2] * (1 - 1e-12) <= l[3] && l[3] < 10000);
            EXPECT_TRUE(l[4] * (1 - 1e-12) <= l[5] && l[5] < 100);
        }
    }
}

TEST(Priors, EachRangeErrorEndsTheRunAfterTheDrawsBeforeIt) {
    struct Case {
        void (*spoil)(params&);
        int numbDrawsBefore;
        const char* message;
    };
    const Case cases[] = {
        {[](params& p) { p.my_upper = p.my_lower; }, 0,
         "error: parameters: my_upper <= my_lower\n"},
        {[](params& p) { p.time_to_origin_upper = 5; }, 1,
         "error: parameters: time_to_origin_upper <= time_to_origin_lower\n"},
        {[](params& p) { p.popsize_origin_tha_upper = 99; }, 2,
         "error: parameters: popsize_origin_tha_upper <= popsize_origin_tha_lower\n"},
        // The present range ends below every founding size drawn from 100..200.
        {[](params& p) { p.popsize_present_tha_upper = 100; }, 3,
         "error: parameters: popsize_present_tha_upper <= popsize_present_tha_lower\n"},
        {[](params& p) { p.popsize_origin_sue_upper = 10; }, 4,
         "error: parameters: popsize_origin_sue_upper <= popsize_origin_sue_lower\n"},
        {[](params& p) { p.popsize_present_sue_upper = 10; }, 5,
         "error: parameters: popsize_present_sue_upper <= popsize_present_sue_lower\n"},
    };
    for (const Case& c : cases) {
        for (bool log : {false, true}) {
            ChildResult r = runInChild([&] {
                params p;
                setRanges(p);
                if (log) {  // the same ranges shifted onto a log scale
                    p.my_lower = -4;
                    p.my_upper = -2;
                }
                c.spoil(p);
                TestRng rng(3);
                printNextOutputAtExit();
                log ? simulateParamsLog10(p) : simulateParams(p);
            });
            EXPECT_EQ(r.exitStatus, 1) << c.message;
            EXPECT_EQ(r.out, c.message + ("|" + std::to_string(outputAfter(3, c.numbDrawsBefore))));
        }
    }
}

TEST(Priors, BoundsThatAreNotANumberDoNotStopTheDraws) {
    params p;
    setRanges(p);
    p.my_lower = NAN;
    TestRng rng(1);
    PriorDraw d = simulateParams(p);
    EXPECT_TRUE(std::isnan(d[0]));
    EXPECT_TRUE(d[2] <= d[3]);
}
