#include "run/Progress.h"

#include <unistd.h>

#include <cmath>

#include "base/Fail.h"

namespace {

// Time between two redraws, at least.
constexpr auto kInterval = std::chrono::milliseconds(250);

// The line on the terminal now, cleared before an error message is written.
ProgressLine* activeLine = nullptr;
void clearActiveLine() {
    if (activeLine != nullptr) activeLine->clear();
}

std::string formatDuration(double seconds) {
    if (!std::isfinite(seconds) || seconds < 0) return "?";
    long s = std::lround(seconds);
    char buf[32];
    if (s >= 3600)
        std::snprintf(buf, sizeof buf, "%ldh%02ldm", s / 3600, (s / 60) % 60);
    else if (s >= 60)
        std::snprintf(buf, sizeof buf, "%ldm%02lds", s / 60, s % 60);
    else
        std::snprintf(buf, sizeof buf, "%lds", s);
    return buf;
}

// Seconds with a tenth below a minute (runs are often that short), else as the
// time left is shown.
std::string formatElapsed(double seconds) {
    if (!std::isfinite(seconds) || seconds < 0) return "?";
    if (seconds >= 59.95) return formatDuration(seconds);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1fs", seconds);
    return buf;
}

}  // namespace

std::string formatFinish(long repeats, long accepted, const std::string& outfileName,
                         const std::string& tableName, double elapsedSeconds) {
    std::string line = std::to_string(repeats) + (repeats == 1 ? " repeat, " : " repeats, ");
    if (outfileName.empty())
        line += "no results file written (a run from a sample makes its table only)";
    else if (accepted == 0)
        line += "no row accepted; no results file written";
    else
        line += std::to_string(accepted) + (accepted == 1 ? " row" : " rows") +
                " accepted and appended to " + outfileName;
    if (!tableName.empty()) line += "; every repeat written to the reference table " + tableName;
    return line + " (" + formatElapsed(elapsedSeconds) + ")";
}

std::string formatShardFinish(long repeats, long accepted, const std::string& shardFile,
                              double elapsedSeconds) {
    return std::to_string(repeats) + (repeats == 1 ? " repeat, " : " repeats, ") +
           std::to_string(accepted) + (accepted == 1 ? " row" : " rows") +
           " accepted, written to the shard " + shardFile + " (" + formatElapsed(elapsedSeconds) +
           ")";
}

std::string formatProgress(long done, long total, long accepted, double elapsedSeconds) {
    const double rate = elapsedSeconds > 0 ? done / elapsedSeconds : 0.0;
    const double left = rate > 0 ? (total - done) / rate : NAN;
    const double percent = total > 0 ? 100.0 * done / total : 100.0;
    char buf[160];
    std::snprintf(buf, sizeof buf,
                  "%ld/%ld repeats (%.1f%%), %ld accepted, %.0f repeats/s, %s left", done, total,
                  percent, accepted, rate, formatDuration(left).c_str());
    return buf;
}

ProgressLine::ProgressLine(long total, std::FILE* stream)
    : total_(total),
      finalStream_(stream),
      stream_(stream != nullptr && isatty(fileno(stream)) ? stream : nullptr),
      start_(Clock::now()),
      nextDraw_(start_) {
    if (stream_ != nullptr) {
        activeLine = this;
        setFailureHook(clearActiveLine);
    }
}

ProgressLine::~ProgressLine() {
    clear();
    if (activeLine == this) {
        activeLine = nullptr;
        setFailureHook(nullptr);
    }
}

void ProgressLine::clear() {
    if (!drawn_) return;
    std::fputs("\r\x1b[K", stream_);
    std::fflush(stream_);
    drawn_ = false;
}

void ProgressLine::update(long done, long accepted) {
    accepted_ = accepted;
    if (stream_ == nullptr) return;
    const Clock::time_point now = Clock::now();
    if (now < nextDraw_) return;
    nextDraw_ = now + kInterval;
    const double elapsed = std::chrono::duration<double>(now - start_).count();
    std::fprintf(stream_, "\r%s\x1b[K", formatProgress(done, total_, accepted, elapsed).c_str());
    std::fflush(stream_);
    drawn_ = true;
}

void ProgressLine::finish(const std::string& outfileName, const std::string& tableName) {
    const double elapsed = std::chrono::duration<double>(Clock::now() - start_).count();
    writeFinal(formatFinish(total_, accepted_, outfileName, tableName, elapsed));
}

void ProgressLine::finishShard(const std::string& shardFile) {
    const double elapsed = std::chrono::duration<double>(Clock::now() - start_).count();
    writeFinal(formatShardFinish(total_, accepted_, shardFile, elapsed));
}

void ProgressLine::writeFinal(const std::string& line) {
    if (finalStream_ == nullptr) return;
    if (stream_ != nullptr)
        std::fprintf(stream_, "\r%s\x1b[K\n", line.c_str());
    else
        std::fprintf(finalStream_, "%s\n", line.c_str());
    std::fflush(finalStream_);
    drawn_ = false;
}
