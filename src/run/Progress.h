#pragma once

#include <chrono>
#include <cstdio>
#include <string>

// Formats the progress of a run for one terminal line: repeats done of the
// total, accepted so far, repeats per second and the estimated time left.
std::string formatProgress(long done, long total, long accepted, double elapsedSeconds);

// Formats the line that ends a run: repeats, accepted rows and where they
// went (or that no results file was written), the reference table when
// `tableName` is not empty, and the elapsed time. An empty `outfileName`
// is a run from a sample, which writes no results file at all.
std::string formatFinish(long repeats, long accepted, const std::string& outfileName,
                         const std::string& tableName, double elapsedSeconds);

// Formats the line that ends a shard of a run: its repeats, its accepted
// rows, the shard file that holds them, and the elapsed time.
std::string formatShardFinish(long repeats, long accepted, const std::string& shardFile,
                              double elapsedSeconds);

// Keeps one line on a terminal up to date while the repeats run, and ends
// the run with a line that says how it ended. The progress line is written
// only when the stream is a terminal (so logs and pipes stay clean), at most
// a few times a second, and cleared when the run ends; the final line is
// written to the stream whether it is a terminal or not, so that the log of
// a batch job also says how many rows the run accepted and where they went.
// Standard output and the results file are never touched, so that a seeded
// run's standard output stays the same bytes.
class ProgressLine {
  public:
    // `stream` is not owned; it is usually stderr.
    ProgressLine(long total, std::FILE* stream);
    ~ProgressLine();  // clears the line
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    // Called after every repeat; redraws when enough time has passed.
    void update(long done, long accepted);

    // Removes the line from the terminal, if it was drawn.
    void clear();

    // Ends the run's display with the formatFinish line, with the accepted
    // count of the last update: on a terminal in place of the progress line
    // (drawn or not), elsewhere as a line of its own.
    void finish(const std::string& outfileName, const std::string& tableName);

    // Ends a shard's display likewise, with the formatShardFinish line.
    void finishShard(const std::string& shardFile);

  private:
    using Clock = std::chrono::steady_clock;
    void writeFinal(const std::string& line);

    long total_;
    std::FILE* finalStream_;  // where the final line goes; may be null
    std::FILE* stream_;       // the terminal of the progress line; null when not a terminal
    Clock::time_point start_;
    Clock::time_point nextDraw_;
    bool drawn_ = false;
    long accepted_ = 0;  // as of the last update
};
