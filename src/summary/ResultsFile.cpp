#include "summary/ResultsFile.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <ios>
#include <streambuf>

namespace {

constexpr std::size_t numbFields = numbParamColumns + 2;  // Rep#, seven values, DS

// Widths of the fields of a row as a run writes it ("%-8d", then "%-15.2e" and
// "%-15.5f"): each value is padded with blanks to its width, and a value whose
// text is longer than the width fills exactly its text.
constexpr std::size_t repWidth = 8;
constexpr std::size_t valueWidth = 15;

// A word of a line and the column at which it starts.
struct Field {
    std::size_t start;
    std::string text;
};

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::vector<Field> splitFields(const std::string& line) {
    std::vector<Field> fields;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && isBlank(line[i])) ++i;
        if (i == line.size()) break;
        std::size_t start = i;
        while (i < line.size() && !isBlank(line[i])) ++i;
        fields.push_back({start, line.substr(start, i - start)});
    }
    return fields;
}

bool isHeader(const std::vector<Field>& fields) {
    if (fields.size() != numbFields) return false;
    if (fields.front().text != "Rep#" || fields.back().text != "DS") return false;
    for (std::size_t c = 0; c < numbParamColumns; ++c)
        if (fields[1 + c].text != paramColumnNames[c]) return false;
    return true;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool isDecimalNumber(const std::string& text) {
    std::size_t i = 0, n = text.size();
    if (i < n && (text[i] == '-' || text[i] == '+')) ++i;
    std::size_t digits = 0;
    while (i < n && isDigit(text[i])) ++i, ++digits;
    if (i < n && text[i] == '.') ++i;
    while (i < n && isDigit(text[i])) ++i, ++digits;
    if (digits == 0) return false;
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < n && (text[i] == '-' || text[i] == '+')) ++i;
        std::size_t exponentDigits = 0;
        while (i < n && isDigit(text[i])) ++i, ++exponentDigits;
        if (exponentDigits == 0) return false;
    }
    return i == n;
}

namespace {

// A finite decimal number. Values below the smallest normal double (such as
// 5.35e-311) are finite: strtod reports ERANGE for them, which is no reason
// to refuse them; only an overflow to infinity is.
bool parseFinite(const std::string& text, double& value) {
    if (!isDecimalNumber(text)) return false;
    value = std::strtod(text.c_str(), nullptr);
    return std::isfinite(value);
}

bool parseCount(const std::string& text, long& value) {
    for (char c : text)
        if (!isDigit(c)) return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text.c_str(), &end, 10);
    return !text.empty() && *end == '\0' && errno != ERANGE && value >= 1;
}

// Reads one row; returns an empty string or the reason it cannot be used.
// `lineEnded` tells whether the line had its line end: a run writes a row
// and its line end in one piece, so a row without one was cut short.
std::string parseRow(const std::string& line, bool lineEnded, ResultsRow& row) {
    const std::vector<Field> fields = splitFields(line);
    if (fields.size() != numbFields) {
        return "row has " + std::to_string(fields.size()) + " of " + std::to_string(numbFields) +
               " fields (cut short?)";
    }
    if (!lineEnded) return "row cut short: no line end";
    // Every field starts where the one before it ends, and the last one is
    // padded to its full width: a row cut inside its last number or its
    // padding (and then ended by the next run's line end) is caught here.
    std::size_t expected = 0;
    for (std::size_t k = 0; k < numbFields; ++k) {
        const std::size_t width = k == 0 ? repWidth : valueWidth;
        if (fields[k].start != expected)
            return "row is not in the fixed columns of a results file (field " +
                   std::to_string(k + 1) + " starts at column " +
                   std::to_string(fields[k].start + 1) + ", not " + std::to_string(expected + 1) +
                   ")";
        expected += std::max(width, fields[k].text.size());
    }
    if (line.size() != expected) {
        return line.size() < expected
                   ? "row cut short: " + std::to_string(line.size()) + " of its " +
                         std::to_string(expected) + " characters"
                   : "row is longer than its " + std::to_string(expected) + " characters";
    }
    if (!parseCount(fields[0].text, row.rep))
        return "Rep# '" + fields[0].text + "' is not a row number";
    for (std::size_t c = 0; c < numbParamColumns; ++c) {
        if (!parseFinite(fields[1 + c].text, row.values[c]))
            return std::string(paramColumnNames[c]) + " '" + fields[1 + c].text +
                   "' is not a finite number";
    }
    if (!parseFinite(fields[numbFields - 1].text, row.ds)) {
        return "DS '" + fields[numbFields - 1].text + "' is not a finite number";
    }
    return "";
}

std::string expectedHeader() {
    std::string text = "Rep#";
    for (const char* name : paramColumnNames) text += std::string(" ") + name;
    return text + " DS";
}

