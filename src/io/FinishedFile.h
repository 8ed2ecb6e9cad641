#pragma once

#include <string>

// A file that appears under its name only when it is complete and on the
// disk. It is written under a hidden temporary name in the same folder (so
// that creating it checks the folder before the first byte), forced to the
// disk, and only then put under its name. A file that is never committed is
// removed by the destructor: a failure leaves neither a partial file nor a
// stray temporary one, and a file already under the name keeps its bytes.
//
// What the name already holds decides how it is written, so that an output
// never destroys what is not an output file:
// - a symbolic link is followed: the link stays, and the file it leads to is
//   replaced (the temporary file is made beside that file and renamed there);
//   a link whose target is missing, that leads round in a loop, or that
//   starts a chain of more links than the system follows, is refused;
// - a FIFO or a character device (a pipe, /dev/stdout, /dev/null) is written
//   through directly at commit(), with no temporary file and no rename; a
//   FIFO that no program reads when the constructor opens it is refused at
//   once (error() says so), rather than waited on for ever;
// - a directory, a socket or a block device is refused;
// - nothing that is not a regular file is ever renamed over.
// A refusal sets error() in the constructor, naming what the name holds.
//
// A temporary file of a process ended by SIGTERM, SIGHUP or SIGINT is
// removed before it ends (where those signals have their default action);
// one left by a process killed otherwise (SIGKILL, a crash) is removed by
// the next FinishedFile of that name: each temporary file is locked by its
// process, and only one that no process holds and that has not changed for a
// minute is taken for left behind.
// Why `path` cannot be followed when the system gives up on it (ELOOP), as
// a reason that begins "it is": a symbolic link that leads round in a loop,
// or a chain of more links than the system follows (with their number).
std::string tooManyLinks(const std::string& path);

class FinishedFile {
  public:
    // Creates the temporary file beside `path` (or opens the FIFO or device
    // it names); error() tells why not.
    explicit FinishedFile(std::string path);
    ~FinishedFile();
    FinishedFile(const FinishedFile&) = delete;
    FinishedFile& operator=(const FinishedFile&) = delete;

    // Empty while all is well, else the reason of the first failure.
    const std::string& error() const { return error_; }

    // The name to write to (empty on error), for another program that writes
    // the file itself (gnuplot): the temporary file, or the FIFO or device
    // itself when writesThrough(); commit() then syncs what it wrote.
    const std::string& temporaryPath() const { return temporary_; }

    // True when the name is a FIFO or a character device, written directly.
    bool writesThrough() const { return direct_; }

    // Appends `text` to the temporary file (to the bytes for the FIFO or
    // device); false on failure (error() set).
    bool write(const std::string& text);

    // Forces the bytes to the disk and closes the temporary file, which
    // then takes no more writes: the slow half of commit(), so that several
    // files can be prepared and then all committed at once. True when done
    // (again true once prepared); false on failure (error() set). For a
    // FIFO or device nothing is written before commit().
    bool prepare();
    bool prepared() const { return prepared_; }

    // The name given to the constructor.
    const std::string& path() const { return path_; }

    // Prepares the file if it is not yet, and puts it under its name. With
    // `replace` an existing file is replaced in one step (readers see the old
    // or the new file, never a mix); without it an existing file is left as
    // it is and commit() fails with alreadyExists() true, even when the file
    // appeared after the constructor's check. A FIFO or device exists, so it
    // is written only with `replace`.
    bool commit(bool replace);
    bool alreadyExists() const { return exists_; }

  private:
    bool writeAll(const std::string& text);  // to fd_, every byte or error_ set

    std::string path_;       // the name given
    std::string target_;     // the name replaced: path_, or the file its link leads to
    std::string temporary_;  // the temporary file, or target_ when direct_
    std::string error_, pending_;
    int fd_ = -1;
    int lockFd_ = -1;  // holds the temporary file's flock until it is renamed or removed
    int slot_ = -1;    // the temporary's place among those removed on a signal
    bool committed_ = false, exists_ = false, direct_ = false, prepared_ = false;
};
