#pragma once

#include <array>
#include <string>
#include <vector>

#include "sim/Columns.h"

// A reference table as written by `foundabc --table FILE`: one row per
// simulation with its drawn parameters and its summary statistics, and beside
// it the statistics of the observed data. The statistics are kept column by
// column, since every use (scaling, distances) runs down one column at a time.

struct ReferenceTable {
    // sim[i]: the simulation number of row i (its `sim` column).
    std::vector<long> sim;
    // params[c][i]: column c (in the order of paramSlotNames) of row i; the
    // slot of GsmP (gsmPSlot) is empty unless hasGsmP.
    std::array<std::vector<double>, numbParamSlots> params;
    // stats[j][i]: statistic j (in the order of tableStatNames) of row i; may
    // be NaN or infinite where the statistic is undefined for that simulation.
    std::array<std::vector<double>, numbTableStats> stats;
    // Whether the table holds the generalised stepwise model's P (column
    // GsmP, in params[gsmPSlot]): a table of a run that drew it.
    bool hasGsmP = false;
    // The statistics the table holds: the first numbStats of tableStatNames.
    // A table written before the spread and shape statistics holds the
    // numbCoreStats only; the others are then NaN in every row.
    std::size_t numbStats = numbTableStats;

    std::size_t rows() const { return params[0].size(); }
    // The estimated columns the table holds: the first numbParams() slots.
    std::size_t numbParams() const { return hasGsmP ? numbParamSlots : numbParamColumns; }
    // The simulation number of row i; the row's own number (from 1) when the
    // table was assembled without them.
    long simOf(std::size_t i) const { return i < sim.size() ? sim[i] : static_cast<long>(i) + 1; }
};

// One accepted repeat of a results file.
struct ResultsRow {
    long rep = 0;  // Rep#: the row's number within its run
    std::array<double, numbParamColumns> values{};
    double ds = 0.0;
    double gsmP = 0.0;  // GsmP, in the rows of a run that draws it (after DS)
};
