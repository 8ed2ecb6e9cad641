#pragma once

#include <chrono>
#include <cstdio>
#include <string>

// Formats the progress of a run for one terminal line: repeats done of the
// total, accepted so far, repeats per second and the estimated time left.
std::string formatProgress(long done, long total, long accepted, double elapsedSeconds);

// Formats the line that ends a run on a terminal: repeats, accepted rows and
// where they went (or that no results file was written), the reference table
// when `tableName` is not empty, and the elapsed time.
std::string formatFinish(long repeats, long accepted, const std::string& outfileName,
                         const std::string& tableName, double elapsedSeconds);

// Keeps one line on a terminal up to date while the repeats run. It writes
// only when its stream is a terminal (so logs and pipes stay clean), at most a
// few times a second, and clears the line when the run ends (or replaces it
// with a final line, see finish). Standard output
// and the results file are never touched.
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

    // Ends the run's display: on a terminal, replaces the progress line (drawn
    // or not) with the formatFinish line, with the accepted count of the last
    // update, and a line end; elsewhere does nothing.
    void finish(const std::string& outfileName, const std::string& tableName);

  private:
    using Clock = std::chrono::steady_clock;
    long total_;
    std::FILE* stream_;  // null when not a terminal
    Clock::time_point start_;
    Clock::time_point nextDraw_;
    bool drawn_ = false;
    long accepted_ = 0;  // as of the last update
};
