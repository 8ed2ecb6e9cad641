#include "cluster/MergeJournal.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <utility>

#include "base/Fail.h"
#include "cluster/ShardFile.h"

namespace {

constexpr const char* kJournalMagic = "foundabc-merge-journal 1";

[[noreturn]] void cannotWrite(const std::string& path) {
    fail("error: merge: cannot write " + path + "\n");
}

}  // namespace

void removeOrNote(const std::string& path) {
    if (::unlink(path.c_str()) != 0 && errno != ENOENT)
        std::printf("note: %s could not be removed (%s); remove it by hand\n", path.c_str(),
                    std::strerror(errno));
}

MergeJournal::MergeJournal(std::string path) : path_(std::move(path)) {
    // A merge that ends removes the journal while it holds the lock; one that
    // was waiting to lock that file must open the new one instead, so the
    // lock counts only while the name still leads to the locked file.
    for (int attempt = 0; attempt < 100; ++attempt) {
        // Never through a link: a planted or stale one would have the
        // record written over the file it leads to.
        const int fd =
            open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW, 0666);
        if (fd < 0 && errno == ELOOP)
            fail("error: merge: " + path_ +
                 " is a symbolic link; the journal is never one: remove the link\n");
        if (fd < 0) cannotWrite(path_);
        struct stat mine, named;
        if (fstat(fd, &mine) != 0 || !S_ISREG(mine.st_mode)) {
            ::close(fd);
            cannotWrite(path_);
        }
        int locked;
        do {
            locked = flock(fd, LOCK_EX | LOCK_NB);
        } while (locked != 0 && errno == EINTR);
        if (locked != 0 && errno == EWOULDBLOCK) {
            ::close(fd);
            return;  // held by another merge
        }
        // A file system without locks is used unguarded, as the results file is.
        if (stat(path_.c_str(), &named) == 0 && named.st_dev == mine.st_dev &&
            named.st_ino == mine.st_ino) {
            fd_ = fd;
            return;
        }
        ::close(fd);
    }
}

MergeJournal::~MergeJournal() {
    if (fd_ >= 0) ::close(fd_);
}

MergeJournal::Content MergeJournal::read(JournalRecord& r) const {
    std::string text;
    char block[1 << 16];
    for (off_t at = 0;;) {
        const ssize_t got = pread(fd_, block, sizeof block, at);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return Content::damaged;
        if (got == 0) break;
        text.append(block, static_cast<std::size_t>(got));
        at += got;
    }
    if (text.empty()) return Content::none;
    const std::size_t check = text.rfind("check ");
    if (check == std::string::npos || text.compare(0, std::strlen(kJournalMagic), kJournalMagic))
        return Content::damaged;
    Fnv sum;
    sum.add(text.data(), check);
    if (text.substr(check) != "check " + hex64(sum.value()) + "\n") return Content::damaged;
    std::istringstream in(text.substr(0, check));
    std::string magic, word, state, files;
    JournalRecord got;
    std::getline(in, magic);
    in >> word >> got.seed >> got.count >> std::hex >> got.fingerprint >> got.bytesHash >> std::dec;
    if (!in || word != "run") return Content::damaged;
    in >> word >> got.start >> got.lead >> got.length >> state;
    if (!in || word != "append" || (state != "appending" && state != "complete"))
        return Content::damaged;
    got.complete = state == "complete";
    in >> word;
    if (!in || word != "files") return Content::damaged;
    for (uint64_t id; in >> std::hex >> id;) got.files.push_back(id);
    if (static_cast<int>(got.files.size()) != got.count) return Content::damaged;
    r = std::move(got);
    return Content::record;
}

void MergeJournal::write(const JournalRecord& r) {
    std::string text = std::string(kJournalMagic) + "\nrun " + std::to_string(r.seed) + " " +
                       std::to_string(r.count) + " " + hex64(r.fingerprint) + " " +
                       hex64(r.bytesHash) + "\nappend " + std::to_string(r.start) + " " +
                       std::to_string(r.lead) + " " + std::to_string(r.length) + " " +
                       (r.complete ? "complete" : "appending") + "\nfiles";
    for (uint64_t id : r.files) text += " " + hex64(id);
    text += "\n";
    Fnv f;
    f.add(text.data(), text.size());
    text += "check " + hex64(f.value()) + "\n";
    // In place: a crash part-way leaves a record that fails its checksum.
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n =
            pwrite(fd_, text.data() + done, text.size() - done, static_cast<off_t>(done));
        if (n > 0)
            done += static_cast<std::size_t>(n);
        else if (!(n < 0 && errno == EINTR))
            cannotWrite(path_);
    }
    if (ftruncate(fd_, static_cast<off_t>(text.size())) != 0) cannotWrite(path_);
    if (fsync(fd_) != 0 && errno != EINVAL) cannotWrite(path_);
}

void MergeJournal::remove() { removeOrNote(path_); }

void MergeJournal::removeIfEmpty() {
    struct stat info;
    if (fd_ >= 0 && fstat(fd_, &info) == 0 && info.st_size == 0) remove();
}
