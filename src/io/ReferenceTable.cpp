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
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "base/Fail.h"
#include "io/InputFile.h"
#include "sim/Columns.h"

namespace {

bool endsWith(const std::string& text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// Ends the run with the reason of the failed call (errno), when it left one.
[[noreturn]] void failWriting(const std::string& path) {
    const int reason = errno;
    fail("error: table: cannot write " + path +
         (reason != 0 ? " (" + std::string(std::strerror(reason)) + ")" : "") + "\n");
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
                    double fracSueMono, const TableStatistics& stats, double DS, bool accepted,
                    const double* gsmP) {
    char text[24];
    out.append(text, std::to_chars(text, text + sizeof text, sim).ptr);
    for (double value : params) {
        out += '\t';
        appendTableNumber(out, value);
    }
    if (gsmP != nullptr) {
        out += '\t';
        appendTableNumber(out, *gsmP);
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

ReferenceTableWriter::ReferenceTableWriter(std::string path, std::size_t blockBytes, bool withGsmP)
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
    pending_ += tableHeader(withGsmP);
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
            const int reason = errno;
            struct stat st;
            if (fstat(fd_, &st) == 0 && S_ISREG(st.st_mode) && ftruncate(fd_, written_) != 0) {
                // Nothing more can be done; the message still reports it.
            }
            errno = reason;
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

// The columns of a table holding the first `numbStats` statistics, with or
// without GsmP.
std::vector<std::string> expectedHeader(std::size_t numbStats, bool withGsmP) {
    std::vector<std::string> names = {"sim"};
    names.insert(names.end(), paramColumnNames.begin(), paramColumnNames.end());
    if (withGsmP)
        names.insert(names.begin() + 1 + static_cast<std::ptrdiff_t>(numbDrawnParams),
                     gsmPColumnName);
    names.insert(names.end(), tableStatNames.begin(), tableStatNames.begin() + numbStats);
    names.push_back("DS");
    names.push_back("accepted");
    return names;
}

// Turns the lines of a table into its columns.
class TableParser {
  public:
    explicit TableParser(std::string path) : path_(std::move(path)) {}

    // Takes one complete line (without its "\n"); false on error.
    bool line(std::string_view text) {
        ++lineNumber_;
        text = withoutCarriageReturn(text);
        if (text.empty()) return true;
        std::vector<std::string_view> fields = splitTabs(text);
        if (!sawHeader_) {
            sawHeader_ = true;
            // A header that names GsmP is judged as one with it, and one that
            // names a later statistic as one with all of them, so that a fault
            // elsewhere is named against the columns meant.
            withGsmP_ = std::find(fields.begin(), fields.end(), gsmPColumnName) != fields.end();
            numbStats_ = statisticsInHeader(fields);
            read_.table.numbStats = numbStats_;
            header_ = expectedHeader(numbStats_, withGsmP_);
            std::string problem = headerProblem(fields, header_);
            if (!problem.empty()) return fail("not the header of a reference table: " + problem);
            read_.table.hasGsmP = withGsmP_;
            return true;
        }
        const std::size_t numbColumns = header_.size();
        if (fields.size() != numbColumns)
            return fail("row has " + std::to_string(fields.size()) + " of " +
                        std::to_string(numbColumns) + " fields");
        long sim = 0;
        auto [simEnd, simError] =
            std::from_chars(fields[0].data(), fields[0].data() + fields[0].size(), sim);
        if (simError != std::errc() || simEnd != fields[0].data() + fields[0].size() || sim < 1)
            return fail("'sim' is not a positive whole number: '" + std::string(fields[0]) + "'");
        if (fields.back() != "0" && fields.back() != "1")
            return fail("'accepted' is neither 0 nor 1: '" + std::string(fields.back()) + "'");
        // The parameters (GsmP among them when the table has it), the
        // statistics and DS, which is checked but not kept; the statistics an
        // older table lacks are not numbers.
        const std::size_t numbParams = numbParamColumns + (withGsmP_ ? 1 : 0);
        double values[numbParamColumns + 1 + numbTableStats + 1];
        for (std::size_t j = 0; j + 3 < numbColumns; ++j) {
            if (!parseTableNumber(fields[1 + j], values[j]))
                return fail("column '" + header_[1 + j] + "' is not a number: '" +
                            std::string(fields[1 + j]) + "'");
            if (j < numbParams && !std::isfinite(values[j]))
                return fail("parameter '" + header_[1 + j] + "' is not finite");
        }
        read_.table.sim.push_back(sim);
        std::size_t at = 0;
        for (std::size_t c = 0; c < numbParamColumns; ++c) {
            if (withGsmP_ && c == numbDrawnParams)
                read_.table.params[gsmPSlot].push_back(values[at++]);
            read_.table.params[c].push_back(values[at++]);
        }
        for (std::size_t j = 0; j < numbTableStats; ++j)
            read_.table.stats[j].push_back(j < numbStats_ ? values[at++] : std::nan(""));
        return true;
    }

    // A last line without its line end: left out.
    void cutShort() {
        read_.warnings.push_back(path_ + ":" + std::to_string(lineNumber_ + 1) +
                                 ": last line has no line end (cut short?); line skipped");
    }

    void warn(const std::string& message) { read_.warnings.push_back(path_ + ": " + message); }

    // An error of the file as a whole (it cannot be read), not of a line.
    void failReading(const std::string& reason) {
        read_.error = path_ + ": cannot read: " + reason;
    }

    bool fail(const std::string& message) {
        read_.error = path_ + ":" + std::to_string(lineNumber_) + ": " + message;
        return false;
    }

    TableRead finish() {
        if (read_.error.empty() && !sawHeader_) read_.error = path_ + ": empty file (no header)";
        if (!read_.error.empty()) read_.table = ReferenceTable{};
        return std::move(read_);
    }

  private:
    std::string path_;
    std::size_t lineNumber_ = 0;
    bool sawHeader_ = false;
    bool withGsmP_ = false;                   // the header has GsmP
    std::size_t numbStats_ = numbTableStats;  // the statistics of the header read
    std::vector<std::string> header_;          // its columns
    TableRead read_;
};

struct GzCloser {
    void operator()(gzFile_s* f) const { gzclose(f); }
};

}  // namespace

TableRead readReferenceTable(const std::string& path) {
    if (std::string problem = directoryProblem(path); !problem.empty()) {
        TableRead failed;
        failed.error = std::move(problem);
        return failed;
    }
    // zlib reads plain files unchanged, so one reader serves both kinds.
    errno = 0;
    std::unique_ptr<gzFile_s, GzCloser> file(gzopen(path.c_str(), "rb"));
    if (!file) {
        TableRead failed;
        failed.error = "cannot open reference table '" + path + "'" +
                       (errno ? std::string(": ") + std::strerror(errno) : "");
        return failed;
    }
    gzbuffer(file.get(), 1 << 17);

    TableParser parser(path);
    std::string pending;
    std::vector<char> chunk(1 << 20);
    while (true) {
        int got = gzread(file.get(), chunk.data(), static_cast<unsigned>(chunk.size()));
        if (got < 0) {
            int code = 0;
            const char* message = gzerror(file.get(), &code);
            parser.failReading(code == Z_ERRNO ? std::strerror(errno) : message);
            return parser.finish();
        }
        if (got == 0) break;
        pending.append(chunk.data(), static_cast<std::size_t>(got));
        std::size_t start = 0;
        for (std::size_t end; (end = pending.find('\n', start)) != std::string::npos;
             start = end + 1) {
            if (!parser.line(std::string_view(pending).substr(start, end - start)))
                return parser.finish();
        }
        pending.erase(0, start);
    }
    int code = Z_OK;
    const char* message = gzerror(file.get(), &code);
    if (code == Z_BUF_ERROR) {
        parser.warn("compressed data end early (cut short?); the rows before are used");
    } else if (code != Z_OK) {
        parser.failReading(message);
        return parser.finish();
    }
    if (!pending.empty()) parser.cutShort();
    return parser.finish();
}
