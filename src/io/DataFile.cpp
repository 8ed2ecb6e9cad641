#include "io/DataFile.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>
#include <sstream>
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
                   std::vector<int32_t>& row, DataFileFault& fault, int& extraFields) {
    auto found = [&](DataFileFault::Kind kind, const std::string& message) {
        fault = {kind, locus, message, row.size(), false};
        return false;
    };
    const std::string endOfBuffer = "error: readDataFile: end of buffer\n";
    std::string field;
    // Position p (from 1) holds line[p - 1]; the line end sits one past the
    // last character. Positions beyond kLineChars are never examined.
    std::size_t p = 1;
    for (; row.size() < numbNeeded; ++p) {
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
    // The fields after the last value needed are ignored; they are counted
    // for the note that says so.
    extraFields = 0;
    bool inField = false;
    for (; p <= line.size(); ++p) {
        const bool blank = line[p - 1] == ' ';
        if (!blank && !inField) ++extraFields;
        inField = !blank;
    }
    return true;
}

// A line that holds something besides blanks (and tabs).
bool holdsText(const std::string& line) {
    return line.find_first_not_of(" \t") != std::string::npos;
}

// The population ("sue" or "tha") that `word` starts with, and the rest of it.
bool population(const std::string& word, int& which, std::string& rest) {
    for (int k = 0; k < 2; ++k)
        if (word.compare(0, 3, k == 0 ? "sue" : "tha") == 0) {
            which = k;
            rest = word.substr(3);
            return true;
        }
    return false;
}

// A whole number of digits only, below 10^9.
bool smallWhole(const std::string& text, long long& value) {
    if (text.empty() || text.size() > 9 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    value = std::stoll(text);
    return true;
}

}  // namespace

void namedLines(const std::string& header, int& sueLines, int& thaLines) {
    long long count[2] = {0, 0};
    bool named[2] = {false, false};
    std::string words = header;
    for (char& c : words) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (c == ',' || c == ';' || c == ':' || c == '\t' || c == '(' || c == ')') c = ' ';
    }
    std::istringstream in(words);
    std::string word, previous;
    for (; in >> word; previous = word) {
        int which = 0;
        std::string rest;
        long long first = 0, last = 0;
        if (!population(word, which, rest)) continue;
        const std::size_t dots = rest.find("..");
        if (rest.empty()) {
            // "20 sue": a count, as --simulate-data writes its header.
            if (!smallWhole(previous, first)) continue;
            count[which] += first;
        } else if (dots == std::string::npos) {
            if (!smallWhole(rest, first)) continue;  // "sue12": one line
            count[which] += 1;
        } else {
            // "sue1..sue20" or "sue1..20": the lines of a range.
            std::string end = rest.substr(dots + 2);
            int endWhich = which;
            std::string endRest;
            if (population(end, endWhich, endRest)) end = endRest;
            if (endWhich != which || !smallWhole(rest.substr(0, dots), first) ||
                !smallWhole(end, last) || last < first)
                continue;
            count[which] += last - first + 1;
        }
        named[which] = true;
    }
    auto out = [](bool isNamed, long long n) {
        return !isNamed ? -1 : n > INT32_MAX ? INT32_MAX : static_cast<int>(n);
    };
    sueLines = out(named[0], count[0]);
    thaLines = out(named[1], count[1]);
}

