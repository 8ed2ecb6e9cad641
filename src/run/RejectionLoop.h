#pragma once

#include "run/ObservedStats.h"
#include "run/RunSink.h"
#include "sim/ModelVersion.h"
#include "sim/Params.h"

// Runs settings.repeats repeats of rejection sampling with the calling
// thread's generator `r` (the run seeded with the clock): each draws a
// parameter set from the priors, simulates every locus under the given model
// version, and hands the result to `sink` (which appends the accepted sets to
// the results file). REQUIRES: settings passed checkParams. Errors end the
// process; rows already written stay complete.
void runRejectionLoop(const params& settings, const ObservedStatistics& observed,
                      ModelVersion version, RunSink& sink);
