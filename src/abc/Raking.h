#pragma once

#include <cstddef>
#include <vector>

// Calibration of the weights of a sample of rows so that several of its
// margins match given ones (raking, iterative proportional fitting). Each
// margin is a column of values and a target weighting of the same rows; it
// is cut into bins at the quantiles of its target, and the weights are
// rescaled, margin after margin, so that each bin holds the target's mass,
// until every bin of every margin matches.

struct RakingMargin {
    const std::vector<double>* values;  // one per row; not owned
    const std::vector<double>* target;  // one non-negative weight per row, summing to 1; not owned
};

struct RakingResult {
    std::vector<double> weights;  // one per row, summing to 1
    int rounds = 0;               // full passes over the margins
    double discrepancy = 0.0;     // the largest |bin mass - target mass| at the end
    bool converged = false;       // discrepancy below the tolerance
};

// Rakes `start` (one non-negative weight per row, summing to 1) to the
// margins, each cut at the 1/bins, 2/bins, ... quantiles of its target
// (bins >= 1; equal quantiles merge their bins; values outside the range of
// the target's rows are bins of their own), for at most `maxRounds`
// passes or until the discrepancy is below `tolerance`. A row keeps weight 0
// where it starts with 0 (and any weight below 1e-15 becomes 0): the result
// is a reweighting of the same rows.
// Deterministic: the same input gives the same bytes.
RakingResult rakeWeights(const std::vector<double>& start, const std::vector<RakingMargin>& margins,
                         std::size_t bins, double tolerance, int maxRounds);
