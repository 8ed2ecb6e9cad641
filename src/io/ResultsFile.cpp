#include "io/ResultsFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <ios>
#include <streambuf>
#include <string>
#include <utility>

#include "base/Fail.h"
#include "io/TableFormat.h"
#include "sim/Columns.h"

namespace {

// Appends printf-formatted text to `out`.
void appendFormatted(std::string& out, const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    if (length > 0) {
        std::size_t old = out.size();
        out.resize(old + static_cast<std::size_t>(length) + 1);
        std::vsnprintf(&out[old], static_cast<std::size_t>(length) + 1, format, again);
        out.resize(old + static_cast<std::size_t>(length));
    }
    va_end(again);
}

constexpr char kCannotOpen[] = "Error opening outfile\n";

// The folder in which `path` names an entry ("." for a bare name).
std::string folderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

}  // namespace

std::string formatResultsRow(double My, double TimeToOri, double PopSizeOriTha,
                             double PopSizePreTha, double PopSizeOriSue, double PopSizePreSue,
                             double FracSueMono, double DS, int numbAccepted, const double* gsmP) {
    std::string text;
    if (numbAccepted == 1) {
        appendFormatted(text, "%-8s", "Rep#");
        for (const char* column : estimatedColumnNames) appendFormatted(text, "%-15s", column);
        appendFormatted(text, "%-15s", "DS");
        if (gsmP != nullptr) appendFormatted(text, "%-15s", gsmPColumnName);
        appendFormatted(text, "%s\n\n", "");
    }
    appendFormatted(text, "%-8d", numbAccepted);
    for (double value : {My, TimeToOri, PopSizeOriTha, PopSizePreTha, PopSizeOriSue, PopSizePreSue})
        appendFormatted(text, "%-15.2e", value);
    appendFormatted(text, "%-15.5f", FracSueMono);
    appendFormatted(text, "%-15.2e", DS);
    if (gsmP != nullptr) appendFormatted(text, "%-15.5f", *gsmP);
    appendFormatted(text, "%s\n", "");
    return text;
}

ResultsWriter::ResultsWriter(std::string outfileName) : name_(std::move(outfileName)) {
    // Without O_NONBLOCK, opening a named pipe that no program reads would
    // wait for ever; so it fails (ENXIO) like any file that cannot be opened.
    fd_ = open(name_.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NONBLOCK);
    if (fd_ >= 0) {
        const int flags = fcntl(fd_, F_GETFL);
        if (flags < 0 || fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK) != 0) fail(kCannotOpen);
        lockOrFail();
        return;
    }
    // A missing file is created at the first row; until then, only the place
    // for it is checked (a folder that exists and takes new entries). A
    // symbolic link to nothing is refused: where it would create the file is
    // not where the name says, and mostly a folder since removed.
    struct stat entry;
    if (errno != ENOENT || name_.empty() ||
        (lstat(name_.c_str(), &entry) == 0 && S_ISLNK(entry.st_mode)))
        fail(kCannotOpen);
    const std::string folder = folderOf(name_);
    struct stat info;
    if (stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) ||
        access(folder.c_str(), W_OK | X_OK) != 0)
        fail(kCannotOpen);
}

ResultsWriter::~ResultsWriter() {
    if (fd_ >= 0) ::close(fd_);
}

void ResultsWriter::openForFirstAppend() {
    fd_ = open(name_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd_ < 0) fail(kCannotOpen);
    lockOrFail();
}

void ResultsWriter::lockOrFail() {
    int locked;
    do {
        locked = flock(fd_, LOCK_EX | LOCK_NB);
    } while (locked != 0 && errno == EINTR);
    // A file system without locks (flock fails otherwise) is written as
    // before, unguarded: nothing better can be done there.
    if (locked != 0 && errno == EWOULDBLOCK)
        fail("error: results file " + name_ +
             " is being written by another run; give each run its own OUTFILE_NAME\n");
}

bool ResultsWriter::endsInCutLine() const {
    struct stat info;
    if (fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size == 0) return false;
    // The run's descriptor is open for writing only; the last byte is read
    // through a second one, after making sure that it reaches the same file.
    const int reader = open(name_.c_str(), O_RDONLY | O_CLOEXEC);
    if (reader < 0) return false;
    struct stat same;
    char last = '\n';
    if (fstat(reader, &same) == 0 && same.st_dev == info.st_dev && same.st_ino == info.st_ino &&
        pread(reader, &last, 1, info.st_size - 1) != 1)
        last = '\n';
    ::close(reader);
    return last != '\n';
}

