#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "sim/Genealogy.h"

// The distinct top nodes of the `sue` leaves 1..sueLines of the parallel
// genealogy P, in order of first appearance with the leaves taken in ascending
// order. A top node is the node a leaf's line has reached after P's last event
// (the leaf itself if it never coalesced). The caller owns the result.
// REQUIRES: 0 <= sueLines <= P.startLines.
std::vector<int32_t> findSueTopNodes(const Genealogy& P, int sueLines);

// The same for the `tha` leaves sueLines + 1..P.startLines.
std::vector<int32_t> findThaTopNodes(const Genealogy& P, int sueLines);

// Grafts the ancestral genealogy F (one leaf per top line of P, `sue` top
// lines first, ending in one line) on top of the parallel genealogy P, giving
// the full genealogy of the locus: n = P.startLines leaves, n - 1 events, one
// root. P's events come first, unchanged; F's follow, with F's leaf i placed
// on sueTopNodes[i - 1] (i <= sueTopCount) or on thaTopNodes[i - sueTopCount
// - 1], and F's event k creating node n + P.numbEvents + k + 1. F's first
// event happens at timeToOri + F.eventTimes[0] from the sampling time.
// Inputs are only read; the caller owns the result.
// Ends the run with a message when P's top lines and F's leaves differ in
// number, when no F leaf is left for the `tha` top lines, or when the top-node
// lists or F do not fit that layout.
std::unique_ptr<Genealogy> merge2serialGen(const Genealogy& P, const Genealogy& F,
                                           const std::vector<int32_t>& sueTopNodes,
                                           const std::vector<int32_t>& thaTopNodes, int sueTopCount,
                                           double timeToOri);

// Reusable working storage of findTopNodesInto; contents between calls mean
// nothing.
struct TopNodeBuffers {
    std::vector<int32_t> top;  // top node of every node of P
    std::vector<char> collected;
};

// findSueTopNodes and findThaTopNodes together, into reused vectors.
void findTopNodesInto(const Genealogy& P, int sueLines, std::vector<int32_t>& sueTopNodes,
                      std::vector<int32_t>& thaTopNodes, TopNodeBuffers& work);

// merge2serialGen writing into the reused record `full` (every field
// overwritten); the same checks and record.
void merge2serialGenInto(const Genealogy& P, const Genealogy& F,
                         const std::vector<int32_t>& sueTopNodes,
                         const std::vector<int32_t>& thaTopNodes, int sueTopCount, double timeToOri,
                         Genealogy& full);
