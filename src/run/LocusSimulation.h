#pragma once

#include <memory>

#include "sim/Genealogy.h"
#include "sim/GrowthPhase.h"
#include "sim/ParallelMerge.h"
#include "sim/Params.h"
#include "sim/Priors.h"
#include "sim/SerialMerge.h"

// The history of one locus in real time: the full genealogy of all sampled
// lines (`sue` lines are leaves 1..number_of_sue_lines, `tha` lines follow),
// and the number of independent origins of the `sue` lines at the founding.
struct LocusHistory {
    std::unique_ptr<Genealogy> full;
    int numbOrigins;
};

// Simulates the genealogy of one locus under the drawn parameters: the `tha`
// and `sue` samples back to the founding (the `sue` sample by the founding
// model the settings select), the ancestral genealogy of the lines both leave
// at the founding, and the join of all three into one tree, under the given
// model version. The order of the steps fixes the order of the random draws.
// Errors end the process.
LocusHistory simulateLocusHistory(const params& settings, const PriorDraw& draw,
                                  ModelVersion version = ModelVersion::current);

// Everything one locus step makes, kept from one locus to the next so that
// its storage is reused rather than allocated anew: the records by role and
// the stages' scratch. Contents between steps mean nothing, except that
// `full` holds the last locus's full genealogy.
struct LocusWorkspace {
    Genealogy tha{1, 1}, thaReal{1, 1}, sue{1, 1}, sueReal{1, 1};
    Genealogy ancestral{1, 1}, ancestralReal{1, 1}, parallel{1, 1}, full{1, 1};
    std::vector<int32_t> sueTopNodes, thaTopNodes;
    CoalescentBuffers coalescent;
    ParallelMergeBuffers merge;
    TopNodeBuffers topNodes;
};

// simulateLocusHistory in a workspace: the same steps and draws; the full
// genealogy is left in work.full and the origin count is returned.
int simulateLocusInto(LocusWorkspace& work, const params& settings, const PriorDraw& draw,
                      ModelVersion version);
