#pragma once

#include <gsl/gsl_rng.h>

// The run's single random-number generator (type gsl_rng_taus). Every random
// draw of the program comes from it, in a fixed order, so that one seed gives
// one run. The entry point creates and seeds it once; tests install their own
// seeded generator (see tests/support/TestRng.h).
extern gsl_rng* r;
