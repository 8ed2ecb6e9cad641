#include "summary/OutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

OutputFile::OutputFile(std::string path) : path_(std::move(path)) {
    const std::size_t slash = path_.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : path_.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path_ : path_.substr(slash + 1);
    std::string pattern = folder + "." + name + ".XXXXXX";
    const int fd = mkstemp(pattern.data());
    if (fd < 0) {
        error_ = std::strerror(errno);
        return;
    }
    // mkstemp makes the file private; the finished file gets the permissions
    // a newly created file would have.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    close(fd);
    temporary_ = pattern;
}

OutputFile::~OutputFile() {
    if (!temporary_.empty() && !committed_) unlink(temporary_.c_str());
}

bool OutputFile::write(const std::string& text) {
    if (temporary_.empty()) return false;
    std::FILE* out = std::fopen(temporary_.c_str(), "wb");
    if (out == nullptr) {
        error_ = std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), out) == text.size();
    const int writeErrno = errno;
    const bool closed = std::fclose(out) == 0;
    if (!written || !closed) {
        error_ = std::strerror(written ? errno : writeErrno);
        return false;
    }
    return true;
}

bool OutputFile::commit() {
    if (temporary_.empty()) return false;
    // On the disk before it replaces a file of the same name.
    const int fd = open(temporary_.c_str(), O_RDONLY | O_CLOEXEC);
    const bool synced = fd >= 0 && fsync(fd) == 0;
    const int syncErrno = errno;
    if (fd >= 0) close(fd);
    if (!synced) {
        error_ = std::strerror(syncErrno);
        return false;
    }
    if (std::rename(temporary_.c_str(), path_.c_str()) != 0) {
        error_ = std::strerror(errno);
        return false;
    }
    committed_ = true;
    return true;
}
