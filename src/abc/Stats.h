#pragma once

#include <vector>

// Weighted statistics of one column of accepted values. `weights` has one
// entry per value, each >= 0; values of weight 0 take no part. With all
// weights equal every function gives the usual unweighted statistic.
// Results are NaN when no value has positive weight (and, for the standard
// deviation, when fewer than two have).

// Epanechnikov kernel weight of a row at distance `ds` for bandwidth h > 0:
// 1 - (ds/h)^2 when |ds| < h, otherwise 0. A row exactly at ds == h therefore
// gets weight 0; with the default h (the largest distance among the rows) the
// farthest row drops out.
double epanechnikovWeight(double ds, double h);

double weightedMean(const std::vector<double>& values, const std::vector<double>& weights);

// Square root of sum w (x - mean)^2 / (W - sum w^2 / W), W = sum w: the
// unbiased variance for reliability weights, which is the n - 1 form when
// all weights are equal.
double weightedSd(const std::vector<double>& values, const std::vector<double>& weights);

// The p-quantile (0 <= p <= 1). Values are sorted; value i with weight w_i
// sits at cumulative position C_i - w_i / 2 (C_i the sum of weights up to and
// including i), rescaled so the smallest value sits at 0 and the largest at
// 1; the quantile interpolates linearly between neighbouring positions. With
// equal weights the positions are (i - 1) / (n - 1), the common "type 7"
// definition.
double weightedQuantile(const std::vector<double>& values, const std::vector<double>& weights,
                        double p);

// The null distribution of a check's score as its output reports it: how
// many of the scores are numbers (NaN ones, of simulations that could not be
// scored, are left out) and their median, 95 % and 99 % quantiles.
struct NullQuantiles {
    std::size_t count = 0;
    double median = 0.0, q95 = 0.0, q99 = 0.0;
};
NullQuantiles nullQuantiles(const std::vector<double>& scores);

// Kish's effective sample size (sum w)^2 / sum w^2; n when weights are equal.
double effectiveSize(const std::vector<double>& weights);
