#pragma once

#include <cstdio>
#include <memory>
#include <string>

// Reads a text file line by line into a bounded line buffer, the way both
// input files of a run are read:
// - a line end is a line feed, or a carriage return directly before it;
// - at most `maxChars` characters of a line are delivered; a longer line is
//   cut there, and from then on every read delivers an empty line (the stream
//   is spent), so nothing after an over-long line is ever read;
// - past the end of the file every read delivers an empty line.
class LineReader {
  public:
    // Opens `fileName` for reading. Check isOpen(): a missing file, one that
    // cannot be read, or a directory leaves the reader closed.
    LineReader(const char* fileName, std::size_t maxChars);
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    bool isOpen() const { return file_ != nullptr; }

    // True once no further read can deliver anything but an empty line: the
    // end of the file was met, or an over-long line spent the stream.
    bool atEnd() const { return !file_ || spent_; }

    // The next line, without its line end.
    std::string next();

  private:
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, Closer> file_;
    std::size_t maxChars_;
    bool spent_ = false;
};
