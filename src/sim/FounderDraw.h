#pragma once

#include <vector>

#include "sim/ModelVersion.h"

// The number of founder lineages that the lines still separate at a founding
// descend from. Each function of u is the deterministic rule; the draw*
// functions make exactly one gsl_rng_uniform_pos draw from `r` when
// linesAtOri >= 2 and none otherwise (then the answer is 1).

// x raised to the power n >= 0 by square-and-multiply in double precision,
// scanning the bits of n from the lowest: the same products in the same
// order as gsl_pow_int.
double intPow(double x, int n);

// Distribution of the number of founders that have descendants when each of
// `lines` lines descends from one of `founders` founders, uniformly and
// independently: entry k is P(exactly k founders occupied), for
// k = 0 .. min(lines, founders). Equals C(founders, k) S(lines, k) k! /
// founders^lines, computed by adding one line at a time (all terms positive,
// so no cancellation). Returned by value.
// REQUIRES: lines >= 0, founders >= 1.
std::vector<double> occupiedFoundersDist(int lines, int founders);

// Founder lineages of linesAtOri lines among conditional_origins equally
// likely founders, for the uniform variate u: j counts up from 0 while
// j < conditional_origins and P(at least j + 1 founders have no descendant)
// > u; the result is conditional_origins - j, in 1 .. min(conditional_origins,
// linesAtOri). 1 when linesAtOri <= 1.
// REQUIRES: conditional_origins >= 1, 0 < u < 1.
int numbFoundersFromU(int linesAtOri, int conditional_origins, double u);

// The legacy founder count: j counts up from 0 while j < conditional_origins
// and C(conditional_origins, j + 1) (1 - (j + 1) / conditional_origins)^
// linesAtOri > u, the expected number of empty sets of j + 1 founders taken
// for a probability. Same range and conventions as numbFoundersFromU.
int legacyNumbFoundersFromU(int linesAtOri, int conditional_origins, double u);

// One draw of the founder count under the given model version.
int drawNumbFounders(int linesAtOri, int conditional_origins,
                     ModelVersion version = ModelVersion::current);

// Probability that all linesAtOri lines descend from the same one of two
// founders, the second founder with probability fracF2 per line:
// (1 - fracF2)^linesAtOri + fracF2^linesAtOri.
double sameFounderProb(int linesAtOri, double fracF2);

// 1 when sameFounderProb > u, else 2; 1 when linesAtOri <= 1.
int numbFoundersFracF2FromU(int linesAtOri, double fracF2, double u);
int drawNumbFoundersFracF2(int linesAtOri, double fracF2);