void ResultsWriter::appendRow(double My, double TimeToOri, double PopSizeOriTha,
                              double PopSizePreTha, double PopSizeOriSue, double PopSizePreSue,
                              double FracSueMono, double DS, int numbAccepted, const double* gsmP) {
    appendBlock(formatResultsRow(My, TimeToOri, PopSizeOriTha, PopSizePreTha, PopSizeOriSue,
                                 PopSizePreSue, FracSueMono, DS, numbAccepted, gsmP));
}

void ResultsWriter::appendBlock(const std::string& bytes) {
    if (fd_ < 0) openForFirstAppend();
    // Under the lock: no other run can end the file between this look and the
    // write below.
    const std::string fresh = !appended_ && endsInCutLine() ? "\n" : "";
    const std::string text = fresh + bytes;

    struct stat before;
    const bool regular = fstat(fd_, &before) == 0 && S_ISREG(before.st_mode);
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t written = write(fd_, text.data() + done, text.size() - done);
        if (written > 0) {
            done += static_cast<std::size_t>(written);
        } else if (!(written < 0 && errno == EINTR)) {
            // Take back a partial block (a full disk), so that the file keeps
            // only complete rows. The lock makes every byte past `before`
            // this run's own.
            if (done > 0 && regular && ftruncate(fd_, before.st_size) != 0) {
                // Nothing more can be done; the message below still reports it.
            }
            fail("error: printOutfile: cannot write " + name_ + "\n");
        }
    }
    appended_ = true;
}

void ResultsWriter::sync() {
    if (fd_ >= 0 && fsync(fd_) != 0 && errno != EINVAL)
        fail("error: printOutfile: cannot write " + name_ + "\n");
}

void ResultsWriter::close() {
    if (fd_ < 0) return;
    const int closed = ::close(fd_);
    fd_ = -1;
    if (closed != 0) fail("error: printOutfile: cannot write " + name_ + "\n");
}

void printOutfile(double My, double TimeToOri, double PopSizeOriTha, double PopSizePreTha,
                  double PopSizeOriSue, double PopSizePreSue, double FracSueMono, double DS,
                  int numbAccepted, const char* outfileName) {
    ResultsWriter writer(outfileName);
    writer.appendRow(My, TimeToOri, PopSizeOriTha, PopSizePreTha, PopSizeOriSue, PopSizePreSue,
                     FracSueMono, DS, numbAccepted);
    writer.close();
}

// Reading a results file.

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

// A run's header; `withGsmP` tells whether it ends in GsmP after DS.
bool isHeader(std::vector<Field> fields, bool& withGsmP) {
    withGsmP = fields.size() == numbFields + 1 && fields.back().text == gsmPColumnName;
    if (withGsmP) fields.pop_back();
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
std::string parseRow(const std::string& line, bool lineEnded, bool withGsmP, ResultsRow& row) {
    const std::vector<Field> fields = splitFields(line);
    const std::size_t numbRowFields = numbFields + (withGsmP ? 1 : 0);
    if (fields.size() != numbRowFields) {
        return "row has " + std::to_string(fields.size()) + " of " + std::to_string(numbRowFields) +
               " fields (cut short?)";
    }
    if (!lineEnded) return "row cut short: no line end";
    // Every field starts where the one before it ends, and the last one is
    // padded to its full width: a row cut inside its last number or its
    // padding (and then ended by the next run's line end) is caught here.
    std::size_t expected = 0;
    for (std::size_t k = 0; k < numbRowFields; ++k) {
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
    if (withGsmP && !parseFinite(fields[numbFields].text, row.gsmP))
        return "GsmP '" + fields[numbFields].text + "' is not a finite number";
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
            bool withGsmP = false;
            if (!isHeader(splitFields(line.substr(headerAt)), withGsmP) ||
                (fragment && file.runs.empty())) {
                file.runs.clear();
                file.error = "line " + std::to_string(lineNumber) +
                             ": malformed header; expected the columns " + expectedHeader();
                return file;
            }
            ResultsRun run;
            run.headerLine = lineNumber;
            run.withGsmP = withGsmP;
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
        std::string reason = parseRow(line, ended, file.runs.back().withGsmP, row);
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
    selection.withGsmP = true;
    for (std::size_t k = first; k <= last; ++k) {
        const ResultsRun& run = file.runs[k];
        selection.withGsmP = selection.withGsmP && run.withGsmP;
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
