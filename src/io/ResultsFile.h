#pragma once

#include <array>
#include <cstddef>
#include <istream>
#include <string>
#include <vector>

#include "sim/Columns.h"
#include "sim/SimulationTable.h"

// The results file: one table per run, appended to and never truncated.

// Text of one results row, numbered `numbAccepted`, with its line end. The
// row numbered 1 is preceded by the header line and an empty line, so every
// run that accepts something starts its own table. These are the exact bytes
// a run appends for the row.
// With `gsmP` (a run that draws it) the row ends in GsmP after DS, and the
// header names it there: every column of a row without it keeps its place,
// so a reader that takes the columns by position reads the old ones as
// before.
std::string formatResultsRow(double My, double TimeToOri, double PopSizeOriTha,
                             double PopSizePreTha, double PopSizeOriSue, double PopSizePreSue,
                             double FracSueMono, double DS, int numbAccepted,
                             const double* gsmP = nullptr);

// The results file of one run, held from the start of the run to its end.
//
// Other runs of the program are kept out: from the moment the writer has the
// file open it holds an exclusive lock (flock) on it, and a run that finds the
// file locked by a live run ends with "error: results file NAME is being
// written by another run; give each run its own OUTFILE_NAME" before it writes
// a row. Every append is one write through the one descriptor that holds the
// lock, and a write that fails part-way (full disk, file-size limit) is taken
// back to the size before it, which under the lock holds only this run's
// bytes. A file that ends in a cut row (a run killed mid-write) gets a line
// end before this run's first bytes, so the cut bytes stay but end their line.
//
// Every error prints its message on standard output and ends the process with
// status 1: "Error opening outfile" when the file cannot be opened, "error:
// printOutfile: cannot write NAME" when bytes cannot be written completely.
class ResultsWriter {
  public:
    // Checks, without creating anything, that `outfileName` can be opened for
    // appending: an existing file is opened now (and locked), without waiting
    // (a named pipe that no program reads cannot be opened); for a missing
    // one, its folder must exist and be writable, and a symbolic link to
    // nothing cannot be opened. The file is created only
    // with the first append, so a run that accepts nothing leaves none.
    explicit ResultsWriter(std::string outfileName);
    ~ResultsWriter();
    ResultsWriter(const ResultsWriter&) = delete;
    ResultsWriter& operator=(const ResultsWriter&) = delete;

    // Opens the file now, creating it when missing, and locks it, without
    // writing: for a caller that must hold the file before it writes others.
    void hold() {
        if (fd_ < 0) openForFirstAppend();
    }

    // Appends one row (see formatResultsRow).
    void appendRow(double My, double TimeToOri, double PopSizeOriTha, double PopSizePreTha,
                   double PopSizeOriSue, double PopSizePreSue, double FracSueMono, double DS,
                   int numbAccepted, const double* gsmP = nullptr);

    // Appends `bytes` (already formatted rows) whole, or takes them back.
    void appendBlock(const std::string& bytes);

    // Declares the file's last bytes the start of what this writer appends
    // next (a merge that resumes after an interruption): no line end is put
    // before its first bytes even if the file ends inside a row.
    void continueInterruptedAppend() { appended_ = true; }

    // Forces the appended bytes to the disk; a failure is a write error.
    void sync();

    // Closes the file and releases the lock; a failed close is a write error.
    // Nothing may be appended afterwards. The destructor closes silently.
    void close();

  private:
    void openForFirstAppend();
    void lockOrFail();
    bool endsInCutLine() const;

    std::string name_;
    int fd_ = -1;
    bool appended_ = false;
};

// Appends one row to `outfileName` through a writer of its own (opened,
// locked and closed for this row alone).
void printOutfile(double My, double TimeToOri, double PopSizeOriTha, double PopSizePreTha,
                  double PopSizeOriSue, double PopSizePreSue, double FracSueMono, double DS,
                  int numbAccepted, const char* outfileName);

// Reading a results file.

// A results file as the summary sees it: the accepted rows of one or more
// runs. Every run that appended to the file started with its own header line,
// so a header line opens a new run.

// True when `text` is a decimal number as printf writes one: an optional
// sign, digits with an optional decimal point, an optional exponent.
// Hexadecimal numbers, "inf", "nan" and trailing bytes are refused.
bool isDecimalNumber(const std::string& text);

// A row that could not be read (cut short by a killed run, or holding a
// token that is not a finite number); it is left out of every summary.
struct SkippedLine {
    std::size_t lineNumber = 0;  // 1-based
    std::string reason;
};

struct ResultsRun {
    std::size_t headerLine = 0;  // 1-based line number of the run's header
    bool withGsmP = false;       // the header ends in GsmP (its rows carry it after DS)
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
    bool withGsmP = false;    // every chosen run carries GsmP
    std::string error;
};
RowSelection selectRows(const ResultsFile& file, const RunChoice& choice);
