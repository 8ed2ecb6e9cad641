#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "io/FileFormats.h"
#include "summary/ResultsFile.h"

// A reference table as written by `foundabc --table FILE`: one row per
// simulation with its drawn parameters and its summary statistics, and beside
// it the statistics of the observed data. The statistics are kept column by
// column, since every use (scaling, distances) runs down one column at a time.

struct ReferenceTable {
    // sim[i]: the simulation number of row i (its `sim` column).
    std::vector<long> sim;
    // params[c][i]: parameter c (in the order of paramColumnNames) of row i.
    std::array<std::vector<double>, numbParamColumns> params;
    // stats[j][i]: statistic j (in the order of tableStatNames) of row i; may
    // be NaN or infinite where the statistic is undefined for that simulation.
    std::array<std::vector<double>, numbTableStats> stats;

    std::size_t rows() const { return params[0].size(); }
    // The simulation number of row i; the row's own number (from 1) when the
    // table was assembled without them.
    long simOf(std::size_t i) const { return i < sim.size() ? sim[i] : static_cast<long>(i) + 1; }
};

// Outcome of reading a table. `error` is empty on success; on error `table`
// is empty. `warnings` name lines that were left out (a last row cut short).
struct TableRead {
    ReferenceTable table;
    std::vector<std::string> warnings;
    std::string error;
};

// Reads the table at `path`, plain or gzip-compressed (recognised by its
// content, not its name). The header must hold exactly the 22 columns of a
// reference table in their order. A row with the wrong number of fields, a
// token that is not a number (NaN, Inf and -Inf are numbers), a parameter
// that is not finite, or a bad `sim` or `accepted` field is an error naming
// its line. A last line without its line end (a run killed while writing)
// is left out with a warning, and so is the rest of a gzip file that ends
// early. Blank lines are ignored. Messages start with `path`.
TableRead readReferenceTable(const std::string& path);

// Outcome of reading the observed statistics; `error` empty on success.
struct ObservedRead {
    std::array<double, numbTableStats> values{};
    std::string error;
};

// Reads an observed statistics file: a header line with the 12 statistic
// names, tab-separated and in table order, and one line with their values
// (NaN allowed: a statistic undefined for the observed data).
ObservedRead readObservedStats(const std::string& path);
