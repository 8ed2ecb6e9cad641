#include "io/SyncFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>

namespace {

bool syncOpened(const std::string& path, int flags) {
    const int fd = open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    const bool synced = fsync(fd) == 0 || errno == EINVAL || errno == EROFS;
    return ::close(fd) == 0 && synced;
}

}  // namespace

bool syncFile(const std::string& path) { return syncOpened(path, O_RDONLY); }

bool syncFolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "."
                               : slash == 0               ? "/"
                                                          : path.substr(0, slash);
    return syncOpened(folder, O_RDONLY | O_DIRECTORY);
}

bool writeSyncedFile(const std::string& path, const std::string& text) {
    int fd;
    do {
        fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return false;
    std::string_view data = text;
    bool ok = true;
    while (ok && !data.empty()) {
        const ssize_t n = write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0)
            ok = false;
        else
            data.remove_prefix(static_cast<std::size_t>(n));
    }
    ok = ok && (fsync(fd) == 0 || errno == EINVAL);
    return ::close(fd) == 0 && ok;
}
