#include "io/ResultsFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <string>
#include <utility>

#include "io/Fail.h"
#include "io/FileFormats.h"

namespace {

// Appends printf-formatted text to `out`.
void appendFormatted(std::string& out, const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    if (length > 0) {
        std::size_t old = out.size();
        out.resize(old + static_cast<std::size_t>(length) + 1);
        std::vsnprintf(&out[old], static_cast<std::size_t>(length) + 1, format, again);
        out.resize(old + static_cast<std::size_t>(length));
    }
    va_end(again);
}

constexpr char kCannotOpen[] = "Error opening outfile\n";

// The folder in which `path` names an entry ("." for a bare name).
std::string folderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

}  // namespace

std::string formatResultsRow(double My, double TimeToOri, double PopSizeOriTha,
                             double PopSizePreTha, double PopSizeOriSue, double PopSizePreSue,
                             double FracSueMono, double DS, int numbAccepted) {
    std::string text;
    if (numbAccepted == 1) {
        appendFormatted(text, "%-8s", "Rep#");
        for (const char* column : estimatedColumnNames) appendFormatted(text, "%-15s", column);
        appendFormatted(text, "%-15s", "DS");
        appendFormatted(text, "%s\n\n", "");
    }
    appendFormatted(text, "%-8d", numbAccepted);
    for (double value : {My, TimeToOri, PopSizeOriTha, PopSizePreTha, PopSizeOriSue, PopSizePreSue})
        appendFormatted(text, "%-15.2e", value);
    appendFormatted(text, "%-15.5f", FracSueMono);
    appendFormatted(text, "%-15.2e", DS);
    appendFormatted(text, "%s\n", "");
    return text;
}

ResultsWriter::ResultsWriter(std::string outfileName) : name_(std::move(outfileName)) {
    // Without O_NONBLOCK, opening a named pipe that no program reads would
    // wait for ever; so it fails (ENXIO) like any file that cannot be opened.
    fd_ = open(name_.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NONBLOCK);
    if (fd_ >= 0) {
        const int flags = fcntl(fd_, F_GETFL);
        if (flags < 0 || fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK) != 0) fail(kCannotOpen);
        lockOrFail();
        return;
    }
    // A missing file is created at the first row; until then, only the place
    // for it is checked (a folder that exists and takes new entries). A
    // symbolic link to nothing is refused: where it would create the file is
    // not where the name says, and mostly a folder since removed.
    struct stat entry;
    if (errno != ENOENT || name_.empty() ||
        (lstat(name_.c_str(), &entry) == 0 && S_ISLNK(entry.st_mode)))
        fail(kCannotOpen);
    const std::string folder = folderOf(name_);
    struct stat info;
    if (stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) ||
        access(folder.c_str(), W_OK | X_OK) != 0)
        fail(kCannotOpen);
}

ResultsWriter::~ResultsWriter() {
    if (fd_ >= 0) ::close(fd_);
}

void ResultsWriter::openForFirstAppend() {
    fd_ = open(name_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd_ < 0) fail(kCannotOpen);
    lockOrFail();
}

void ResultsWriter::lockOrFail() {
    int locked;
    do {
        locked = flock(fd_, LOCK_EX | LOCK_NB);
    } while (locked != 0 && errno == EINTR);
    // A file system without locks (flock fails otherwise) is written as
    // before, unguarded: nothing better can be done there.
    if (locked != 0 && errno == EWOULDBLOCK)
        fail("error: results file " + name_ +
             " is being written by another run; give each run its own OUTFILE_NAME\n");
}

bool ResultsWriter::endsInCutLine() const {
    struct stat info;
    if (fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size == 0) return false;
    // The run's descriptor is open for writing only; the last byte is read
    // through a second one, after making sure that it reaches the same file.
    const int reader = open(name_.c_str(), O_RDONLY | O_CLOEXEC);
    if (reader < 0) return false;
    struct stat same;
    char last = '\n';
    if (fstat(reader, &same) == 0 && same.st_dev == info.st_dev && same.st_ino == info.st_ino &&
        pread(reader, &last, 1, info.st_size - 1) != 1)
        last = '\n';
    ::close(reader);
    return last != '\n';
}

void ResultsWriter::appendRow(double My, double TimeToOri, double PopSizeOriTha,
                              double PopSizePreTha, double PopSizeOriSue, double PopSizePreSue,
                              double FracSueMono, double DS, int numbAccepted) {
    appendBlock(formatResultsRow(My, TimeToOri, PopSizeOriTha, PopSizePreTha, PopSizeOriSue,
                                 PopSizePreSue, FracSueMono, DS, numbAccepted));
}

void ResultsWriter::appendBlock(const std::string& bytes) {
    if (fd_ < 0) openForFirstAppend();
    // Under the lock: no other run can end the file between this look and the
    // write below.
    const std::string fresh = !appended_ && endsInCutLine() ? "\n" : "";
    const std::string text = fresh + bytes;

    struct stat before;
    const bool regular = fstat(fd_, &before) == 0 && S_ISREG(before.st_mode);
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t written = write(fd_, text.data() + done, text.size() - done);
        if (written > 0) {
            done += static_cast<std::size_t>(written);
        } else if (!(written < 0 && errno == EINTR)) {
            // Take back a partial block (a full disk), so that the file keeps
            // only complete rows. The lock makes every byte past `before`
            // this run's own.
            if (done > 0 && regular && ftruncate(fd_, before.st_size) != 0) {
                // Nothing more can be done; the message below still reports it.
            }
            fail("error: printOutfile: cannot write " + name_ + "\n");
        }
    }
    appended_ = true;
}

void ResultsWriter::sync() {
    if (fd_ >= 0 && fsync(fd_) != 0 && errno != EINVAL)
        fail("error: printOutfile: cannot write " + name_ + "\n");
}

void ResultsWriter::close() {
    if (fd_ < 0) return;
    const int closed = ::close(fd_);
    fd_ = -1;
    if (closed != 0) fail("error: printOutfile: cannot write " + name_ + "\n");
}

void printOutfile(double My, double TimeToOri, double PopSizeOriTha, double PopSizePreTha,
                  double PopSizeOriSue, double PopSizePreSue, double FracSueMono, double DS,
                  int numbAccepted, const char* outfileName) {
    ResultsWriter writer(outfileName);
    writer.appendRow(My, TimeToOri, PopSizeOriTha, PopSizePreTha, PopSizeOriSue, PopSizePreSue,
                     FracSueMono, DS, numbAccepted);
    writer.close();
}
