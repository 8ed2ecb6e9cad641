#include "sim/Random.h"

thread_local gsl_rng* r = nullptr;
