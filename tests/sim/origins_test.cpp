#include "sim/Origins.h"

#include <gtest/gtest.h>

#include "support/ChildProcess.h"

namespace {

Genealogy fourLeaves(std::vector<Genealogy::Triple> events) {
    Genealogy g(4, 1);
    g.events = std::move(events);
    g.eventTimes = {0.1, 0.2, 0.3};
    return g;
}

}  // namespace

TEST(Origins, SueCladeJoinedOnceCountsOneOrigin) {
    Genealogy g = fourLeaves({{5, 1, 2}, {6, 3, 5}, {7, 4, 6}});
    EXPECT_EQ(determineNumbOrigins(2, g), 1);
}

TEST(Origins, EachSueLineJoiningThaSeparatelyCountsTwo) {
    Genealogy g = fourLeaves({{5, 1, 3}, {6, 2, 4}, {7, 5, 6}});
    EXPECT_EQ(determineNumbOrigins(2, g), 2);
}

TEST(Origins, SingleSueLineIsOneOriginWhateverTheTree) {
    Genealogy g = fourLeaves({{5, 3, 4}, {6, 2, 5}, {7, 1, 6}});
    EXPECT_EQ(determineNumbOrigins(1, g), 1);
    Genealogy unmerged(3, 3);
    EXPECT_EQ(determineNumbOrigins(1, unmerged), 1);
}

TEST(Origins, AllLinesSueCountsNone) {
    Genealogy g = fourLeaves({{5, 1, 3}, {6, 2, 4}, {7, 5, 6}});
    EXPECT_EQ(determineNumbOrigins(4, g), 0);
}

TEST(Origins, SueCladeNeverJoiningThaIsNotCounted) {
    // Leaves 1, 2, 3 are sue; 1 and 2 merge, 3 joins tha leaf 4, and the
    // {1,2} clade stays a separate top line.
    Genealogy g(5, 2);
    g.events = {{6, 1, 2}, {7, 4, 3}, {8, 5, 7}};
    g.eventTimes = {0.1, 0.1, 0.1};
    EXPECT_EQ(determineNumbOrigins(3, g), 1);
}

TEST(Origins, InternalChildLabelsComeFromTheirCreatingEvent) {
    // Two sue-only clades ({1,2} and {3,4}) merge with each other before
    // meeting tha: one origin, not two.
    Genealogy g(6, 1);
    g.events = {{7, 1, 2}, {8, 3, 4}, {9, 5, 6}, {10, 8, 7}, {11, 9, 10}};
    g.eventTimes = {0.1, 0.1, 0.1, 0.1, 0.1};
    EXPECT_EQ(determineNumbOrigins(4, g), 1);
    // Same tree, only 1..3 sue: clade {1,2} and line 3 join tha separately.
    EXPECT_EQ(determineNumbOrigins(3, g), 2);
}

TEST(Origins, InvalidSueLinesEndTheRunWithItsMessage) {
    Genealogy g = fourLeaves({{5, 1, 2}, {6, 3, 5}, {7, 4, 6}});
    ChildResult low = runInChild([&] { determineNumbOrigins(0, g); });
    EXPECT_EQ(low.exitStatus, 1);
    EXPECT_EQ(low.out, "\n error: determineNumbOrigins: sueLines < 1 \n");
    ChildResult high = runInChild([&] { determineNumbOrigins(5, g); });
    EXPECT_EQ(high.exitStatus, 1);
    EXPECT_EQ(high.out, "\n error: determineNumbOrigins: sueLines > gen->startLines \n");
}
