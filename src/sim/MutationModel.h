#pragma once

#include <gsl/gsl_rng.h>

// The mutation process of one data set beyond the strict stepwise model, as
// the optional keys of the parameter file set it:
// - generalised stepwise mutation: a mutation changes the repeat number by +X
//   or -X with equal chance, X >= 1 geometric with P(X = k) = (1 - P) P^(k-1),
//   so that E[X^2] = (1 + P) / (1 - P)^2; P = 0 is the strict stepwise model;
// - rates that differ between loci: each locus multiplies the mutation rate
//   by its own Gamma(shape, scale 1 / shape) draw, of mean 1 and variance
//   1 / shape.

// P lies in [0, kMaxGsmP): near 1 the steps grow without bound (E[X] = 1 / (1 - P)).
inline constexpr double kMaxGsmP = 0.95;

// What the mutation of one data set needs beyond the mutation rate. The
// generator is not owned: it is the data set's second stream (the step sizes
// and locus rates), apart from the stream that draws the genealogies, so that
// a strict and a generalised run of one seed share their genealogies.
struct MutationSteps {
    double gsmP = 0.0;           // 0: every mutation is one repeat
    gsl_rng* stepRng = nullptr;  // draws the step sizes; needed when gsmP > 0
};

// The rate of one locus: `meanRate` times a Gamma(shape, 1 / shape) draw from
// `g`, or `meanRate` itself (no draw) when `shape` is not above 0.
double locusRate(double meanRate, double shape, gsl_rng* g);

// One draw of the data set's P from its uniform prior [lower, upper] from `g`
// (lower itself, with no draw, when the bounds are equal).
double drawGsmP(double lower, double upper, gsl_rng* g);
