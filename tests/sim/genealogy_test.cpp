#include "sim/Genealogy.h"

#include <gtest/gtest.h>

TEST(Genealogy, RecordWithoutEventsHasEveryLeafAsTopLine) {
    Genealogy g(5, 5);
    EXPECT_EQ(g.numbEvents, 0);
    EXPECT_TRUE(g.events.empty());
    EXPECT_TRUE(g.eventTimes.empty());
}

TEST(Genealogy, CompleteRecordHasOneEventFewerThanLeavesAndZeroTimes) {
    Genealogy g(4, 1);
    EXPECT_EQ(g.numbEvents, 3);
    ASSERT_EQ(g.events.size(), 3u);
    ASSERT_EQ(g.eventTimes.size(), 3u);
    for (double t : g.eventTimes) EXPECT_EQ(t, 0.0);
}

#include "support/GenealogyCheck.h"

TEST(Genealogy, CheckerAcceptsAHandBuiltTreeAndRejectsAReusedChild) {
    Genealogy g(3, 1);
    g.events = {{4, 1, 2}, {5, 4, 3}};
    g.eventTimes = {0.5, 1.0};
    EXPECT_TRUE(isValidGenealogy(g));
    g.events[1] = {5, 1, 3};
    EXPECT_FALSE(isValidGenealogy(g));
}
