#pragma once

#include <memory>

#include "io/Params.h"
#include "sim/Genealogy.h"
#include "sim/Priors.h"

// Slots of a prior draw, in the order of the results columns.
enum PriorSlot { My = 0, TimeToOri, PopSizeOriTha, PopSizePreTha, PopSizeOriSue, PopSizePreSue };

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
// at the founding, and the join of all three into one tree. The order of the
// steps fixes the order of the random draws. Errors end the process.
LocusHistory simulateLocusHistory(const params& settings, const PriorDraw& draw);
