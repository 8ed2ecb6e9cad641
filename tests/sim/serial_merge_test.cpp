#include <gtest/gtest.h>

#include "sim/Origins.h"
#include "sim/ParallelMerge.h"
#include "sim/SerialMerge.h"
#include "support/ChildProcess.h"
#include "support/GenealogyCheck.h"
#include "support/RandomGenealogy.h"

namespace {

Genealogy pairJoined(double time) {
    Genealogy g(2, 1);
    g.events = {{3, 1, 2}};
    g.eventTimes = {time};
    return g;
}

// Every sampled line is a child of exactly one event.
::testing::AssertionResult leavesChildOnce(const Genealogy& g) {
    std::vector<int> seen(static_cast<size_t>(g.startLines) + 1, 0);
    for (const auto& e : g.events)
        for (int c = 1; c <= 2; ++c)
            if (e[c] <= g.startLines) ++seen[e[c]];
    for (int v = 1; v <= g.startLines; ++v)
        if (seen[v] != 1)
            return ::testing::AssertionFailure()
                   << "leaf " << v << " child " << seen[v] << " times";
    return ::testing::AssertionSuccess();
}

}  // namespace

TEST(SerialMerge, WorkedExampleGraftsTheAncestralJoinAboveBothRoots) {
    Genealogy A = pairJoined(1.0);
    Genealogy B = pairJoined(0.5);
    auto P = merge2parallelGen(A, B);
    auto sue = findSueTopNodes(*P, 2);
    auto tha = findThaTopNodes(*P, 2);
    EXPECT_EQ(sue, (std::vector<int32_t>{6}));
    EXPECT_EQ(tha, (std::vector<int32_t>{5}));
    Genealogy F = pairJoined(0.3);
    auto full = merge2serialGen(*P, F, sue, tha, 1, 2.0);
    EXPECT_EQ(full->startLines, 4);
    EXPECT_EQ(full->endLines, 1);
    ASSERT_EQ(full->numbEvents, 3);
    EXPECT_EQ(full->events[0], (Genealogy::Triple{5, 3, 4}));
    EXPECT_EQ(full->events[1], (Genealogy::Triple{6, 1, 2}));
    EXPECT_EQ(full->events[2], (Genealogy::Triple{7, 6, 5}));
    // The ancestral join happens at timeToOri + 0.3 = 2.3, i.e. 1.3 after 1.0.
    EXPECT_EQ(full->eventTimes, (std::vector<double>{0.5, 0.5, 2.0 + 0.3 - 1.0}));
}

TEST(SerialMerge, ParallelGenealogyWithoutEventsIsReplacedByTheAncestralOne) {
    Genealogy P(3, 3);
    auto sue = findSueTopNodes(P, 2);
    auto tha = findThaTopNodes(P, 2);
    EXPECT_EQ(sue, (std::vector<int32_t>{1, 2}));
    EXPECT_EQ(tha, (std::vector<int32_t>{3}));
    Genealogy F(3, 1);
    F.events = {{4, 2, 3}, {5, 1, 4}};
    F.eventTimes = {0.2, 0.4};
    auto full = merge2serialGen(P, F, sue, tha, 2, 1.0);
    ASSERT_EQ(full->numbEvents, 2);
    EXPECT_EQ(full->events[0], (Genealogy::Triple{4, 2, 3}));
    EXPECT_EQ(full->events[1], (Genealogy::Triple{5, 1, 4}));
    EXPECT_EQ(full->eventTimes, (std::vector<double>{1.0 + 0.2 - 0.0, 0.4}));
}

// s = 3: sue lines 1 and 2 join, line 3 never coalesces, so the sue top nodes
// are {6, 3}. F's leaf 2 becomes node 3 and F's leaf 3 becomes the tha root 7;
// the 3 written for leaf 2 must not then be taken for F's leaf 3.
TEST(SerialMerge, SueTopLeafNumberedAboveSueTopCountIsAttachedOnce) {
    Genealogy A(3, 2);
    A.events = {{4, 1, 2}};
    A.eventTimes = {0.125};
    Genealogy B = pairJoined(0.25);
    auto P = merge2parallelGen(A, B);
    auto sue = findSueTopNodes(*P, 3);
    auto tha = findThaTopNodes(*P, 3);
    EXPECT_EQ(sue, (std::vector<int32_t>{6, 3}));
    EXPECT_EQ(tha, (std::vector<int32_t>{7}));
    Genealogy F(3, 1);
    F.events = {{4, 1, 3}, {5, 4, 2}};
    F.eventTimes = {0.5, 0.25};
    auto full = merge2serialGen(*P, F, sue, tha, 2, 1.0);
    ASSERT_EQ(full->numbEvents, 4);
    EXPECT_EQ(full->events[2], (Genealogy::Triple{8, 6, 7}));
    EXPECT_EQ(full->events[3], (Genealogy::Triple{9, 8, 3}));
    EXPECT_EQ(full->eventTimes[2], 1.0 + 0.5 - 0.25);
    EXPECT_EQ(full->eventTimes[3], 0.25);
    EXPECT_TRUE(isValidGenealogy(*full));
    EXPECT_TRUE(leavesChildOnce(*full));
}

