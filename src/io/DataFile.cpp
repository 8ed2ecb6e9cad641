#include "io/DataFile.h"

#include <string>

#include "io/Fail.h"
#include "io/LeadingInt.h"
#include "io/LineReader.h"

namespace {

constexpr std::size_t kLineChars = 1999;  // characters of a line that are read
constexpr std::size_t kFieldChars = 15;   // room for one field
// The values of a locus must be complete by this character position (from 1).
constexpr std::size_t kLastPosition = kLineChars - 1;

std::string atLocus(int locus) { return "at loci# " + std::to_string(locus) + ".\n"; }

// Reads the `numbNeeded` values of locus `locus` (from 1) from its `line`.
// The row grows with the values found, so its size is bounded by what the
// line can hold, whatever number of values the settings ask for.
std::vector<int32_t> readLocusLine(const std::string& line, int locus, std::size_t numbNeeded) {
    std::vector<int32_t> row;
    std::string field;
    // Position p (from 1) holds line[p - 1]; the line end sits one past the
    // last character. Positions beyond kLineChars are never examined.
    for (std::size_t p = 1; row.size() < numbNeeded; ++p) {
        if (p > kLineChars) fail("error: readDataFile: end of buffer\n");
        const bool atEnd = p > line.size();
        const char c = atEnd ? '\0' : line[p - 1];
        if (atEnd || c == ' ') {
            if (!field.empty()) {
                int32_t value = 0;
                if (!leadingInt32(field.c_str(), value))
                    fail("error: readDataFile: value outside the 32-bit integer range " +
                         atLocus(locus));
                row.push_back(value);
                field.clear();
            }
            if (atEnd && row.size() < numbNeeded)
                fail("error: readDataFile: " + std::to_string(row.size()) + " values (of " +
                     std::to_string(numbNeeded) + ") reed for loci# " + std::to_string(locus) +
                     ".\n");
        } else {
            if (field.size() == kFieldChars)
                fail("error: readDataFile: field longer than 15 characters " + atLocus(locus));
            field.push_back(c);
        }
        if (row.size() == numbNeeded && p > kLastPosition)
            fail("error: readDataFile: end of buffer\n");
    }
    return row;
}

}  // namespace

AlleleMatrix readDataFile(const char* fileName, int numbLoci, int numbLines) {
    LineReader reader(fileName, kLineChars);
    if (!reader.isOpen()) fail("Error opening datafile");

    // Rows are added as their lines are read: a file shorter than the number
    // of loci asked for ends with the count message at its first missing
    // locus, before memory for loci that are not there is ever taken.
    const std::size_t numbNeeded = static_cast<std::size_t>(numbLines > 0 ? numbLines : 0);
    AlleleMatrix matrix;
    // The header is skipped whatever it holds, but a NUL byte anywhere in a
    // line that is read marks a file that is no text, whose values would be
    // cut early; it is refused.
    if (reader.next().find('\0') != std::string::npos)
        fail("error: readDataFile: NUL byte in the header line.\n");
    for (int locus = 1; locus <= numbLoci; ++locus) {
        const std::string line = reader.next();
        if (line.find('\0') != std::string::npos)
            fail("error: readDataFile: NUL byte " + atLocus(locus));
        matrix.push_back(readLocusLine(line, locus, numbNeeded));
    }
    return matrix;
}
