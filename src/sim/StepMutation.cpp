#include "sim/StepMutation.h"

#include <gsl/gsl_randist.h>
#include <gsl/gsl_rng.h>

#include "io/Fail.h"
#include "sim/Random.h"

namespace {
constexpr double kMaxMeanSteps = 2147483648.0;  // 2^31
}  // namespace

std::vector<int32_t> generateStepMut(const Genealogy& G, double mutationRate) {
    const int n = G.startLines;
    std::vector<int32_t> leafAlleles(static_cast<size_t>(n), 0);
    // nodeAlleles[i]: allele of the node created by event i. Nodes that are
    // never a child (the top lines) keep 0.
    std::vector<int32_t> nodeAlleles(static_cast<size_t>(G.numbEvents), 0);

    // A child takes its parent's allele and adds the steps of its branch,
    // which reaches from the event that created it (the sampling time for a
    // leaf) up to event k. The sum is formed afresh in index order.
    auto mutateBranch = [&](int k, int32_t parentAllele, int32_t child) {
        const bool internal = child > n;
        double branch = 0.0;
        for (int j = internal ? child - n : 0; j <= k; ++j) branch += G.eventTimes[j];
        int32_t& allele = internal ? nodeAlleles[child - n - 1] : leafAlleles[child - 1];
        allele = parentAllele;
        const double meanSteps = mutationRate * branch;
        // The count is drawn as a 32-bit unsigned value: a mean beyond 2^31
        // (a mutation rate or a branch far outside any real history) cannot
        // be drawn faithfully, and would take billions of steps.
        if (meanSteps > kMaxMeanSteps)
            fail(
                "\n error: generateStepMut: expected number of mutations on a branch is "
                "too large\n\n");
        const unsigned int K = gsl_ran_poisson(r, meanSteps);
        for (unsigned int step = 0; step < K; ++step) {
            if (gsl_rng_uniform(r) < 0.5)
                --allele;
            else
                ++allele;
        }
    };

    // Parents before children: a node is created by an earlier event than the
    // one that uses it as a child.
    for (int k = G.numbEvents - 1; k >= 0; --k) {
        const int32_t p = nodeAlleles[k];
        const int32_t c1 = G.events[k][1];
        const int32_t c2 = G.events[k][2];
        if (c1 > n) mutateBranch(k, p, c1);
        if (c2 > n) mutateBranch(k, p, c2);
        if (c1 <= n) mutateBranch(k, p, c1);
        if (c2 <= n) mutateBranch(k, p, c2);
    }
    return leafAlleles;
}
