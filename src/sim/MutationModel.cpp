#include "sim/MutationModel.h"

#include <gsl/gsl_randist.h>

double locusRate(double meanRate, double shape, gsl_rng* g) {
    if (!(shape > 0.0)) return meanRate;
    return meanRate * gsl_ran_gamma(g, shape, 1.0 / shape);
}

double drawGsmP(double lower, double upper, gsl_rng* g) {
    if (!(upper > lower)) return lower;
    return gsl_ran_flat(g, lower, upper);
}
