#pragma once

#include <chrono>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>

// "forests: 1200 of 3500 trees, about 40 s left": the progress line of the
// forests of a command, from the trees grown so far and the seconds since
// the first was started.
std::string formatForestProgress(long grown, long total, double elapsedSeconds);

// Keeps that line up to date on a terminal while the forests grow, redrawn
// in place with a carriage return at most a few times a second, and clears
// it when the forests are grown or the object goes. Off a terminal it draws
// nothing, so that logs and pipes hold only the results. It sees no result
// of the forests and changes none.
class ForestProgress {
  public:
    // `stream` (not owned; usually stderr) may be null: nothing is drawn.
    ForestProgress(long totalTrees, std::FILE* stream);
    ~ForestProgress();
    ForestProgress(const ForestProgress&) = delete;
    ForestProgress& operator=(const ForestProgress&) = delete;

    // The callback for ForestSettings::treeGrown: counts a tree and redraws
    // when it is time; safe to call from several threads at once. Valid as
    // long as this object lives.
    std::function<void()> callback();

    // Removes the line from the terminal, if it was drawn.
    void clear();

  private:
    using Clock = std::chrono::steady_clock;
    void treeGrown();

    long total_;
    std::FILE* stream_;  // null when not a terminal
    std::mutex mutex_;
    long grown_ = 0;
    Clock::time_point start_, nextDraw_;
    bool drawn_ = false;
};
