#include "cluster/ShardFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace {

constexpr std::size_t kReadBlock = 1 << 16;

bool startsWith(const std::string& text, const char* prefix) {
    return text.compare(0, std::strlen(prefix), prefix) == 0;
}

// A whole decimal number, all of `text`.
template <typename T>
bool parseWhole(const std::string& text, T& value, int base = 10) {
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value, base);
    return !text.empty() && error == std::errc() && stop == end;
}

// "A B" as two whole numbers.
template <typename T>
bool parsePair(const std::string& text, T& a, T& b) {
    const std::size_t space = text.find(' ');
    return space != std::string::npos && parseWhole(text.substr(0, space), a) &&
           parseWhole(text.substr(space + 1), b);
}

}  // namespace

std::string hex64(uint64_t value) {
    char text[17];
    std::snprintf(text, sizeof text, "%016" PRIx64, value);
    return text;
}

uint64_t fileIdentity(const struct stat& info) {
    Fnv id;
    for (auto v :
         {static_cast<int64_t>(info.st_dev), static_cast<int64_t>(info.st_ino),
          static_cast<int64_t>(info.st_size), static_cast<int64_t>(info.st_mtim.tv_sec),
          static_cast<int64_t>(info.st_mtim.tv_nsec), static_cast<int64_t>(info.st_ctim.tv_sec),
          static_cast<int64_t>(info.st_ctim.tv_nsec)})
        id.addValue(v);
    return id.value();
}

std::string shardHeaderText(const ShardHeader& h) {
    return std::string(kShardMagic) + "\nseed " + std::to_string(h.seed) + "\nshard " +
           std::to_string(h.K) + " " + std::to_string(h.M) + "\nrange " + std::to_string(h.first) +
           " " + std::to_string(h.last) + "\nfingerprint " + hex64(h.fingerprint) + "\nmodel " +
           (h.model == ModelVersion::legacy ? "legacy" : "current") + "\ntable " + h.table +
           "\ndata\n";
}

ShardReader::ShardReader(const std::string& path) {
    // Non-blocking, so that opening a FIFO returns at once; fstat then tells
    // what was opened, and anything but a regular file is refused unread.
    fd_ = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        stop(std::string("cannot be read (") + std::strerror(errno) + ")");
        return;
    }
    struct stat info;
    if (fstat(fd_, &info) != 0) {
        stop(std::string("cannot be read (") + std::strerror(errno) + ")");
        return;
    }
    if (!S_ISREG(info.st_mode)) {
        stop("is not a regular file");
        return;
    }
    identity_ = fileIdentity(info);

    std::string line;
    if (!readLine(line)) return;
    if (line == kShardMagicV1) {
        stop("was written by an earlier version of foundabc");
        return;
    }
    if (line != kShardMagic) {
        stop("is not a shard file");
        return;
    }
    const char* keys[] = {"seed ", "shard ", "range ", "fingerprint ", "model ", "table "};
    std::string value[6];
    for (int i = 0; i < 6; ++i) {
        if (!readLine(line)) return;
        if (!startsWith(line, keys[i])) {
            stop("is not a shard file");
            return;
        }
        value[i] = line.substr(std::strlen(keys[i]));
    }
    if (!readLine(line)) return;
    ShardHeader& h = header_;
    if (line != "data" || !parseWhole(value[0], h.seed) || !parsePair(value[1], h.K, h.M) ||
        !parsePair(value[2], h.first, h.last) || !parseWhole(value[3], h.fingerprint, 16) ||
        (value[4] != "current" && value[4] != "legacy")) {
        stop("is not a shard file");
        return;
    }
    h.model = value[4] == "legacy" ? ModelVersion::legacy : ModelVersion::current;
    h.table = value[5];
}

ShardReader::~ShardReader() {
    if (fd_ >= 0) ::close(fd_);
}

bool ShardReader::stop(const std::string& why) {
    if (problem_.empty()) problem_ = why;
    return false;
}

// The next line, without its line end, added to the checksum with it. A last
// line without a line end is a file cut short.
bool ShardReader::readLine(std::string& line) {
    if (!problem_.empty()) return false;
    line.clear();
    for (;;) {
        const std::size_t end = buffer_.find('\n', pos_);
        if (end != std::string::npos) {
            line.append(buffer_, pos_, end - pos_);
            checksum_.add(buffer_.data() + pos_, end + 1 - pos_);
            pos_ = end + 1;
            return true;
        }
        line.append(buffer_, pos_, std::string::npos);
        checksum_.add(buffer_.data() + pos_, buffer_.size() - pos_);
        buffer_.resize(kReadBlock);
        pos_ = 0;
        ssize_t got;
        do {
            got = ::read(fd_, &buffer_[0], kReadBlock);
        } while (got < 0 && errno == EINTR);
        if (got < 0) {
            buffer_.clear();
            return stop(std::string("cannot be read (") + std::strerror(errno) + ")");
        }
        buffer_.resize(static_cast<std::size_t>(got));
        if (got == 0) {
            eof_ = true;
            return stop("is incomplete");
        }
    }
}

bool ShardReader::next(char& kind, std::string& line) {
    if (ended_ || !problem_.empty()) return false;
    const uint64_t before = checksum_.value();
    if (!readLine(line)) return false;
    if (startsWith(line, "end ")) {
        ended_ = true;
        int64_t consumed = 0, rows = 0;
        const std::string rest = line.substr(4);
        const std::size_t space = rest.rfind(' ');
        if (space == std::string::npos || !parsePair(rest.substr(0, space), consumed, rows) ||
            rows != rows_ || consumed != header_.last - header_.first ||
            rest.substr(space + 1) != hex64(before))
            return stop("is damaged (its rows do not match its closing line)");
        // Nothing may follow the closing line.
        std::string after;
        if (readLine(after) || !after.empty()) {
            problem_.clear();
            return stop("is damaged (bytes after its closing line)");
        }
        if (eof_) problem_.clear();  // the file ends there, as it must
        return false;
    }
    if (line.size() < 2 || line[1] != '\t' || (line[0] != 'R' && line[0] != 'T'))
        return stop("is damaged");
    kind = line[0];
    if (kind == 'R') ++rows_;
    line.erase(0, 2);
    return true;
}

bool lockedByOther(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    int locked;
    do {
        locked = flock(fd, LOCK_EX | LOCK_NB);
    } while (locked != 0 && errno == EINTR);
    const bool held = locked != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return held;
}