TEST(SerialMerge, InconsistentInputsEndTheRunWithTheirMessage) {
    Genealogy A = pairJoined(1.0);
    Genealogy B = pairJoined(0.5);
    auto P = merge2parallelGen(A, B);  // two top lines
    const std::vector<int32_t> sue{6}, tha{5};
    Genealogy F3(3, 1);
    F3.events = {{4, 1, 2}, {5, 4, 3}};
    F3.eventTimes = {0.1, 0.1};
    Genealogy F2 = pairJoined(0.3);

    ChildResult leaves = runInChild([&] { merge2serialGen(*P, F3, sue, tha, 2, 1.0); });
    EXPECT_EQ(leaves.exitStatus, 1);
    EXPECT_EQ(leaves.out, "\n error: merge2serialGen: genealogies are not compatible\n");

    ChildResult tooMany = runInChild([&] { merge2serialGen(*P, F2, sue, tha, 2, 1.0); });
    EXPECT_EQ(tooMany.exitStatus, 1);
    EXPECT_EQ(tooMany.out,
              "\n error: merge2serialGen: too many sue top lines (or too few gen2->startLines\n");

    // Top-node lists that do not fit F's leaves would be read out of range.
    ChildResult lists = runInChild([&] { merge2serialGen(*P, F2, {6}, {}, 1, 1.0); });
    EXPECT_EQ(lists.exitStatus, 1);
    EXPECT_EQ(lists.out,
              "\n error: merge2serialGen: top node lists do not match the ancestral leaves\n");

    // An ancestral record that stops before its root would leave events unset.
    Genealogy open(2, 2);
    ChildResult unfinished = runInChild([&] { merge2serialGen(*P, open, sue, tha, 1, 1.0); });
    EXPECT_EQ(unfinished.exitStatus, 1);
    EXPECT_EQ(unfinished.out,
              "\n error: merge2serialGen: ancestral genealogy does not end in one line\n");
}

// The whole assembly on random inputs: sue and tha genealogies stopped at
// random line counts, an ancestral genealogy of their top lines, a founding
// time at or after the last parallel event.
TEST(SerialMerge, RandomAssembliesGiveOneValidTreeOverAllLines) {
    std::mt19937 rng(77);
    for (int rep = 0; rep < 300; ++rep) {
        auto [s, t, A, B] = randomSamples(rng);
        const int endA = A->endLines;
        const int endB = B->endLines;
        auto P = merge2parallelGen(*A, *B);
        auto sue = findSueTopNodes(*P, s);
        auto tha = findThaTopNodes(*P, s);
        ASSERT_EQ(static_cast<int>(sue.size()), endA);
        ASSERT_EQ(static_cast<int>(tha.size()), endB);
        auto F = randomGenealogy(rng, endA + endB, 1);
        double D = 0.0;
        for (double w : P->eventTimes) D += w;
        const double timeToOri = D + 0.25 * static_cast<double>(rng() % 4);
        auto full = merge2serialGen(*P, *F, sue, tha, endA, timeToOri);

        const int n = s + t;
        ASSERT_TRUE(isValidGenealogy(*full));
        EXPECT_EQ(full->endLines, 1);
        EXPECT_EQ(full->numbEvents, n - 1);
        EXPECT_TRUE(leavesChildOnce(*full));
        const auto cum = cumulativeTimes(*full);
        for (size_t i = 1; i < cum.size(); ++i) ASSERT_LE(cum[i - 1], cum[i]);
        if (F->numbEvents > 0) {
            EXPECT_EQ(cum[P->numbEvents], timeToOri + F->eventTimes[0]);
        }

        // Each grafted node sits above exactly the sampled lines of the top
        // nodes its F leaves stand for.
        const auto maskP = leafMasks(*P), maskFull = leafMasks(*full);
        std::vector<uint64_t> maskF(static_cast<size_t>(2 * F->startLines), 0);
        for (int i = 1; i <= endA; ++i) maskF[i] = maskP[sue[i - 1]];
        for (int j = 1; j <= endB; ++j) maskF[endA + j] = maskP[tha[j - 1]];
        for (int k = 0; k < F->numbEvents; ++k) {
            const auto& e = F->events[k];
            maskF[e[0]] = maskF[e[1]] | maskF[e[2]];
            EXPECT_EQ(maskFull[n + P->numbEvents + k + 1], maskF[e[0]]);
        }
        // Sue top nodes hold sue lines only, so the sue clades of the full
        // tree are those of the ancestral genealogy.
        EXPECT_EQ(determineNumbOrigins(s, *full), determineNumbOrigins(endA, *F));
    }
}
