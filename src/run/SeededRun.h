#pragma once

#include <cstdint>

#include "run/ObservedStats.h"
#include "run/RunSink.h"
#include "run/SampleDraw.h"
#include "sim/ModelVersion.h"
#include "sim/Params.h"

// Runs the simulations first .. last - 1 of a seeded run: simulation i draws
// from the stream (seed, i) alone (see SimulationStreams.h), on `threads`
// threads, and hands every result to `sink` in simulation order on the
// calling thread, as soon as every earlier simulation has finished. The
// results wait in a bounded window, so memory does not grow with the run.
//
// An error in simulation k behaves as with one thread: every result before k
// reaches the sink, then the message is printed once and the process ends
// with status 1; nothing after k reaches the sink.
// With `sample`, every simulation draws its parameters from it instead of
// from the priors (see SampleDraw.h).
// REQUIRES: settings passed checkParams; threads >= 1.
void runSeeded(const params& settings, const ObservedStatistics& observed, ModelVersion version,
               uint64_t seed, int64_t first, int64_t last, int threads, RunSink& sink,
               const SampleDraw* sample = nullptr);
