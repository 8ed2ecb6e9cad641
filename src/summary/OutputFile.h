#pragma once

#include <string>

// A file that appears under its name only when it is complete. It is written
// under a hidden temporary name in the same folder and renamed over its own
// name by commit(); a file that is never committed (a failed write, a failed
// gnuplot, an exception) is removed by the destructor, so that a failure
// leaves neither a partial file nor a stray temporary one behind, and a file
// already there keeps its contents.
class OutputFile {
  public:
    // Creates the temporary file beside `path`; `error()` tells why not.
    explicit OutputFile(std::string path);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Empty when the temporary file exists, else the reason (strerror).
    const std::string& error() const { return error_; }
    // The temporary file's name, to write to (empty on error).
    const std::string& temporaryPath() const { return temporary_; }

    // Writes `text` to the temporary file; false on failure (error() set).
    bool write(const std::string& text);
    // Renames the temporary file to the path; false on failure (error() set).
    bool commit();

  private:
    std::string path_, temporary_, error_;
    bool committed_ = false;
};
