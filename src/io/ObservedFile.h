#pragma once

#include <array>
#include <string>
#include <vector>

#include "sim/Columns.h"
#include "sim/TableStats.h"

// The observed statistics beside a reference table: a header line with the
// statistic names, tab-separated and in table order, and one line of their
// values as table numbers (NaN for a statistic undefined for the data). A
// file written before the spread and shape statistics holds the twelve core
// ones only, and is read with the others not a number.

// The file beside the table `tablePath`: its name without a trailing ".gz",
// then ".observed.tsv".
std::string observedStatisticsPath(const std::string& tablePath);

// The file's text: header and values.
std::string formatObservedStatistics(const std::array<double, numbTableStats>& values);

// Writes (truncating) the observed statistics beside table `tablePath`,
// always plain text, and syncs them. Fails with "error: table: cannot write
// NAME" (NAME the observed file).
void writeObservedStatistics(const std::string& tablePath, const TableStatistics& observed);

// Outcome of reading the observed statistics; `error` empty on success.
struct ObservedRead {
    std::array<double, numbTableStats> values{};  // the first line of values
    std::vector<std::array<double, numbTableStats>> points;  // every line of values
    std::size_t numbStats = numbTableStats;  // the statistics the file holds (a prefix)
    std::string error;
    std::string note;  // for a warning when not empty: what was skipped (a byte-order mark)
};

// Reads an observed statistics file; `error` names the file, and the line
// where there is one, when it is not one: a NUL byte, lines ended by
// carriage returns alone and a doubled column each have their own message.
// A UTF-8 byte-order mark at its start is skipped, and said in `note`.
// With `manyPoints` the file may hold several lines of values, one observed
// data set each (`foundabc-summary --observed`).
ObservedRead readObservedStats(const std::string& path, bool manyPoints = false);
