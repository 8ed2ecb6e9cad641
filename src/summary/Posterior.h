#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "summary/Histogram.h"
#include "summary/ResultsFile.h"

// The marginal posterior of one estimated column.
struct ColumnSummary {
    std::string name;
    std::size_t n = 0;  // rows with positive weight (all rows when unweighted)
    double ess = 0.0;   // effective sample size of those rows; n when unweighted
    double mean = 0.0;
    double sd = 0.0;    // NaN when fewer than two rows carry weight
    double q025 = 0.0;  // 2.5 % quantile
    double median = 0.0;
    double q975 = 0.0;  // 97.5 % quantile
    double mode = 0.0;  // centre of the fullest histogram bin
    Histogram histogram;
};

// Epanechnikov weights of `rows` on their DS for bandwidth h > 0, one per row.
std::vector<double> kernelWeights(const std::vector<ResultsRow>& rows, double h);

// The largest DS among `rows` (0 for no rows).
double largestDistance(const std::vector<ResultsRow>& rows);

// Summaries of the seven columns, in file order. `weights` has one entry per
// row (all 1 for the plain summary).
std::vector<ColumnSummary> summariseColumns(const std::vector<ResultsRow>& rows,
                                            const std::vector<double>& weights);
