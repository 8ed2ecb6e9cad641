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

// Fills `row` from the fields of `line`, the line of locus `locus` (from 1).
void readLocusLine(const std::string& line, int locus, std::vector<int32_t>& row) {
    const std::size_t numbNeeded = row.size();
    std::size_t numbStored = 0;
    std::string field;
    // Position p (from 1) holds line[p - 1]; the line end sits one past the
    // last character. Positions beyond kLineChars are never examined.
    for (std::size_t p = 1; numbStored < numbNeeded; ++p) {
        if (p > kLineChars) fail("error: readDataFile: end of buffer\n");
        const bool atEnd = p > line.size();
        const char c = atEnd ? '\0' : line[p - 1];
        if (atEnd || c == ' ') {
            if (!field.empty()) {
                int32_t value = 0;
                if (!leadingInt32(field.c_str(), value))
                    fail("error: readDataFile: value outside the 32-bit integer range " +
                         atLocus(locus));
                row[numbStored++] = value;
                field.clear();
            }
            if (atEnd && numbStored < numbNeeded)
                fail("error: readDataFile: " + std::to_string(numbStored) + " values (of " +
                     std::to_string(numbNeeded) + ") reed for loci# " + std::to_string(locus) +
                     ".\n");
        } else {
            if (field.size() == kFieldChars)
                fail("error: readDataFile: field longer than 15 characters " + atLocus(locus));
            field.push_back(c);
        }
        if (numbStored == numbNeeded && p > kLastPosition)
            fail("error: readDataFile: end of buffer\n");
    }
}

}  // namespace

AlleleMatrix readDataFile(const char* fileName, int numbLoci, int numbLines) {
    AlleleMatrix matrix(
        static_cast<std::size_t>(numbLoci > 0 ? numbLoci : 0),
        std::vector<int32_t>(static_cast<std::size_t>(numbLines > 0 ? numbLines : 0)));
    LineReader reader(fileName, kLineChars);
    if (!reader.isOpen()) fail("Error opening datafile");

    reader.next();  // the header, whatever it holds
    for (int locus = 1; locus <= numbLoci; ++locus)
        readLocusLine(reader.next(), locus, matrix[locus - 1]);
    return matrix;
}
