#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "abc/ForestEstimate.h"
#include "abc/Posterior.h"
#include "sim/Columns.h"
#include "sim/PriorBounds.h"
#include "sim/SimulationTable.h"

// The forest estimate of every column of one model's table, as
// `foundabc-summary --table TABLE --method forest --seed SEED --trees N`
// makes it: the statistics chosen over the table alone, one regression
// forest per column, its posterior at the observed statistics.

struct ForestAnalysis {
    std::vector<std::size_t> statistics;  // the chosen statistics (indices into tableStatNames)
    // Per column of the table (its numbParams() slots, GsmP last when it
    // holds it):
    std::array<ColumnForest, numbParamSlots> forests;
    std::vector<ColumnSummary> summaries;  // at the observed statistics
    std::array<std::vector<double>, numbParamSlots> weights;  // the rows' posterior weights
    std::vector<std::string> warnings;
    std::string error;  // empty on success
};

// `priors` may be null (a table without its priors file), and so may `gsmP`
// (the prior of GsmP, from that file). `progress` is called once per tree
// grown (may be empty).
ForestAnalysis analyseByForests(const ReferenceTable& table, const TablePriors* priors,
                                const ParameterPrior* gsmP,
                                const std::array<double, numbTableStats>& observed, int trees,
                                int threads, unsigned long seed,
                                const std::function<void()>& progress);

// The verdict word of a column: "fixed" for a column the table holds fixed,
// else informed / weakly informed / not informed by its out-of-bag error.
std::string columnVerdict(const ColumnForest& forest);

// Out-of-bag coverage of column `c`: the shares of `rows` whose true value
// lies inside the central 50 % and 95 % intervals of their out-of-bag
// posteriors (NaN for a fixed column).
struct Coverage {
    double inside50 = 0, inside95 = 0;
};
Coverage outOfBagCoverage(const ColumnForest& forest, const ReferenceTable& table, std::size_t c,
                          const std::vector<std::size_t>& rows);

// The first `rows` rows of `table` (all when it has fewer), GsmP included.
ReferenceTable firstRows(const ReferenceTable& table, std::size_t rows);
