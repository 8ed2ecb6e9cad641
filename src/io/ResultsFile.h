#pragma once

#include <string>

// The results file: one table per run, appended to and never truncated.

// Text of one results row, numbered `numbAccepted`, with its line end. The
// row numbered 1 is preceded by the header line and an empty line, so every
// run that accepts something starts its own table. These are the exact bytes
// a run appends for the row.
std::string formatResultsRow(double My, double TimeToOri, double PopSizeOriTha,
                             double PopSizePreTha, double PopSizeOriSue, double PopSizePreSue,
                             double FracSueMono, double DS, int numbAccepted);

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
                   int numbAccepted);

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
