#include "io/ReferenceTable.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <utility>

#include "io/Fail.h"

namespace {

bool endsWith(const std::string& text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

[[noreturn]] void failWriting(const std::string& path) {
    fail("error: table: cannot write " + path + "\n");
}

int openTruncating(const std::string& path) {
    int fd;
    do {
        fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// Forces `fd` to the disk; a descriptor that cannot be synced (a device, a
// pipe: EINVAL) has nothing to force.
bool syncFile(int fd) { return fsync(fd) == 0 || errno == EINVAL; }

// The folder in which `path` names an entry ("." for a bare name).
std::string folderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Writes all of `data` to `fd`, continuing after short writes; false on error.
bool writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

}  // namespace

void appendTableRow(std::string& out, int64_t sim, const std::array<double, 6>& params,
                    double fracSueMono, const TableStatistics& stats, double DS, bool accepted) {
    char text[24];
    out.append(text, std::to_chars(text, text + sizeof text, sim).ptr);
    for (double value : params) {
        out += '\t';
        appendTableNumber(out, value);
    }
    out += '\t';
    appendTableNumber(out, fracSueMono);
    for (double value : stats.values()) {
        out += '\t';
        appendTableNumber(out, value);
    }
    out += '\t';
    appendTableNumber(out, DS);
    out += accepted ? "\t1\n" : "\t0\n";
}

std::string formatTableRow(int64_t sim, const std::array<double, 6>& params, double fracSueMono,
                           const TableStatistics& stats, double DS, bool accepted) {
    std::string row;
    appendTableRow(row, sim, params, fracSueMono, stats, DS, accepted);
    return row;
}

ReferenceTableWriter::ReferenceTableWriter(std::string path, std::size_t blockBytes)
    : path_(std::move(path)), lock_(path_), blockBytes_(std::max<std::size_t>(blockBytes, 1)) {
    const int fd = openTruncating(path_);
    if (fd < 0) failWrite();
    if (endsWith(path_, ".gz")) {
        // zlib closes the descriptor it is given; a second one stays open
        // to sync the file after the stream has ended.
        gzFd_ = fcntl(fd, F_DUPFD_CLOEXEC, 0);
        if (gzFd_ < 0) {
            ::close(fd);
            failWrite();
        }
        // Fastest deflate level: the table's digits are nearly random, and on
        // them level 1 took a fifth of the CPU time of the default level 6
        // (about 12 against 60 microseconds per row) for a file only 6 %
        // larger; at the default level the compression alone would cost more
        // than the statistics on small data sets.
        gz_ = gzdopen(fd, "wb1");
        if (gz_ == nullptr) {
            ::close(fd);
            ::close(std::exchange(gzFd_, -1));
            failWrite();
        }
        // zlib's own buffer as large as a block, so that a block is compressed
        // in one go.
        gzbuffer(gz_, static_cast<unsigned>(std::min<std::size_t>(blockBytes_, 1u << 20)));
    } else {
        fd_ = fd;
    }
    pending_.reserve(blockBytes_ + 1024);
    // The header goes out at once: a file that cannot be written is reported
    // before the first simulation.
    pending_ += tableHeader();
    flush();
}

ReferenceTableWriter::~ReferenceTableWriter() { close(); }

ReferenceTableWriter::ReferenceTableWriter(ReferenceTableWriter&& other) noexcept
    : path_(std::move(other.path_)),
      lock_(std::move(other.lock_)),
      blockBytes_(other.blockBytes_),
      pending_(std::move(other.pending_)),
      fd_(std::exchange(other.fd_, -1)),
      gz_(std::exchange(other.gz_, nullptr)),
      gzFd_(std::exchange(other.gzFd_, -1)),
      written_(other.written_) {}

ReferenceTableWriter& ReferenceTableWriter::operator=(ReferenceTableWriter&& other) noexcept {
    if (this != &other) {
        close();
        path_ = std::move(other.path_);
        lock_ = std::move(other.lock_);
        blockBytes_ = other.blockBytes_;
        pending_ = std::move(other.pending_);
        fd_ = std::exchange(other.fd_, -1);
        gz_ = std::exchange(other.gz_, nullptr);
        gzFd_ = std::exchange(other.gzFd_, -1);
        written_ = other.written_;
    }
    return *this;
}

void ReferenceTableWriter::writeRow(int64_t sim, const std::array<double, 6>& params,
                                    double fracSueMono, const TableStatistics& stats, double DS,
                                    bool accepted) {
    appendTableRow(pending_, sim, params, fracSueMono, stats, DS, accepted);
    if (pending_.size() >= blockBytes_) flush();
}

void ReferenceTableWriter::writeRows(std::string_view rows) {
    if (rows.size() >= blockBytes_) {
        // A large piece goes on as it is, after the rows before it.
        flush();
        writeBlock(rows);
        return;
    }
    pending_.append(rows.data(), rows.size());
    if (pending_.size() >= blockBytes_) flush();
}

void ReferenceTableWriter::flush() {
    if (pending_.empty()) return;
    writeBlock(pending_);
    pending_.clear();
}

void ReferenceTableWriter::writeBlock(std::string_view block) {
    if (fd_ >= 0) {
        if (!writeAll(fd_, block)) {
            // Take back a partly written block, so that the file keeps only
            // whole rows.
            struct stat st;
            if (fstat(fd_, &st) == 0 && S_ISREG(st.st_mode) && ftruncate(fd_, written_) != 0) {
                // Nothing more can be done; the message still reports it.
            }
            failWrite();
        }
        written_ += static_cast<int64_t>(block.size());
    } else if (gz_ != nullptr) {
        while (!block.empty()) {
            const unsigned piece =
                static_cast<unsigned>(std::min<std::size_t>(block.size(), INT_MAX / 2));
            if (gzwrite(gz_, block.data(), piece) != static_cast<int>(piece)) failWrite();
            block.remove_prefix(piece);
        }
        if (gzflush(gz_, Z_SYNC_FLUSH) != Z_OK) failWrite();
    }
}

void ReferenceTableWriter::close() {
    if (fd_ < 0 && gz_ == nullptr) return;
    flush();
    if (fd_ >= 0) {
        const int fd = std::exchange(fd_, -1);
        const bool synced = syncFile(fd);
        if (::close(fd) != 0 || !synced) failWriting(path_);
    } else {
        gzFile gz = std::exchange(gz_, nullptr);
        const int fd = std::exchange(gzFd_, -1);
        const bool ended = gzclose(gz) == Z_OK;
        const bool synced = ended && syncFile(fd);
        if (::close(fd) != 0 || !synced) failWriting(path_);
    }
}

void ReferenceTableWriter::failWrite() {
    // The file is left as it is; fail() ends the process.
    failWriting(path_);
}

namespace {

// Writes `text` as the whole of file `path` (created or truncated), synced.
void writeSmallFile(const std::string& path, const std::string& text) {
    const int fd = openTruncating(path);
    if (fd < 0) failWriting(path);
    const bool ok = writeAll(fd, text) && syncFile(fd);
    if (::close(fd) != 0 || !ok) failWriting(path);
}

}  // namespace

void writeObservedStatistics(const std::string& tablePath, const TableStatistics& observed) {
    writeSmallFile(observedStatisticsPath(tablePath), formatObservedStatistics(observed.values()));
}

TablePriors tablePriors(const params& p) {
    const bool logUniform = p.prior_distribution == 1;
    const std::array<std::pair<double, double>, numbDrawnParams> bounds = {{
        {p.my_lower, p.my_upper},
        {p.time_to_origin_lower, p.time_to_origin_upper},
        {p.popsize_origin_tha_lower, p.popsize_origin_tha_upper},
        {p.popsize_present_tha_lower, p.popsize_present_tha_upper},
        {p.popsize_origin_sue_lower, p.popsize_origin_sue_upper},
        {p.popsize_present_sue_lower, p.popsize_present_sue_upper},
    }};
    TablePriors priors;
    for (std::size_t c = 0; c < numbDrawnParams; ++c) {
        // The draws turn a log10 value x into std::pow(10.0, x): the bounds are
        // turned the same way, so that a draw at a bound equals it exactly.
        const auto natural = [&](double x) { return logUniform ? std::pow(10.0, x) : x; };
        priors[c] = {logUniform, natural(bounds[c].first), natural(bounds[c].second)};
    }
    return priors;
}

void writePriors(const std::string& tablePath, const params& p) {
    PriorsFile file;
    file.priors = tablePriors(p);
    writeSmallFile(priorsPath(tablePath), formatPriors(file));
}

std::string priorsTemporaryPath(const std::string& tablePath) {
    return priorsPath(tablePath) + ".new";
}

void completePriors(const std::string& tablePath, const params& p, long long simulations) {
    PriorsFile file;
    file.priors = tablePriors(p);
    file.complete = true;
    file.simulations = simulations;
    const std::string path = priorsPath(tablePath), temporary = priorsTemporaryPath(tablePath);
    writeSmallFile(temporary, formatPriors(file));
    if (std::rename(temporary.c_str(), path.c_str()) != 0) failWriting(path);
    // The rename itself reaches the disk with the folder.
    const int folder = open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const bool synced = folder >= 0 && syncFile(folder);
    if (folder >= 0) ::close(folder);
    if (!synced) failWriting(path);
}
