#pragma once

#include <utility>
#include <vector>

// The modes the summary reports. Both take one weight per value (each >= 0);
// values of weight 0 take no part, and the result is NaN when no value has
// positive weight.

// The mode of a continuous column: the highest point of a Gaussian kernel
// density estimate of the (weighted) values. On `logScale` (for log-uniform
// priors; every value of positive weight must then be above 0, otherwise the
// linear scale is used) the density is that of log10 of the values, and the
// mode is turned back into the values' units.
//
// The bandwidth is Silverman's rule of thumb on that scale,
// 0.9 min(SD, IQR / 1.34) n^(-1/5), with n the effective sample size (SD
// alone when the IQR is 0). The density is evaluated on a grid of 512 points
// from the smallest to the largest value, from the values binned linearly
// onto the grid, and the mode is the vertex of the parabola through the
// highest grid point and its two neighbours (the lowest of equal highest
// points). When all values are equal the mode is that value.
double densityMode(const std::vector<double>& values, const std::vector<double>& weights,
                   bool logScale);

// The distinct values with the share of the total weight that each holds, in
// increasing order of value.
std::vector<std::pair<double, double>> valueShares(const std::vector<double>& values,
                                                   const std::vector<double>& weights);

// The value holding the largest share (the smallest such value on ties); NaN
// for no values.
double mostFrequentValue(const std::vector<std::pair<double, double>>& shares);
