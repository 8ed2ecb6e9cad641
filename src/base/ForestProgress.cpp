#include "base/ForestProgress.h"

#include <unistd.h>

#include <cmath>

namespace {

constexpr std::chrono::milliseconds kInterval{250};

std::string timeLeft(double seconds) {
    if (seconds < 90) return std::to_string(static_cast<long>(std::ceil(seconds))) + " s";
    if (seconds < 5400) return std::to_string(static_cast<long>(std::lround(seconds / 60))) + " min";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f h", seconds / 3600);
    return text;
}

}  // namespace

std::string formatForestProgress(long grown, long total, double elapsedSeconds) {
    std::string line = "forests: " + std::to_string(grown) + " of " + std::to_string(total) +
                       " trees";
    // The rate of the trees so far; the first few say too little about it.
    if (grown > 0 && grown < total && elapsedSeconds > 0.5)
        line += ", about " + timeLeft(elapsedSeconds / static_cast<double>(grown) *
                                      static_cast<double>(total - grown)) +
                " left";
    return line;
}

ForestProgress::ForestProgress(long totalTrees, std::FILE* stream)
    : total_(totalTrees),
      stream_(stream != nullptr && isatty(fileno(stream)) ? stream : nullptr),
      start_(Clock::now()),
      nextDraw_(start_ + kInterval) {}

ForestProgress::~ForestProgress() { clear(); }

std::function<void()> ForestProgress::callback() {
    if (stream_ == nullptr) return {};
    return [this] { treeGrown(); };
}

void ForestProgress::treeGrown() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++grown_;
    const Clock::time_point now = Clock::now();
    if (now < nextDraw_) return;
    nextDraw_ = now + kInterval;
    const double elapsed = std::chrono::duration<double>(now - start_).count();
    std::fprintf(stream_, "\r%s\x1b[K", formatForestProgress(grown_, total_, elapsed).c_str());
    std::fflush(stream_);
    drawn_ = true;
}

void ForestProgress::clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!drawn_) return;
    std::fputs("\r\x1b[K", stream_);
    std::fflush(stream_);
    drawn_ = false;
}