DataFileScan scanDataFile(const char* fileName, int numbLoci, int numbLines, bool stopAtFirst) {
    DataFileScan scan;
    errno = 0;
    LineReader reader(fileName, kLineChars);
    if (!reader.isOpen()) {
        const int openError = errno;
        struct stat info;
        const bool directory = stat(fileName, &info) == 0 && S_ISDIR(info.st_mode);
        const std::string why = directory        ? "is a directory"
                                : openError != 0 ? std::strerror(openError)
                                                 : "cannot be read";
        scan.faults.push_back(
            {DataFileFault::cannotOpen, 0,
             std::string("Error opening datafile ") + fileName + ": " + why + "\n", 0, false});
        return scan;
    }

    // Rows are added as their lines are read: a file shorter than the number
    // of loci asked for ends with the count message at its first missing
    // locus, before memory for loci that are not there is ever taken.
    const std::size_t numbNeeded = static_cast<std::size_t>(numbLines > 0 ? numbLines : 0);
    // The header is skipped whatever it holds, but a NUL byte anywhere in a
    // line that is read marks a file that is no text, whose values would be
    // cut early; it is refused.
    const std::string header = reader.next();
    namedLines(header, scan.headerSueLines, scan.headerThaLines);
    if (header.find('\0') != std::string::npos) {
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
        int extraFields = 0;
        if (nul || !readLocusLine(line, locus, numbNeeded, row, fault, extraFields)) {
            fault.pastEnd = line.empty() && reader.atEnd();
            scan.faults.push_back(fault);
            // Past the end every line reads empty: one fault says it all.
            if (stopAtFirst || fault.pastEnd) return scan;
        }
        if (extraFields > 0) {
            scan.extraFields += extraFields;
            ++scan.linesWithExtraFields;
        }
        scan.matrix.push_back(std::move(row));
    }
    while (!reader.atEnd())
        if (holdsText(reader.next())) ++scan.linesAfterLoci;
    return scan;
}

std::vector<DataFileMismatch> dataFileMismatches(const DataFileScan& scan,
                                                 const std::string& fileName, int sueLines,
                                                 int thaLines) {
    std::vector<DataFileMismatch> found;
    const std::pair<int, int> named[] = {{scan.headerSueLines, sueLines},
                                         {scan.headerThaLines, thaLines}};
    for (int k = 0; k < 2; ++k) {
        const auto [inHeader, asked] = named[k];
        if (inHeader < 0 || inHeader == asked) continue;
        const char* key = k == 0 ? "NUMBER_OF_SUE_LINES" : "NUMBER_OF_THA_LINES";
        found.push_back({key, inHeader,
                         "error: readDataFile: the header of " + fileName + " names " +
                             std::to_string(inHeader) + (k == 0 ? " sue" : " tha") +
                             " lines, but " + key + " is " + std::to_string(asked) + ".\n"});
    }
    return found;
}

std::string ignoredData(const DataFileScan& scan, int numbLines, const std::string& lociSetting) {
    if (scan.linesAfterLoci == 0 && scan.extraFields == 0) return "";
    const auto count = [](int n, const char* what) {
        return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
    };
    std::string ignored;
    if (scan.linesAfterLoci > 0)
        ignored =
            count(scan.linesAfterLoci, "line") + " after the last locus (" + lociSetting + ")";
    if (scan.extraFields > 0)
        ignored += std::string(ignored.empty() ? "" : ", and ") + count(scan.extraFields, "field") +
                   " after the " + std::to_string(numbLines) + " values of " +
                   count(scan.linesWithExtraFields, "locus line");
    return ignored + (scan.linesAfterLoci + scan.extraFields == 1 ? " is" : " are") + " ignored";
}

AlleleMatrix readDataFile(const char* fileName, int numbLoci, int numbLines) {
    DataFileScan scan = scanDataFile(fileName, numbLoci, numbLines, true);
    if (!scan.faults.empty()) fail(scan.faults.front().message);
    return std::move(scan.matrix);
}

AlleleMatrix readDataFile(const char* fileName, int numbLoci, int sueLines, int thaLines,
                          std::string* note) {
    DataFileScan scan = scanDataFile(fileName, numbLoci, sueLines + thaLines, true);
    if (!scan.faults.empty()) fail(scan.faults.front().message);
    const std::vector<DataFileMismatch> mismatches =
        dataFileMismatches(scan, fileName, sueLines, thaLines);
    if (!mismatches.empty()) fail(mismatches.front().message);
    if (note != nullptr) {
        const std::string ignored =
            ignoredData(scan, sueLines + thaLines, "NUMBER_OF_LOCI " + std::to_string(numbLoci));
        *note = ignored.empty() ? "" : "note: " + std::string(fileName) + ": " + ignored + "\n";
    }
    return std::move(scan.matrix);
}
