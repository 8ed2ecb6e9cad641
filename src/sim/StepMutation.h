#pragma once

#include <cstdint>
#include <vector>

#include "sim/Genealogy.h"
#include "sim/MutationModel.h"

// Drops stepwise mutations on genealogy G and returns the allele of every
// sampled line: entry v - 1 for leaf v, measured in repeat units from the
// allele of the top line above it (0). Along each branch the number of
// mutations is Poisson with mean mutationRate x branch length, each a step of
// -1 or +1 with equal chance. Draws come from the global generator `r`, in a
// fixed order: events from the last to the first; within an event the internal
// children before the sampled lines, child 1 before child 2 within each kind;
// per child its Poisson draw, then one uniform draw per mutation.
// G is only read; the caller owns the result. A branch whose mean number of
// mutations is above kMaxMeanMutations ends the process with "error:
// generateStepMut: expected number of mutations on a branch is too large".
std::vector<int32_t> generateStepMut(const Genealogy& G, double mutationRate);

// A mean above this cannot be drawn faithfully as a 32-bit count.
inline constexpr double kMaxMeanMutations = 2147483648.0;  // 2^31

// Reusable working storage of generateStepMutInto; its contents between calls
// mean nothing.
struct StepMutationBuffers {
    std::vector<double> branch;        // two branch lengths per event
    std::vector<double> openSum;       // running sums of the branches still growing
    std::vector<int> openEvent;        // the event that created each of those nodes
    std::vector<int> openSlot;         // per event, where its node's sum stands (or -1)
    std::vector<int32_t> nodeAlleles;  // per event, the allele of the node it creates
};

// generateStepMut writing the alleles into `leafAlleles` (resized to
// G.startLines), with `work` as scratch: the same draws and result.
void generateStepMutInto(const Genealogy& G, double mutationRate, std::vector<int32_t>& leafAlleles,
                         StepMutationBuffers& work);

// generateStepMutInto under the generalised stepwise model: each mutation
// moves the allele by a geometric number of repeats (see MutationModel.h),
// its length drawn from steps.stepRng just before the sign is drawn from `r`.
// The main stream `r` gives the same draws as the strict model's (the Poisson
// counts and one uniform per mutation); with steps.gsmP = 0 this is the
// strict model, with no draw from steps.stepRng.
void generateStepMutInto(const Genealogy& G, double mutationRate, const MutationSteps& steps,
                         std::vector<int32_t>& leafAlleles, StepMutationBuffers& work);
