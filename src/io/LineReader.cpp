#include "io/LineReader.h"

#include <sys/stat.h>

LineReader::LineReader(const char* fileName, std::size_t maxChars) : maxChars_(maxChars) {
    std::FILE* f = std::fopen(fileName, "r");
    if (f == nullptr) return;
    // A directory opens for reading on some systems but yields no lines; treat
    // it as a file that cannot be opened rather than as an empty one.
    struct stat info;
    if (fstat(fileno(f), &info) != 0 || S_ISDIR(info.st_mode)) {
        std::fclose(f);
        return;
    }
    file_.reset(f);
}

std::string LineReader::next() {
    std::string line;
    if (!file_ || spent_) return line;
    std::FILE* f = file_.get();
    int c;
    while ((c = std::getc(f)) != EOF) {
        if (c == '\n') break;
        if (c == '\r') {
            int following = std::getc(f);
            if (following == '\n') break;  // CR LF: the CR is part of the line end
            if (following != EOF) std::ungetc(following, f);
        }
        if (line.size() == maxChars_) {
            // Over-long line: keep what fits, and the stream delivers nothing more.
            spent_ = true;
            break;
        }
        line.push_back(static_cast<char>(c));
    }
    if (c == EOF) spent_ = true;
    return line;
}
