#include <gtest/gtest.h>

#include "sim/ParallelMerge.h"
#include "support/GenealogyCheck.h"
#include "support/RandomGenealogy.h"

TEST(ReplaceNode, ChangesEveryPlaceWithinTheCountOnly) {
    std::vector<Genealogy::Triple> list = {{5, 1, 2}, {6, 5, 3}, {7, 4, 5}};
    replaceNode(list, 2, 5, -9);
    EXPECT_EQ(list[0], (Genealogy::Triple{-9, 1, 2}));
    EXPECT_EQ(list[1], (Genealogy::Triple{6, -9, 3}));
    EXPECT_EQ(list[2], (Genealogy::Triple{7, 4, 5}));
}

TEST(ParallelMerge, WorkedExampleOrdersEventsByTimeAndRenumbers) {
    Genealogy A(2, 1);
    A.events = {{3, 1, 2}};
    A.eventTimes = {1.0};
    Genealogy B(2, 1);
    B.events = {{3, 1, 2}};
    B.eventTimes = {0.5};
    auto P = merge2parallelGen(A, B);
    EXPECT_EQ(P->startLines, 4);
    EXPECT_EQ(P->endLines, 2);
    ASSERT_EQ(P->numbEvents, 2);
    EXPECT_EQ(P->events[0], (Genealogy::Triple{5, 3, 4}));
    EXPECT_EQ(P->events[1], (Genealogy::Triple{6, 1, 2}));
    EXPECT_EQ(P->eventTimes, (std::vector<double>{0.5, 0.5}));
    EXPECT_TRUE(isValidGenealogy(*P));
}

TEST(ParallelMerge, InputWithoutEventsContributesOnlyItsLeaves) {
    Genealogy A(3, 3);
    Genealogy B(3, 1);
    B.events = {{4, 2, 3}, {5, 4, 1}};
    B.eventTimes = {0.3, 0.2};
    auto P = merge2parallelGen(A, B);
    EXPECT_EQ(P->endLines, 4);
    ASSERT_EQ(P->numbEvents, 2);
    EXPECT_EQ(P->events[0], (Genealogy::Triple{7, 5, 6}));
    EXPECT_EQ(P->events[1], (Genealogy::Triple{8, 7, 4}));
    EXPECT_EQ(P->eventTimes, B.eventTimes);
    EXPECT_TRUE(isValidGenealogy(*P));

    auto Q = merge2parallelGen(B, A);  // the other way round: B keeps 1..3
    EXPECT_EQ(Q->events[0], (Genealogy::Triple{7, 2, 3}));
    EXPECT_EQ(Q->events[1], (Genealogy::Triple{8, 7, 1}));

    Genealogy C(1, 1);
    auto R = merge2parallelGen(A, C);
    EXPECT_EQ(R->startLines, 4);
    EXPECT_EQ(R->endLines, 4);
    EXPECT_EQ(R->numbEvents, 0);
}

TEST(ParallelMerge, EqualCumulativeTimesPutTheFirstGenealogysEventFirst) {
    Genealogy A(2, 1);
    A.events = {{3, 1, 2}};
    A.eventTimes = {0.5};
    Genealogy B(3, 2);
    B.events = {{4, 3, 1}};
    B.eventTimes = {0.5};
    auto P = merge2parallelGen(A, B);
    ASSERT_EQ(P->numbEvents, 2);
    EXPECT_EQ(P->events[0], (Genealogy::Triple{6, 1, 2}));
    EXPECT_EQ(P->events[1], (Genealogy::Triple{7, 5, 3}));
    EXPECT_EQ(P->eventTimes, (std::vector<double>{0.5, 0.0}));
}

// On random inputs: the merged record is valid, its events are exactly those
// of A and of B (same leaf sets, same cumulative times, same relative order),
// in non-decreasing time with A first on ties.
TEST(ParallelMerge, RandomInputsKeepEveryEventItsLeavesAndItsTime) {
    std::mt19937 rng(20240611);
    for (int rep = 0; rep < 300; ++rep) {
        auto [s, t, A, B] = randomSamples(rng);
        const int endA = A->endLines;
        const int endB = B->endLines;
        auto P = merge2parallelGen(*A, *B);
        ASSERT_TRUE(isValidGenealogy(*P));
        ASSERT_EQ(P->startLines, s + t);
        ASSERT_EQ(P->endLines, endA + endB);

        const auto maskA = leafMasks(*A), maskB = leafMasks(*B), maskP = leafMasks(*P);
        const auto cumA = cumulativeTimes(*A), cumB = cumulativeTimes(*B);
        const auto cumP = cumulativeTimes(*P);
        const uint64_t sueLeaves = (uint64_t{1} << s) - 1;
        int f = 0, e = 0;
        bool previousFromB = false;
        for (int i = 0; i < P->numbEvents; ++i) {
            const uint64_t m = maskP[P->events[i][0]];
            if (i > 0) {
                ASSERT_LE(cumP[i - 1], cumP[i]);
            }
            if ((m & sueLeaves) == m) {
                ASSERT_LT(f, A->numbEvents);
                EXPECT_EQ(m, maskA[A->events[f][0]]);
                EXPECT_EQ(cumP[i], cumA[f]);
                if (previousFromB) {
                    EXPECT_LT(cumP[i - 1], cumP[i]) << "tie not given to A";
                }
                ++f;
                previousFromB = false;
            } else {
                ASSERT_EQ(m & sueLeaves, 0u) << "event mixes the two populations";
                ASSERT_LT(e, B->numbEvents);
                EXPECT_EQ(m >> s, maskB[B->events[e][0]]);
                EXPECT_EQ(cumP[i], cumB[e]);
                ++e;
                previousFromB = true;
            }
        }
    }
}
