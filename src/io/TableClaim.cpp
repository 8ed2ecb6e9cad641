#include "io/TableClaim.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "base/Fail.h"
#include "io/FinishedFile.h"
#include "io/ObservedFile.h"
#include "io/PriorsFile.h"
#include "io/ReferenceTable.h"
#include "io/TableFormat.h"

namespace {

// `path` with its folder resolved (symbolic links, "." and ".."), so that two
// names of a file that does not exist yet compare equal; `path` itself when
// its folder cannot be resolved.
std::string resolvedName(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::string folder =
        slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    char resolved[PATH_MAX];
    if (base.empty() || base == "." || base == ".." ||
        realpath(folder.c_str(), resolved) == nullptr)
        return path;
    return std::string(resolved) + "/" + base;
}

}  // namespace

bool sameFile(const std::string& a, const std::string& b) {
    struct stat first, second;
    if (stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0)
        return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
    return a == b || resolvedName(a) == resolvedName(b);
}

std::string tableOverOtherFiles(const std::string& tablePath,
                                const std::vector<ProtectedFile>& others) {
    const std::vector<ProtectedFile> outputs = {
        {"reference table", tablePath},
        {"observed statistics file", observedStatisticsPath(tablePath)},
        {"priors file", priorsPath(tablePath)},
        {"temporary priors file", priorsTemporaryPath(tablePath)}};
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        const ProtectedFile& output = outputs[i];
        // The table's own files one against another (through links), then
        // against the files the run reads or appends to.
        std::vector<ProtectedFile> against(outputs.begin(), outputs.begin() + i);
        against.insert(against.end(), others.begin(), others.end());
        for (const ProtectedFile& other : against)
            if (sameFile(output.path, other.path))
                return "error: table: the " + output.role + " " + output.path +
                       (i == 0 ? "" : " (of --table " + tablePath + ")") + " is the " +
                       other.role + " " + other.path + "; choose another --table name\n";
    }
    return "";
}

void refuseTableOverOtherFiles(const std::string& tablePath,
                               const std::vector<ProtectedFile>& others) {
    const std::string message = tableOverOtherFiles(tablePath, others);
    if (!message.empty()) fail(message);
}

TableLock::TableLock(const std::string& tablePath) {
    // Not truncated: a refused run must leave the other run's table whole.
    // Non-blocking, so that a FIFO without a reader is refused, not waited on.
    do {
        fd_ = open(tablePath.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
    } while (fd_ < 0 && errno == EINTR);
    if (fd_ < 0)
        fail("error: table: cannot write " + tablePath + " (" +
             (errno == ELOOP ? tooManyLinks(tablePath) : std::string(std::strerror(errno))) +
             ")\n");
    struct stat info;
    if (fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) return;
    int locked;
    do {
        locked = flock(fd_, LOCK_EX | LOCK_NB);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0 && errno == EWOULDBLOCK)
        fail("error: table: " + tablePath +
             " is being written by another run; give each run its own --table\n");
}

TableLock::~TableLock() {
    if (fd_ >= 0) ::close(fd_);
}

TableLock::TableLock(TableLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

TableLock& TableLock::operator=(TableLock&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

std::vector<ProtectedFile> runInputs(const std::string& paramsFile, const params& p) {
    return {{"parameter file", paramsFile},
            {"data file", p.datafile_name},
            {"results file", p.outfile_name}};
}
