#pragma once

#include <array>
#include <cstddef>
#include <istream>
#include <string>
#include <vector>

#include "io/FileFormats.h"

// A results file as the summary sees it: the accepted rows of one or more
// runs. Every run that appended to the file started with its own header line,
// so a header line opens a new run.

// The seven estimated columns, in file order between `Rep#` and `DS`.
constexpr std::size_t numbParamColumns = numbEstimatedColumns;
inline constexpr const auto& paramColumnNames = estimatedColumnNames;
constexpr std::size_t fracSueMonoColumn = 6;  // index of FracSueMono in the above

// True when `text` is a decimal number as printf writes one: an optional
// sign, digits with an optional decimal point, an optional exponent.
// Hexadecimal numbers, "inf", "nan" and trailing bytes are refused.
bool isDecimalNumber(const std::string& text);

// One accepted repeat.
struct ResultsRow {
    long rep = 0;  // Rep#: the row's number within its run
    std::array<double, numbParamColumns> values{};
    double ds = 0.0;
};

// A row that could not be read (cut short by a killed run, or holding a
// token that is not a finite number); it is left out of every summary.
struct SkippedLine {
    std::size_t lineNumber = 0;  // 1-based
    std::string reason;
};

struct ResultsRun {
    std::size_t headerLine = 0;  // 1-based line number of the run's header
    std::vector<ResultsRow> rows;
    std::vector<SkippedLine> skipped;
};

// Everything read from a results file. `error` is empty on success; when it
// is set (malformed header, rows before any header) `runs` is empty.
struct ResultsFile {
    std::vector<ResultsRun> runs;
    std::string error;
};

// The longest line a results file may hold. A row of a run is 129 bytes; the
// bound only keeps a file that is not a results file (a binary file, a device
// without line ends) from being read into memory whole.
constexpr std::size_t maxResultsLineLength = 4096;

// Reads a results file from `in`. Blank lines are ignored; unreadable rows
// are recorded in their run's `skipped` list. A row is usable only as a run
// writes it: its fields in their fixed columns, the last one padded to its
// full width, and its line end; anything less is a row cut short. A header
// line whose columns are not exactly those of a results file, a row before
// the first header, or a line longer than maxResultsLineLength is an error.
// Runs without rows are kept so that run numbers count headers.
ResultsFile parseResults(std::istream& in);

// Which rows to summarise: the last run, the K-th run (1-based) or all runs.
struct RunChoice {
    enum Kind { last, numbered, all } kind = last;
    std::size_t number = 0;  // used when kind == numbered
};

// The rows of the chosen run(s), copied in file order, with the runs'
// skipped lines. `error` is set when the run number is out of range (rows
// and skipped lines then empty) or when the chosen runs hold no row.
struct RowSelection {
    std::vector<ResultsRow> rows;
    std::vector<std::size_t> runNumbers;  // the run (from 1) of each row
    std::vector<SkippedLine> skipped;
    std::string description;  // e.g. "run 2 of 3" or "all 3 runs"
    std::string error;
};
RowSelection selectRows(const ResultsFile& file, const RunChoice& choice);