// Reads the next line of `buf` into `line`, without its line end (and
// without a carriage return before it). Returns false at the end of the
// input; `ended` tells whether the line had a line end, `tooLong` that it
// had more than maxResultsLineLength bytes (then only that many are kept and
// the rest is not read).
bool readLine(std::streambuf& buf, std::string& line, bool& ended, bool& tooLong) {
    line.clear();
    ended = tooLong = false;
    using Traits = std::streambuf::traits_type;
    for (;;) {
        const Traits::int_type c = buf.sbumpc();
        if (Traits::eq_int_type(c, Traits::eof())) break;
        if (Traits::to_char_type(c) == '\n') {
            ended = true;
            break;
        }
        if (line.size() == maxResultsLineLength) {
            tooLong = true;
            return true;
        }
        line.push_back(Traits::to_char_type(c));
    }
    if (ended && !line.empty() && line.back() == '\r') line.pop_back();
    return ended || !line.empty();
}

ResultsFile parseLines(std::istream& in);

}  // namespace

ResultsFile parseResults(std::istream& in) {
    // The stream's buffer is read directly, and it reports a failed read (of a
    // folder, or on an I/O error) by throwing: that becomes a bad stream, as a
    // failed read through the stream itself would.
    try {
        return parseLines(in);
    } catch (const std::ios_base::failure&) {
        in.setstate(std::ios_base::badbit);
        return {};
    }
}

namespace {

ResultsFile parseLines(std::istream& in) {
    ResultsFile file;
    std::string line;
    std::size_t lineNumber = 0;
    bool ended = false, tooLong = false;
    std::streambuf* buf = in.rdbuf();
    if (buf == nullptr) return file;
    while (readLine(*buf, line, ended, tooLong)) {
        ++lineNumber;
        if (tooLong) {
            // No line of a results file comes near this length: the file is
            // something else (a binary file, a device such as /dev/zero).
            file.runs.clear();
            file.error = "line " + std::to_string(lineNumber) + " is longer than " +
                         std::to_string(maxResultsLineLength) +
                         " bytes; this is not a results file";
            return file;
        }
        if (splitFields(line).empty()) continue;

        // A run killed while writing a row leaves that row without its line
        // end (possibly in the middle of a number), so the header of the next
        // run to append lands on the same line. The fragment belongs to the
        // old run; the header opens a new one.
        const std::size_t headerAt = line.find("Rep#");
        if (headerAt != std::string::npos) {
            const bool fragment = !splitFields(line.substr(0, headerAt)).empty();
            if (fragment && !file.runs.empty()) {
                file.runs.back().skipped.push_back(
                    {lineNumber, "row cut short, followed by the header of the next run"});
            }
            if (!isHeader(splitFields(line.substr(headerAt))) || (fragment && file.runs.empty())) {
                file.runs.clear();
                file.error = "line " + std::to_string(lineNumber) +
                             ": malformed header; expected the columns " + expectedHeader();
                return file;
            }
            ResultsRun run;
            run.headerLine = lineNumber;
            file.runs.push_back(std::move(run));
            continue;
        }
        if (file.runs.empty()) {
            file.error = "line " + std::to_string(lineNumber) +
                         ": no header line before the first row; expected the columns " +
                         expectedHeader();
            return file;
        }
        ResultsRow row;
        std::string reason = parseRow(line, ended, row);
        if (reason.empty()) {
            file.runs.back().rows.push_back(row);
        } else {
            file.runs.back().skipped.push_back({lineNumber, reason});
        }
    }
    return file;
}

}  // namespace

RowSelection selectRows(const ResultsFile& file, const RunChoice& choice) {
    RowSelection selection;
    const std::size_t numbRuns = file.runs.size();
    if (numbRuns == 0) {
        selection.error = "no header and no rows (empty results file)";
        return selection;
    }
    std::size_t first = numbRuns - 1, last = numbRuns - 1;
    if (choice.kind == RunChoice::numbered) {
        if (choice.number < 1 || choice.number > numbRuns) {
            selection.error = "run " + std::to_string(choice.number) + " asked for, but the file " +
                              "holds " + std::to_string(numbRuns) +
                              (numbRuns == 1 ? " run" : " runs");
            return selection;
        }
        first = last = choice.number - 1;
    } else if (choice.kind == RunChoice::all) {
        first = 0;
    }
    for (std::size_t k = first; k <= last; ++k) {
        const ResultsRun& run = file.runs[k];
        selection.rows.insert(selection.rows.end(), run.rows.begin(), run.rows.end());
        selection.runNumbers.insert(selection.runNumbers.end(), run.rows.size(), k + 1);
        selection.skipped.insert(selection.skipped.end(), run.skipped.begin(), run.skipped.end());
    }
    if (choice.kind == RunChoice::all) {
        selection.description =
            "all " + std::to_string(numbRuns) + (numbRuns == 1 ? " run" : " runs");
    } else {
        selection.description =
            "run " + std::to_string(first + 1) + " of " + std::to_string(numbRuns);
    }
    if (selection.rows.empty()) {
        selection.error = "no rows to summarise in " + selection.description;
    }
    return selection;
}
