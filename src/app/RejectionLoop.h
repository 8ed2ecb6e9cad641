#pragma once

#include <functional>

#include "app/ObservedStats.h"
#include "io/Params.h"
#include "io/ResultsFile.h"
#include "sim/ModelVersion.h"

// Called after every repeat with the repeats done and accepted so far.
using RepeatObserver = std::function<void(long repeatsDone, long numbAccepted)>;

// Runs settings.repeats repeats of rejection sampling: each draws a parameter
// set from the priors, simulates every locus, and appends the set to the
// results through `results` (which the caller owns and closes) when the
// distance between its statistics and the observed ones is below the
// threshold; every locus under the given model version. Returns the number
// of accepted repeats.
// REQUIRES: settings passed checkParams. Errors end the process; rows already
// written stay complete.
int runRejectionLoop(const params& settings, const ObservedStatistics& observed,
                     ModelVersion version, ResultsWriter& results,
                     const RepeatObserver& onRepeat = nullptr);
