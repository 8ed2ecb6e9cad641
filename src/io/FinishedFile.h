#pragma once

#include <string>

// A file that appears under its name only when it is complete and on the
// disk. It is written under a hidden temporary name in the same folder (so
// that creating it checks the folder before the first byte), forced to the
// disk, and only then put under its name. A file that is never committed is
// removed by the destructor: a failure leaves neither a partial file nor a
// stray temporary one, and a file already under the name keeps its bytes.
class FinishedFile {
  public:
    // Creates the temporary file beside `path`; error() tells why not.
    explicit FinishedFile(std::string path);
    ~FinishedFile();
    FinishedFile(const FinishedFile&) = delete;
    FinishedFile& operator=(const FinishedFile&) = delete;

    // Empty while all is well, else the reason of the first failure.
    const std::string& error() const { return error_; }

    // The temporary file's name (empty on error), for another program that
    // writes the file itself (gnuplot); commit() then syncs what it wrote.
    const std::string& temporaryPath() const { return temporary_; }

    // Appends `text` to the temporary file; false on failure (error() set).
    bool write(const std::string& text);

    // Forces the bytes to the disk and puts the file under its name. With
    // `replace` an existing file is replaced in one step (readers see the old
    // or the new file, never a mix); without it an existing file is left as
    // it is and commit() fails with alreadyExists() true, even when the file
    // appeared after the constructor's check.
    bool commit(bool replace);
    bool alreadyExists() const { return exists_; }

  private:
    std::string path_, temporary_, error_;
    int fd_ = -1;
    bool committed_ = false, exists_ = false;
};
