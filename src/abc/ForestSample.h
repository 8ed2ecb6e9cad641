#pragma once

#include <array>
#include <vector>

#include "sim/Columns.h"
#include "sim/SimulationTable.h"

// The weights of the sample of a forest estimate: the rows' mean weight over
// the columns' forests, raked so that each column's margin matches its own
// forest's posterior, which the estimate prints, in bins at its quantiles:
// 20 of them, or 10 or 5 where the rows cannot match so many at once (few
// rows lie near the data in every statistic).
struct ForestSampleWeights {
    std::vector<double> weights;  // one per row of the table, summing to 1
    bool matched = true;          // false: no raking matched; weights are the closest
    double discrepancy = 0.0;     // the largest mismatch of mass in a bin
};

// `weights[c]`: the posterior weights of column c's forest at the observed
// point, one per row of `table`, for each of its table.numbParams() columns.
ForestSampleWeights forestSampleWeights(const ReferenceTable& table,
                                        const std::array<std::vector<double>, numbParamSlots>& weights);
