#include "io/DataFile.h"

#include <string>

#include "base/Fail.h"
#include "io/LeadingInt.h"
#include "io/LineReader.h"

namespace {

constexpr std::size_t kLineChars = 1999;  // characters of a line that are read
constexpr std::size_t kFieldChars = 15;   // room for one field
// The values of a locus must be complete by this character position (from 1).
constexpr std::size_t kLastPosition = kLineChars - 1;

std::string atLocus(int locus) { return "at loci# " + std::to_string(locus) + ".\n"; }

// Reads the `numbNeeded` values of locus `locus` (from 1) from its `line` into
// `row`. Returns false when the line does not hold them, with the reader's
// message and the kind of problem in `fault`. The row grows with the values
// found, so its size is bounded by what the line can hold, whatever number of
// values the settings ask for.
bool readLocusLine(const std::string& line, int locus, std::size_t numbNeeded,
                   std::vector<int32_t>& row, DataFileFault& fault) {
    auto found = [&](DataFileFault::Kind kind, const std::string& message) {
        fault = {kind, locus, message, row.size(), false};
        return false;
    };
    const std::string endOfBuffer = "error: readDataFile: end of buffer\n";
    std::string field;
    // Position p (from 1) holds line[p - 1]; the line end sits one past the
    // last character. Positions beyond kLineChars are never examined.
    for (std::size_t p = 1; row.size() < numbNeeded; ++p) {
        if (p > kLineChars) return found(DataFileFault::endOfBuffer, endOfBuffer);
        const bool atEnd = p > line.size();
        const char c = atEnd ? '\0' : line[p - 1];
        if (atEnd || c == ' ') {
            if (!field.empty()) {
                int32_t value = 0;
                if (!leadingInt32(field.c_str(), value))
                    return found(DataFileFault::badField,
                                 "error: readDataFile: value outside the 32-bit integer range " +
                                     atLocus(locus));
                row.push_back(value);
                field.clear();
            }
            if (atEnd && row.size() < numbNeeded)
                return found(DataFileFault::tooFewValues,
                             "error: readDataFile: " + std::to_string(row.size()) + " values (of " +
                                 std::to_string(numbNeeded) + ") read for loci# " +
                                 std::to_string(locus) + ".\n");
        } else {
            if (field.size() == kFieldChars)
                return found(
                    DataFileFault::badField,
                    "error: readDataFile: field longer than 15 characters " + atLocus(locus));
            field.push_back(c);
        }
        if (row.size() == numbNeeded && p > kLastPosition)
            return found(DataFileFault::endOfBuffer, endOfBuffer);
    }
    return true;
}

}  // namespace

DataFileScan scanDataFile(const char* fileName, int numbLoci, int numbLines, bool stopAtFirst) {
    DataFileScan scan;
    LineReader reader(fileName, kLineChars);
    if (!reader.isOpen()) {
        scan.faults.push_back({DataFileFault::cannotOpen, 0, "Error opening datafile", 0, false});
        return scan;
    }

    // Rows are added as their lines are read: a file shorter than the number
    // of loci asked for ends with the count message at its first missing
    // locus, before memory for loci that are not there is ever taken.
    const std::size_t numbNeeded = static_cast<std::size_t>(numbLines > 0 ? numbLines : 0);
    // The header is skipped whatever it holds, but a NUL byte anywhere in a
    // line that is read marks a file that is no text, whose values would be
    // cut early; it is refused.
    if (reader.next().find('\0') != std::string::npos) {
        scan.faults.push_back({DataFileFault::nulByte, 0,
                               "error: readDataFile: NUL byte in the header line.\n", 0, false});
        if (stopAtFirst) return scan;
    }
    for (int locus = 1; locus <= numbLoci; ++locus) {
        const std::string line = reader.next();
        std::vector<int32_t> row;
        DataFileFault fault{DataFileFault::nulByte, locus,
                            "error: readDataFile: NUL byte " + atLocus(locus), 0, false};
        const bool nul = line.find('\0') != std::string::npos;
        if (nul || !readLocusLine(line, locus, numbNeeded, row, fault)) {
            fault.pastEnd = line.empty() && reader.atEnd();
            scan.faults.push_back(fault);
            // Past the end every line reads empty: one fault says it all.
            if (stopAtFirst || fault.pastEnd) return scan;
        }
        scan.matrix.push_back(std::move(row));
    }
    return scan;
}

AlleleMatrix readDataFile(const char* fileName, int numbLoci, int numbLines) {
    DataFileScan scan = scanDataFile(fileName, numbLoci, numbLines, true);
    if (!scan.faults.empty()) fail(scan.faults.front().message);
    return std::move(scan.matrix);
}
