#include "sim/StepMutation.h"

#include <gsl/gsl_randist.h>
#include <gsl/gsl_rng.h>

#include "base/Fail.h"
#include "sim/Random.h"

namespace {

// The length of every branch, in one pass over the events from the first:
// branch[2k] for child 1 of event k, branch[2k + 1] for child 2. A branch
// reaches from the event that created its lower node (the sampling time for a
// leaf) up to event k, and its length is the sum of the waiting times between,
// formed from 0.0 in index order. For a leaf that sum is the running sum of
// all waiting times up to k. For an internal node each branch keeps its own
// running sum, started at 0.0 when the node is created and added to at every
// later event until the node is a child: the same additions in the same order
// as summing afresh, without walking back over the events for every branch.
void branchLengths(const Genealogy& G, StepMutationBuffers& work) {
    const int n = G.startLines;
    const int numbEvents = G.numbEvents;
    work.branch.assign(2 * static_cast<size_t>(numbEvents), 0.0);
    // The running sums of the nodes created and not yet used as a child, in
    // no particular order, in openSum[0, numbOpen); openSlot[e] is where the
    // node of event e stands (-1 when it is not open). The sums are updated
    // over a whole number of blocks of kSumBlock entries: the spare entries
    // past the open ones take the additions too and are never read, and the
    // update loop then always ends at a block boundary (a remainder of
    // varying length costs a mispredicted branch at nearly every event).
    constexpr int kSumBlock = 8;
    work.openSum.assign(static_cast<size_t>(numbEvents) + kSumBlock, 0.0);
    work.openEvent.resize(static_cast<size_t>(numbEvents));
    work.openSlot.assign(static_cast<size_t>(numbEvents), -1);
    double* sums = work.openSum.data();
    int numbOpen = 0;

    double cumTime = 0.0;
    for (int k = 0; k < numbEvents; ++k) {
        const double wait = G.eventTimes[k];
        cumTime += wait;
        // Most of the time of a large genealogy goes here. The additions are
        // independent (and vectorised); unrolling lets more of them run per
        // loop step, the order of additions into each sum is unchanged.
        const int numbUpdated = (numbOpen + kSumBlock - 1) / kSumBlock * kSumBlock;
#pragma GCC unroll 4
        for (int q = 0; q < numbUpdated; ++q) sums[q] += wait;

        for (int c = 1; c <= 2; ++c) {
            const int32_t child = G.events[k][c];
            double length = 0.0;
            if (child <= n) {
                length = cumTime;
            } else {
                const int e = child - n - 1;
                const int slot = e < numbEvents ? work.openSlot[e] : -1;
                if (slot >= 0) {
                    length = sums[slot];
                    // Close it: the last open node takes its slot.
                    --numbOpen;
                    const int lastEvent = work.openEvent[numbOpen];
                    sums[slot] = sums[numbOpen];
                    work.openEvent[slot] = lastEvent;
                    work.openSlot[lastEvent] = slot;
                    work.openSlot[e] = -1;
                }
            }
            work.branch[2 * static_cast<size_t>(k) + (c - 1)] = length;
        }
        work.openSlot[k] = numbOpen;
        sums[numbOpen] = 0.0;
        work.openEvent[numbOpen] = k;
        ++numbOpen;
    }
}

// The mutations of every branch. `multiStep` is a template argument so that
// the strict model's loop holds no test of it per mutation.
template <bool multiStep>
void mutateAll(const Genealogy& G, double mutationRate, const MutationSteps& steps,
               std::vector<int32_t>& leafAlleles, StepMutationBuffers& work) {
    const int n = G.startLines;
    leafAlleles.assign(static_cast<size_t>(n), 0);
    // nodeAlleles[i]: allele of the node created by event i. Nodes that are
    // never a child (the top lines) keep 0.
    std::vector<int32_t>& nodeAlleles = work.nodeAlleles;
    nodeAlleles.assign(static_cast<size_t>(G.numbEvents), 0);
    branchLengths(G, work);
    // gsl_ran_geometric counts trials to the first success (support k >= 1):
    // a success chance of 1 - P gives P(X = k) = (1 - P) P^(k-1).
    const double stepSuccess = 1.0 - steps.gsmP;

    // A child takes its parent's allele and adds the steps of its branch.
    auto mutateBranch = [&](int k, int32_t parentAllele, int32_t child, int which) {
        const double branch = work.branch[2 * static_cast<size_t>(k) + which];
        int32_t& allele = child > n ? nodeAlleles[child - n - 1] : leafAlleles[child - 1];
        allele = parentAllele;
        const double meanSteps = mutationRate * branch;
        // The count is drawn as a 32-bit unsigned value: a mean beyond 2^31
        // (a mutation rate or a branch far outside any real history) cannot
        // be drawn faithfully, and would take billions of steps.
        if (meanSteps > kMaxMeanMutations)
            fail(
                "\n error: generateStepMut: expected number of mutations on a branch is "
                "too large\n\n");
        const unsigned int K = gsl_ran_poisson(r, meanSteps);
        for (unsigned int step = 0; step < K; ++step) {
            // The sign comes from the main stream in both models, the length
            // of a multi-step jump from the second one.
            int32_t size = 1;
            if constexpr (multiStep)
                size = static_cast<int32_t>(gsl_ran_geometric(steps.stepRng, stepSuccess));
            if (gsl_rng_uniform(r) < 0.5)
                allele -= size;
            else
                allele += size;
        }
    };

    // Parents before children: a node is created by an earlier event than the
    // one that uses it as a child.
    for (int k = G.numbEvents - 1; k >= 0; --k) {
        const int32_t p = nodeAlleles[k];
        const int32_t c1 = G.events[k][1];
        const int32_t c2 = G.events[k][2];
        if (c1 > n) mutateBranch(k, p, c1, 0);
        if (c2 > n) mutateBranch(k, p, c2, 1);
        if (c1 <= n) mutateBranch(k, p, c1, 0);
        if (c2 <= n) mutateBranch(k, p, c2, 1);
    }
}

}  // namespace

void generateStepMutInto(const Genealogy& G, double mutationRate, std::vector<int32_t>& leafAlleles,
                         StepMutationBuffers& work) {
    mutateAll<false>(G, mutationRate, MutationSteps{}, leafAlleles, work);
}

void generateStepMutInto(const Genealogy& G, double mutationRate, const MutationSteps& steps,
                         std::vector<int32_t>& leafAlleles, StepMutationBuffers& work) {
    if (steps.gsmP > 0.0)
        mutateAll<true>(G, mutationRate, steps, leafAlleles, work);
    else
        mutateAll<false>(G, mutationRate, steps, leafAlleles, work);
}

std::vector<int32_t> generateStepMut(const Genealogy& G, double mutationRate) {
    std::vector<int32_t> leafAlleles;
    StepMutationBuffers work;
    generateStepMutInto(G, mutationRate, leafAlleles, work);
    return leafAlleles;
}
