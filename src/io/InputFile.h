#pragma once

#include <istream>
#include <string>

// What every reader of an input file does alike: a directory given where a
// file is read is named as such, and reading a whole file never throws
// (libstdc++'s file buffer throws on a read error, such as reading a
// directory, past a stream iterator).

// "PATH: is a directory" when `path` names a directory (through links);
// "" otherwise, also when it does not exist (the opening then tells).
std::string directoryProblem(const std::string& path);

// Appends the whole rest of `in` to `text`. Returns false when reading
// failed (the stream is then bad), true at the end of the file.
bool readWhole(std::istream& in, std::string& text);
