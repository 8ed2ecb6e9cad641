#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "sim/Columns.h"

// What the tab-separated files of both programs share: the reference table's
// header, the number format of every table, sample and priors file, and the
// reading of tab-separated lines and headers.

// The reference table's header line, "\n" included: sim, the estimated
// columns, the statistics, DS (the run's own distance), accepted (0 or 1).
// With `withGsmP`, GsmP stands between the six drawn parameters and
// FracSueMono.
std::string tableHeader(bool withGsmP = false);
constexpr std::size_t numbTableColumns = 1 + numbEstimatedColumns + numbTableStats + 2;

// Appends `value` as a table number: the shortest decimal text that reads back
// as the same double; NaN, Inf and -Inf for the values that are not finite.
void appendTableNumber(std::string& out, double value);

// Reads a number written by appendTableNumber (any decimal text that
// std::from_chars takes, or NaN, Inf, -Inf); the whole token must be used.
bool parseTableNumber(std::string_view token, double& value);

// The name of table `tablePath` without a trailing ".gz": the stem of the
// files written beside it.
std::string withoutGz(const std::string& tablePath);

// The tab-separated fields of `line` (one field when it has no tab).
std::vector<std::string_view> splitTabs(std::string_view line);

// What is wrong with the header `fields` when `expected` are the columns a
// file must have in that order (a missing, unknown, repeated or misplaced
// column), or "" when it is right.
std::string headerProblem(const std::vector<std::string_view>& fields,
                          const std::vector<std::string>& expected);

// How many statistics (a prefix of tableStatNames) a reference table or
// observed-statistics file whose header has the columns `fields` holds:
// numbTableStats, or numbCoreStats when none of the later statistics is
// named (a file written before they existed, read as one with the core
// statistics only).
std::size_t statisticsInHeader(const std::vector<std::string_view>& fields);

// `line` without a carriage return at its end (a file written on Windows).
std::string_view withoutCarriageReturn(std::string_view line);
