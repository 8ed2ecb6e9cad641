#include "io/FinishedFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <set>
#include <utility>

#include "io/SyncFile.h"

namespace {

// The temporary files that a signal must not leave behind. The handler may
// run at any moment, so it reads only fixed storage: a slot's name is written
// before the slot is marked used, and marked unused before it is renamed or
// removed.
constexpr int kSlots = 32;
char slotNames[kSlots][PATH_MAX];
std::atomic<bool> slotUsed[kSlots];
std::mutex slotMutex;

extern "C" void removeTemporariesAndDie(int sig) {
    const int saved = errno;
    for (int i = 0; i < kSlots; ++i)
        if (slotUsed[i].load()) unlink(slotNames[i]);
    // The handler was reset on entry (SA_RESETHAND): the signal raised again
    // ends the process as it would have ended without the handler.
    errno = saved;
    raise(sig);
}

// Installs the handler once, for the signals that still have their default
// action (one that nohup or the caller set to be ignored stays ignored).
void removeTemporariesOnSignals() {
    static std::once_flag once;
    std::call_once(once, [] {
        for (int sig : {SIGTERM, SIGHUP, SIGINT}) {
            struct sigaction old {};
            if (sigaction(sig, nullptr, &old) != 0 || old.sa_handler != SIG_DFL) continue;
            struct sigaction action {};
            action.sa_handler = removeTemporariesAndDie;
            sigemptyset(&action.sa_mask);
            action.sa_flags = SA_RESETHAND;
            sigaction(sig, &action, nullptr);
        }
    });
}

int claimSlot(const std::string& name) {
    if (name.size() >= PATH_MAX) return -1;
    removeTemporariesOnSignals();
    std::lock_guard<std::mutex> lock(slotMutex);
    for (int i = 0; i < kSlots; ++i)
        if (!slotUsed[i].load()) {
            std::memcpy(slotNames[i], name.c_str(), name.size() + 1);
            slotUsed[i].store(true);
            return i;
        }
    return -1;  // more files at once than slots: that one is not guarded
}

void releaseSlot(int& slot) {
    if (slot >= 0) slotUsed[slot].store(false);
    slot = -1;
}

// A temporary file is held by an exclusive flock from just after its creation
// until it is renamed or removed; the lock ends with its process, however
// that ends. One that nobody holds, older than this, was left by a process
// that was killed (SIGKILL, a crash, a power cut).
constexpr time_t kStaleAfterSeconds = 60;

// Removes the temporary files of `name` in `folder` ("" or ending in '/')
// that were left behind: named as mkstemp names them, regular, owned by this
// user, unchanged for a while and held by no process. A file system without
// locks keeps them all.
void removeStaleTemporaries(const std::string& folder, const std::string& name) {
    DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
    if (dir == nullptr) return;
    const std::string prefix = "." + name + ".";
    const time_t now = std::time(nullptr);
    while (const dirent* entry = readdir(dir)) {
        const std::string found = entry->d_name;
        if (found.size() != prefix.size() + 6 || found.compare(0, prefix.size(), prefix) != 0)
            continue;
        bool random = true;
        for (std::size_t k = prefix.size(); k < found.size(); ++k)
            random = random && std::isalnum(static_cast<unsigned char>(found[k]));
        const std::string path = folder + found;
        struct stat info, opened;
        if (!random || lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) ||
            info.st_uid != geteuid() || now - info.st_mtime < kStaleAfterSeconds)
            continue;
        const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (fd < 0) continue;
        if (fstat(fd, &opened) == 0 && opened.st_dev == info.st_dev &&
            opened.st_ino == info.st_ino && flock(fd, LOCK_EX | LOCK_NB) == 0)
            unlink(path.c_str());
        close(fd);
    }
    closedir(dir);
}

// What a name holds that is not a regular file, for a refusal.
std::string kindOf(mode_t mode) {
    if (S_ISDIR(mode)) return "a directory";
    if (S_ISSOCK(mode)) return "a socket";
    if (S_ISBLK(mode)) return "a block device";
    return "a special file";
}

// The target of the symbolic link `path`, as written in the link.
std::string linkText(const std::string& path) {
    char text[PATH_MAX];
    const ssize_t n = readlink(path.c_str(), text, sizeof text - 1);
    return n < 0 ? std::string("?") : std::string(text, static_cast<std::size_t>(n));
}

}  // namespace

// Why the name cannot be followed when the system gives up on it (ELOOP):
// a chain that comes back to one of its own links is a loop, and no limit
// would help; a chain that only runs longer than the system follows (40
// links on Linux) is too long, and a shorter one would do. The chain is
// walked by hand, each link's text taken from its own folder.
std::string tooManyLinks(const std::string& path) {
    std::set<std::pair<dev_t, ino_t>> seen;
    std::string current = path;
    std::size_t links = 0;
    for (; links < 4096; ++links) {
        struct stat info;
        if (lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) break;
        if (!seen.insert({info.st_dev, info.st_ino}).second)
            return "it is a symbolic link that leads round in a loop";
        const std::string text = linkText(current);
        const std::size_t slash = current.rfind('/');
        current = (!text.empty() && text[0] == '/') || slash == std::string::npos
                      ? text
                      : current.substr(0, slash + 1) + text;
    }
    return "it is a chain of " + std::to_string(links) +
           " symbolic links: too many links for the system to follow (" + std::strerror(ELOOP) +
           ")";
}

