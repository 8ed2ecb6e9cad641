#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "abc/CrossValidation.h"
#include "abc/FeatureMatrix.h"
#include "abc/Forest.h"
#include "sim/Columns.h"
#include "sim/PriorBounds.h"
#include "sim/SimulationTable.h"

// Parameter estimation by regression forests (quantile regression forests on
// the whole reference table, no tolerance): one forest per estimated column,
// trained on every row with the chosen statistics as features and the
// column as response, on the scale the parameter was drawn on (its natural
// logarithm for a log-uniform prior). A forest needs no scaling of the
// statistics, ignores those that do not inform the parameter, and, since its
// posterior is a weighting of the table's own rows, never leaves the prior or
// breaks the model's constraints.

// The chosen statistics of every row, one feature column per statistic.
FeatureMatrix statisticFeatures(const ReferenceTable& table,
                                const std::vector<std::size_t>& columns);

// The response of column `c` (index into paramColumnNames): the natural log
// of a parameter with a log-uniform prior, the values themselves otherwise.
std::vector<double> forestResponse(const ReferenceTable& table, std::size_t c,
                                   const TablePriors* priors);

// Grows the forest of column `c` and evaluates it at each of `points` (one
// weight vector per point, in order) and, out of bag, at each of `oobRows`.
// Throws std::invalid_argument on bad shapes (see RegressionForest).
struct ForestColumnResult {
    // Posterior weights of the table's rows at each point (each sums to 1).
    std::vector<std::vector<double>> weights;
    // Out-of-bag prediction error, normalised as cross-validation reports it:
    // sum (oob - y)^2 / sum (y - mean y)^2 over the rows with an out-of-bag
    // prediction, on the response's scale; NaN when y does not vary.
    double oobError = 0.0;
    // Impurity importance of each feature (variance decrease, averaged over
    // the trees), in feature order.
    std::vector<double> importance;
    // The out-of-bag posterior of each row of oobRows on the column's natural
    // scale, from the trees that left the row out.
    std::vector<CvEstimate> oobEstimates;
};
ForestColumnResult fitColumnForest(const ReferenceTable& table, const FeatureMatrix& features,
                                   std::size_t c, const TablePriors* priors,
                                   const std::vector<std::vector<double>>& points,
                                   const std::vector<std::size_t>& oobRows,
                                   const ForestSettings& settings);

// The indices of the `count` largest values of `importance`, largest first
// (ties: lower index first).
std::vector<std::size_t> mostImportant(const std::vector<double>& importance, std::size_t count);
