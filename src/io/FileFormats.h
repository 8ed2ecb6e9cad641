#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

// The files that foundabc writes and foundabc-summary reads, defined once for
// both programs: the names of the estimated columns (results rows and the
// reference table), the table's columns and number format, the observed
// statistics beside the table, and the priors the table's parameters were
// drawn from.

// The estimated columns, in the order of a results row between `Rep#` and
// `DS`: the six drawn parameters, then FracSueMono (a share of loci, not
// drawn).
constexpr std::size_t numbDrawnParams = 6;
constexpr std::size_t numbEstimatedColumns = 7;
inline constexpr std::array<const char*, numbEstimatedColumns> estimatedColumnNames = {
    "My",         "TimeToOri", "PopSizeOriTha", "PopSizePreTha", "PopSizeOriSue", "PopSizePreSue",
    "FracSueMono"};

// The summary statistics of a reference table, in column order.
constexpr std::size_t numbTableStats = 12;
inline constexpr std::array<const char*, numbTableStats> tableStatNames = {
    "S_sue",   "S_tha",   "NAL_sue", "NAL_tha", "HET_sue", "HET_tha",
    "VAR_sue", "VAR_tha", "MGW_sue", "MGW_tha", "DM2",     "FST"};

// The reference table's header line, "\n" included: sim, the estimated
// columns, the statistics, DS (the run's own distance), accepted (0 or 1).
std::string tableHeader();
constexpr std::size_t numbTableColumns = 1 + numbEstimatedColumns + numbTableStats + 2;

// Appends `value` as a table number: the shortest decimal text that reads back
// as the same double; NaN, Inf and -Inf for the values that are not finite.
void appendTableNumber(std::string& out, double value);

// Reads a number written by appendTableNumber (any decimal text that
// std::from_chars takes, or NaN, Inf, -Inf); the whole token must be used.
bool parseTableNumber(std::string_view token, double& value);

// The files beside the table `tablePath`: its name without a trailing ".gz",
// then ".observed.tsv" (the observed statistics: the statistic names, then
// one line of values) or ".priors.tsv" (the priors, below).
std::string observedStatisticsPath(const std::string& tablePath);
std::string priorsPath(const std::string& tablePath);

// The observed statistics file's text: header and values, tab-separated.
std::string formatObservedStatistics(const std::array<double, numbTableStats>& values);

// The prior of one drawn parameter, on its natural scale: uniform between the
// bounds, or uniform in the logarithm between them (log-uniform).
struct ParameterPrior {
    bool logUniform = false;
    double lower = 0.0;
    double upper = 0.0;
};
using TablePriors = std::array<ParameterPrior, numbDrawnParams>;

// The priors file: the priors, and whether the table beside it is complete.
// A run writes the file before its first row; when the table is complete
// (closed and synced) the file is replaced by one that ends in the line
// "# complete: N simulations", N the table's rows. A table whose priors file
// lacks that line belongs to a run that was killed or failed, or is running.
struct PriorsFile {
    TablePriors priors{};
    bool complete = false;
    long long simulations = 0;  // rows of the complete table
};

// The priors file's text: the header `parameter distribution lower upper`,
// then one row per drawn parameter in column order, tab-separated, with
// `uniform` or `log-uniform` and the bounds as table numbers; then, when
// `file.complete`, the closing line.
std::string formatPriors(const PriorsFile& file);

// Reads a priors file's text. The rows may come in any order but must name
// each drawn parameter once, with finite bounds, lower below upper, and a
// positive lower bound when log-uniform; a closing line, if any, comes last.
// On failure returns false with the problem (naming its line) in `error`.
bool parsePriors(std::string_view text, PriorsFile& file, std::string& error);
