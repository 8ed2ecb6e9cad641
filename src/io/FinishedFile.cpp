#include "io/FinishedFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "io/SyncFile.h"

FinishedFile::FinishedFile(std::string path) : path_(std::move(path)) {
    const std::size_t slash = path_.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : path_.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path_ : path_.substr(slash + 1);
    std::string pattern = folder + "." + name + ".XXXXXX";
    fd_ = mkstemp(pattern.data());
    if (fd_ < 0) {
        error_ = std::strerror(errno);
        return;
    }
    // mkstemp makes the file private; the finished file gets the permissions
    // a newly created file would have.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd_, 0666 & ~mask);
    temporary_ = pattern;
}

FinishedFile::~FinishedFile() {
    if (fd_ >= 0) close(fd_);
    if (!temporary_.empty() && !committed_) unlink(temporary_.c_str());
}

bool FinishedFile::write(const std::string& text) {
    if (fd_ < 0 || !error_.empty()) return false;
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd_, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error_ = n < 0 ? std::strerror(errno) : "nothing written";
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool FinishedFile::commit(bool replace) {
    if (fd_ < 0 || !error_.empty()) return false;
    const bool synced = fsync(fd_) == 0 || errno == EINVAL;
    const int syncErrno = errno;
    const bool closed = close(fd_) == 0;
    fd_ = -1;
    if (!synced || !closed) {
        error_ = std::strerror(synced ? errno : syncErrno);
        return false;
    }
    if (replace) {
        if (std::rename(temporary_.c_str(), path_.c_str()) != 0) {
            error_ = std::strerror(errno);
            return false;
        }
    } else {
        // A hard link is made only where no file has the name: the check and
        // the creation are one step, so a file that appeared meanwhile is
        // never overwritten.
        if (link(temporary_.c_str(), path_.c_str()) == 0) {
            unlink(temporary_.c_str());
        } else if (errno == EPERM || errno == EOPNOTSUPP || errno == EXDEV) {
            // A file system without hard links: claim the name with an empty
            // file made only where there is none, then rename over it.
            const int claim = open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (claim < 0 || close(claim) != 0 ||
                std::rename(temporary_.c_str(), path_.c_str()) != 0) {
                exists_ = errno == EEXIST;
                error_ = std::strerror(errno);
                return false;
            }
        } else {
            exists_ = errno == EEXIST;
            error_ = std::strerror(errno);
            return false;
        }
    }
    committed_ = true;
    // The folder's entry of the renamed or linked file is on the disk too.
    syncFolderOf(path_);
    return true;
}
