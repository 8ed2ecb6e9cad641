#pragma once

#include <gtest/gtest.h>

#include "sim/Genealogy.h"

// Checks every structural invariant of a genealogy record:
//  - 1 <= endLines <= startLines, numbEvents = startLines - endLines, and the
//    arrays hold numbEvents entries;
//  - event i creates node startLines + i + 1;
//  - every child is a leaf or an earlier event's parent, still separate just
//    before the event (never a child twice);
//  - exactly endLines nodes are never a child;
//  - every waiting time is finite and 0 or more (when `timesNonNegative`).
// Use as EXPECT_TRUE(isValidGenealogy(g)).
inline ::testing::AssertionResult isValidGenealogy(const Genealogy& g,
                                                   bool timesNonNegative = true) {
    if (g.endLines < 1 || g.endLines > g.startLines)
        return ::testing::AssertionFailure()
               << "endLines " << g.endLines << " outside 1.." << g.startLines;
    if (g.numbEvents != g.startLines - g.endLines)
        return ::testing::AssertionFailure() << "numbEvents " << g.numbEvents;
    if (g.events.size() != static_cast<size_t>(g.numbEvents) ||
        g.eventTimes.size() != static_cast<size_t>(g.numbEvents))
        return ::testing::AssertionFailure() << "array sizes differ from numbEvents";
    const int nodes = g.startLines + g.numbEvents;
    std::vector<int> state(static_cast<size_t>(nodes) + 1, 0);  // 0 unborn, 1 separate, 2 used
    for (int v = 1; v <= g.startLines; ++v) state[v] = 1;
    for (int i = 0; i < g.numbEvents; ++i) {
        const auto& e = g.events[i];
        if (e[0] != g.startLines + i + 1)
            return ::testing::AssertionFailure()
                   << "event " << i << " creates node " << e[0] << ", expected "
                   << g.startLines + i + 1;
        for (int c = 1; c <= 2; ++c) {
            int child = e[c];
            if (child < 1 || child > nodes || state[child] != 1)
                return ::testing::AssertionFailure()
                       << "event " << i << " child " << child << " is not a separate line";
            state[child] = 2;
        }
        if (e[1] == e[2])
            return ::testing::AssertionFailure() << "event " << i << " joins a node with itself";
        state[e[0]] = 1;
        if (timesNonNegative && !(g.eventTimes[i] >= 0.0 && g.eventTimes[i] < 1e300))
            return ::testing::AssertionFailure()
                   << "event " << i << " waiting time " << g.eventTimes[i];
    }
    int top = 0;
    for (int v = 1; v <= nodes; ++v) top += state[v] == 1;
    if (top != g.endLines)
        return ::testing::AssertionFailure() << top << " top lines, expected " << g.endLines;
    return ::testing::AssertionSuccess();
}
