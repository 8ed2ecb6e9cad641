#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "abc/Histogram.h"
#include "sim/Columns.h"
#include "sim/PriorBounds.h"
#include "sim/SimulationTable.h"

// The marginal posterior of one estimated column.
struct ColumnSummary {
    std::string name;
    std::size_t n = 0;  // rows with positive weight (all rows when unweighted)
    double ess = 0.0;   // effective sample size of those rows; n when unweighted
    double mean = 0.0;
    double sd = 0.0;    // NaN when fewer than two rows carry weight
    double q025 = 0.0;  // 2.5 % quantile
    double q25 = 0.0;   // 25 % quantile: with q75 the central 50 % interval
    double median = 0.0;
    double q75 = 0.0;   // 75 % quantile
    double q975 = 0.0;  // 97.5 % quantile
    // The kernel-density mode (Mode.h); for FracSueMono, which takes only
    // multiples of 1 / loci, its most frequent value.
    double mode = 0.0;
    bool logScale = false;  // summarised and drawn on the log10 scale
    Histogram histogram;
    // FracSueMono only: each distinct value with its share of the weight.
    std::vector<std::pair<double, double>> shares;
    ColumnPrior prior;  // known only with the run's parameter file
};

// Epanechnikov weights of `rows` on their DS for bandwidth h > 0, one per row.
std::vector<double> kernelWeights(const std::vector<ResultsRow>& rows, double h);

// The largest DS among `rows` (0 for no rows).
double largestDistance(const std::vector<ResultsRow>& rows);

// The summary of column `c` (index into paramSlotNames) from its weighted
// values, with the scale and mode rules of summariseColumns; `prior` may be
// null.
ColumnSummary summariseColumn(std::size_t c, const std::vector<double>& values,
                              const std::vector<double>& weights, const ColumnPrior* prior);

// Summaries of the seven columns, in file order. `weights` has one entry per
// row (all 1 for the plain summary). With `priors` (may be null) a column's
// scale follows its prior: log10 for a log-uniform prior, linear otherwise.
// Without them a column is taken on the log scale when its values are all
// positive and span more than two orders of magnitude, as draws from a
// log-uniform prior do. FracSueMono is always on the linear scale. With
// `withGsmP` (rows of runs that drew it) GsmP follows, last, with its prior
// `gsmP` when known (may be null).
std::vector<ColumnSummary> summariseColumns(
    const std::vector<ResultsRow>& rows, const std::vector<double>& weights,
    const std::array<ColumnPrior, numbParamColumns>* priors = nullptr, bool withGsmP = false,
    const ColumnPrior* gsmP = nullptr);