FinishedFile::FinishedFile(std::string path) : path_(std::move(path)), target_(path_) {
    struct stat named;
    if (lstat(path_.c_str(), &named) == 0) {
        struct stat info;
        if (stat(path_.c_str(), &info) != 0) {
            error_ = errno == ELOOP ? tooManyLinks(path_)
                                    : "it is a symbolic link to '" + linkText(path_) +
                                          "', which does not exist";
            return;
        }
        if (S_ISFIFO(info.st_mode) || S_ISCHR(info.st_mode)) {
            // Written through: a pipe or a device has no folder entry of
            // its own to rename over, and replacing it would destroy it.
            // Opened without waiting, so that a FIFO that no program reads
            // is refused now (ENXIO) instead of holding the program for ever;
            // then made blocking again for the writes.
            do {
                fd_ = open(path_.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
            } while (fd_ < 0 && errno == EINTR);
            if (fd_ < 0) {
                error_ = errno == ENXIO && S_ISFIFO(info.st_mode)
                             ? "it is a named pipe (FIFO) that no program reads; start its "
                               "reader first"
                             : std::strerror(errno);
                return;
            }
            const int flags = fcntl(fd_, F_GETFL);
            if (flags < 0 || fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK) != 0) {
                error_ = std::strerror(errno);
                return;
            }
            direct_ = true;
            temporary_ = path_;
            return;
        }
        if (!S_ISREG(info.st_mode)) {
            error_ = "it is " + kindOf(info.st_mode) + ", not a file";
            return;
        }
        if (S_ISLNK(named.st_mode)) {
            char resolved[PATH_MAX];
            if (realpath(path_.c_str(), resolved) == nullptr) {
                error_ = std::strerror(errno);
                return;
            }
            target_ = resolved;
        }
    }
    const std::size_t slash = target_.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : target_.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target_ : target_.substr(slash + 1);
    std::string pattern = folder + "." + name + ".XXXXXX";
    removeStaleTemporaries(folder, name);
    fd_ = mkstemp(pattern.data());
    if (fd_ < 0) {
        error_ = std::strerror(errno);
        return;
    }
    // Held through a descriptor of its own, so that closing fd_ before the
    // rename (to see its errors) leaves the file held until it is renamed.
    lockFd_ = open(pattern.c_str(), O_RDONLY | O_CLOEXEC);
    if (lockFd_ >= 0) flock(lockFd_, LOCK_EX | LOCK_NB);
    slot_ = claimSlot(pattern);
    // mkstemp makes the file private; the finished file gets the permissions
    // a newly created file would have.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd_, 0666 & ~mask);
    temporary_ = pattern;
}

FinishedFile::~FinishedFile() {
    if (fd_ >= 0) close(fd_);
    releaseSlot(slot_);
    if (!temporary_.empty() && !committed_ && !direct_) unlink(temporary_.c_str());
    if (lockFd_ >= 0) close(lockFd_);
}

bool FinishedFile::write(const std::string& text) {
    if (fd_ < 0 || prepared_ || !error_.empty()) return false;
    if (direct_) {
        // Held until commit(), which alone decides whether the name is written.
        pending_ += text;
        return true;
    }
    return writeAll(text);
}

bool FinishedFile::writeAll(const std::string& text) {
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

bool FinishedFile::prepare() {
    if (prepared_) return true;
    if (fd_ < 0 || !error_.empty()) return false;
    if (direct_) {
        // Nothing is written to a pipe or device before commit().
        prepared_ = true;
        return true;
    }
    const bool synced = fsync(fd_) == 0 || errno == EINVAL;
    const int syncErrno = errno;
    const bool closed = close(fd_) == 0;
    fd_ = -1;
    if (!synced || !closed) {
        error_ = std::strerror(synced ? errno : syncErrno);
        return false;
    }
    prepared_ = true;
    return true;
}

bool FinishedFile::commit(bool replace) {
    if (committed_ || !error_.empty() || !prepare()) return false;
    if (direct_) {
        if (!replace) {
            exists_ = true;
            error_ = std::strerror(EEXIST);
            return false;
        }
        const bool written = writeAll(pending_);
        const bool closed = close(fd_) == 0;
        fd_ = -1;
        if (!written) return false;
        if (!closed) {
            error_ = std::strerror(errno);
            return false;
        }
        committed_ = true;
        return true;
    }
    // From here the temporary file is either renamed, linked or removed by
    // the destructor; a signal must not remove the finished file.
    releaseSlot(slot_);
    if (replace) {
        // Whatever took the name since the constructor looked, only a
        // regular file (or a link, which itself is replaced) is renamed over.
        struct stat now;
        if (lstat(target_.c_str(), &now) == 0 && !S_ISREG(now.st_mode) && !S_ISLNK(now.st_mode)) {
            error_ = "it is now " + kindOf(now.st_mode) + ", not a file";
            return false;
        }
        if (std::rename(temporary_.c_str(), target_.c_str()) != 0) {
            error_ = std::strerror(errno);
            return false;
        }
    } else {
        // A hard link is made only where no file has the name: the check and
        // the creation are one step, so a file that appeared meanwhile is
        // never overwritten.
        if (link(temporary_.c_str(), target_.c_str()) == 0) {
            unlink(temporary_.c_str());
        } else if (errno == EPERM || errno == EOPNOTSUPP || errno == EXDEV) {
            // A file system without hard links: claim the name with an empty
            // file made only where there is none, then rename over it.
            const int claim =
                open(target_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
            if (claim < 0 || close(claim) != 0 ||
                std::rename(temporary_.c_str(), target_.c_str()) != 0) {
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
    if (lockFd_ >= 0) close(lockFd_);
    lockFd_ = -1;
    // The folder's entry of the renamed or linked file is on the disk too.
    syncFolderOf(target_);
    return true;
}
