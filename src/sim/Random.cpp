#include "sim/Random.h"

gsl_rng* r = nullptr;
