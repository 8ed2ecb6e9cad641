#pragma once

#include <cstdint>
#include <string>

#include "run/LocusSimulation.h"
#include "run/ObservedStats.h"
#include "run/StartUp.h"
#include "sim/AlleleMatrix.h"
#include "sim/ModelVersion.h"
#include "sim/Params.h"
#include "sim/Priors.h"
#include "sim/StepMutation.h"
#include "sim/TableStats.h"

class SampleDraw;

// Everything one repeat of the rejection loop makes: a parameter set drawn
// from the priors, the simulated data of every locus summarised by the same
// statistics as the observed data, and the verdict.
struct RepeatResult {
    PriorDraw draw{};
    double FracSueMono = 0.0;  // share of loci whose `sue` lines trace back to one origin
    double GsmP = 0.0;         // the data set's P of multi-step mutations (0 without GSM_P keys)
    double DS = 0.0;           // distance of the simulated statistics from the observed ones
    bool accepted = false;     // DS strictly below the threshold
    std::string tableRow;      // the reference-table row, when the run writes a table
};

// Storage that one thread reuses for all its repeats, so that a repeat
// allocates nothing once the first has sized it. Contents between repeats mean
// nothing.
struct RepeatWorkspace {
    explicit RepeatWorkspace(int numbLoci)
        : alleleMatrix(static_cast<size_t>(numbLoci)), mutationRng(gsl_rng_alloc(gsl_rng_taus)) {}
    LocusWorkspace locus;
    StepMutationBuffers mutation;
    AlleleMatrix alleleMatrix;
    TableStatsScratch tableScratch;
    // The repeat's second stream (seedMutationStream): drawn from only when
    // the mutation keys are set; whoever runs the repeat seeds it.
    GeneratorOwner mutationRng;
};

// Simulates one repeat with the generator `r` of the calling thread: the six
// prior draws (or a draw from `sample`, when given, which takes as many
// variates), then every locus in order, then the statistics. With the mutation
// keys set, work.mutationRng draws the repeat's P first, then per locus its
// rate and its step sizes; `r` draws exactly what it draws without them. With
// `tableSim` > 0 the reference-table row of simulation number `tableSim` is
// formatted too (its statistics cost time, so a run without a table computes
// none). Writes into `out`. Errors end the process through fail().
void simulateRepeat(const params& settings, const ObservedStatistics& observed,
                    ModelVersion version, RepeatWorkspace& work, int64_t tableSim,
                    RepeatResult& out, const SampleDraw* sample = nullptr);
