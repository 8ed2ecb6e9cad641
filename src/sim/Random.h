#pragma once

#include <gsl/gsl_rng.h>

// The generator (type gsl_rng_taus) that every random draw of the program
// comes from, in a fixed order, so that one seed gives one run. It is one per
// thread: a run seeded with the clock installs its single generator in the
// main thread; in a seeded run each worker thread installs its own and resets
// its state for every simulation (see SimulationStreams.h). Tests install
// their own seeded generator (see tests/support/TestRng.h).
extern thread_local gsl_rng* r;
