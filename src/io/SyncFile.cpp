#include "io/SyncFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

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
