#pragma once

#include <array>
#include <cstddef>
#include <memory>
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

// The response of column `c` (index into paramSlotNames): the natural log
// of a parameter with a log-uniform prior, the values themselves otherwise.
std::vector<double> forestResponse(const ReferenceTable& table, std::size_t c,
                                   const TablePriors* priors);

// The fewest rows a forest estimate takes: twice the minimum node size of
// 5, so that the bootstrap of every tree can be split at least once into
// leaves of the minimum size, and a row left out of a tree is predicted by
// something else than the mean of all the others (with 2 or 3 rows every
// tree is one leaf, and the out-of-bag error says nothing).
constexpr std::size_t forestMinimumRows = 10;

// The grown forest of one column, with what the estimate prints of it.
struct ColumnForest {
    std::unique_ptr<RegressionForest> forest;  // owned; trained on the column's response
    // Out-of-bag prediction error, normalised as cross-validation reports it:
    // sum (oob - y)^2 / sum (y - mean y)^2 over the rows with an out-of-bag
    // prediction, on the response's scale; NaN when y does not vary.
    double oobError = 0.0;
    // Whether the column takes one value in every row (a parameter the
    // table holds fixed; oobError is then NaN).
    bool fixed = false;
};

// Grows the forest of column `c` on `features`. Throws std::invalid_argument
// on bad shapes (see RegressionForest) and std::bad_alloc when memory runs
// out.
ColumnForest growColumnForest(const ReferenceTable& table, const FeatureMatrix& features,
                              std::size_t c, const TablePriors* priors,
                              const ForestSettings& settings);

// The out-of-bag posterior of each of `rows` on column `c`'s natural scale,
// from the trees of `forest` (grown on that column) that left the row out.
std::vector<CvEstimate> columnOobEstimates(const RegressionForest& forest,
                                           const ReferenceTable& table, std::size_t c,
                                           const std::vector<std::size_t>& rows);

// The indices of the `count` largest values of `importance`, largest first
// (ties: lower index first), leaving out those of importance 0 (never split
// on): empty when no statistic was.
std::vector<std::size_t> mostImportant(const std::vector<double>& importance, std::size_t count);
