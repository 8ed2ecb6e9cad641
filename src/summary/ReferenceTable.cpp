#include "summary/ReferenceTable.h"

#include <zlib.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <memory>
#include <string_view>

namespace {

std::vector<std::string> expectedHeader() {
    std::vector<std::string> names = {"sim"};
    names.insert(names.end(), paramColumnNames.begin(), paramColumnNames.end());
    names.insert(names.end(), tableStatNames.begin(), tableStatNames.end());
    names.push_back("DS");
    names.push_back("accepted");
    return names;
}

std::vector<std::string_view> splitTabs(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    while (true) {
        std::size_t tab = line.find('\t', start);
        if (tab == std::string_view::npos) {
            fields.push_back(line.substr(start));
            return fields;
        }
        fields.push_back(line.substr(start, tab - start));
        start = tab + 1;
    }
}

// What is wrong with a header, or "" when it is right.
std::string headerProblem(const std::vector<std::string_view>& fields,
                          const std::vector<std::string>& expected) {
    for (const std::string& name : expected) {
        bool found = false;
        for (std::string_view f : fields) found = found || f == name;
        if (!found) return "column '" + name + "' missing";
    }
    for (std::string_view f : fields) {
        bool known = false;
        for (const std::string& name : expected) known = known || f == name;
        if (!known) return "unknown column '" + std::string(f) + "'";
    }
    if (fields.size() != expected.size()) return "a column appears more than once";
    for (std::size_t j = 0; j < expected.size(); ++j)
        if (fields[j] != expected[j])
            return "columns out of order: column " + std::to_string(j + 1) + " is '" +
                   std::string(fields[j]) + "', expected '" + expected[j] + "'";
    return "";
}

std::string_view withoutCarriageReturn(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

// Turns the lines of a table into its columns.
class TableParser {
  public:
    explicit TableParser(std::string path) : path_(std::move(path)) {}

    // Takes one complete line (without its "\n"); false on error.
    bool line(std::string_view text) {
        ++lineNumber_;
        text = withoutCarriageReturn(text);
        if (text.empty()) return true;
        std::vector<std::string_view> fields = splitTabs(text);
        if (!sawHeader_) {
            sawHeader_ = true;
            std::string problem = headerProblem(fields, expectedHeader());
            if (!problem.empty()) return fail("not the header of a reference table: " + problem);
            return true;
        }
        if (fields.size() != numbTableColumns)
            return fail("row has " + std::to_string(fields.size()) + " of " +
                        std::to_string(numbTableColumns) + " fields");
        long sim = 0;
        auto [simEnd, simError] =
            std::from_chars(fields[0].data(), fields[0].data() + fields[0].size(), sim);
        if (simError != std::errc() || simEnd != fields[0].data() + fields[0].size() || sim < 1)
            return fail("'sim' is not a positive whole number: '" + std::string(fields[0]) + "'");
        if (fields.back() != "0" && fields.back() != "1")
            return fail("'accepted' is neither 0 nor 1: '" + std::string(fields.back()) + "'");
        // The parameters, the statistics and DS, which is checked but not kept.
        double values[numbParamColumns + numbTableStats + 1];
        for (std::size_t j = 0; j < numbParamColumns + numbTableStats + 1; ++j) {
            if (!parseTableNumber(fields[1 + j], values[j]))
                return fail("column '" + expectedHeader()[1 + j] + "' is not a number: '" +
                            std::string(fields[1 + j]) + "'");
            if (j < numbParamColumns && !std::isfinite(values[j]))
                return fail("parameter '" + expectedHeader()[1 + j] + "' is not finite");
        }
        read_.table.sim.push_back(sim);
        for (std::size_t c = 0; c < numbParamColumns; ++c)
            read_.table.params[c].push_back(values[c]);
        for (std::size_t j = 0; j < numbTableStats; ++j)
            read_.table.stats[j].push_back(values[numbParamColumns + j]);
        return true;
    }

    // A last line without its line end: left out.
    void cutShort() {
        read_.warnings.push_back(path_ + ":" + std::to_string(lineNumber_ + 1) +
                                 ": last line has no line end (cut short?); line skipped");
    }

    void warn(const std::string& message) { read_.warnings.push_back(path_ + ": " + message); }

    // An error of the file as a whole (it cannot be read), not of a line.
    void failReading(const std::string& reason) {
        read_.error = path_ + ": cannot read: " + reason;
    }

    bool fail(const std::string& message) {
        read_.error = path_ + ":" + std::to_string(lineNumber_) + ": " + message;
        return false;
    }

    TableRead finish() {
        if (read_.error.empty() && !sawHeader_) read_.error = path_ + ": empty file (no header)";
        if (!read_.error.empty()) read_.table = ReferenceTable{};
        return std::move(read_);
    }

  private:
    std::string path_;
    std::size_t lineNumber_ = 0;
    bool sawHeader_ = false;
    TableRead read_;
};

struct GzCloser {
    void operator()(gzFile_s* f) const { gzclose(f); }
};

}  // namespace

TableRead readReferenceTable(const std::string& path) {
    // zlib reads plain files unchanged, so one reader serves both kinds.
    errno = 0;
    std::unique_ptr<gzFile_s, GzCloser> file(gzopen(path.c_str(), "rb"));
    if (!file) {
        TableRead failed;
        failed.error = "cannot open reference table '" + path + "'" +
                       (errno ? std::string(": ") + std::strerror(errno) : "");
        return failed;
    }
    gzbuffer(file.get(), 1 << 17);

    TableParser parser(path);
    std::string pending;
    std::vector<char> chunk(1 << 20);
    while (true) {
        int got = gzread(file.get(), chunk.data(), static_cast<unsigned>(chunk.size()));
        if (got < 0) {
            int code = 0;
            const char* message = gzerror(file.get(), &code);
            parser.failReading(code == Z_ERRNO ? std::strerror(errno) : message);
            return parser.finish();
        }
        if (got == 0) break;
        pending.append(chunk.data(), static_cast<std::size_t>(got));
        std::size_t start = 0;
        for (std::size_t end; (end = pending.find('\n', start)) != std::string::npos;
             start = end + 1) {
            if (!parser.line(std::string_view(pending).substr(start, end - start)))
                return parser.finish();
        }
        pending.erase(0, start);
    }
    int code = Z_OK;
    const char* message = gzerror(file.get(), &code);
    if (code == Z_BUF_ERROR) {
        parser.warn("compressed data end early (cut short?); the rows before are used");
    } else if (code != Z_OK) {
        parser.failReading(message);
        return parser.finish();
    }
    if (!pending.empty()) parser.cutShort();
    return parser.finish();
}

ObservedRead readObservedStats(const std::string& path) {
    ObservedRead read;
    std::ifstream in(path);
    if (!in) {
        read.error = "cannot open observed statistics '" + path + "': " + std::strerror(errno);
        return read;
    }
    std::vector<std::string> expected(tableStatNames.begin(), tableStatNames.end());
    std::string line;
    std::size_t lineNumber = 0, valueLines = 0;
    bool sawHeader = false;
    auto fail = [&](const std::string& message) {
        read.error = path + ":" + std::to_string(lineNumber) + ": " + message;
        return read;
    };
    while (std::getline(in, line)) {
        ++lineNumber;
        std::string_view text = withoutCarriageReturn(line);
        if (text.empty()) continue;
        std::vector<std::string_view> fields = splitTabs(text);
        if (!sawHeader) {
            sawHeader = true;
            std::string problem = headerProblem(fields, expected);
            if (!problem.empty()) return fail("not the header of observed statistics: " + problem);
            continue;
        }
        if (++valueLines > 1) return fail("more than one line of observed values");
        if (fields.size() != numbTableStats)
            return fail("line has " + std::to_string(fields.size()) + " of " +
                        std::to_string(numbTableStats) + " values");
        for (std::size_t j = 0; j < numbTableStats; ++j)
            if (!parseTableNumber(fields[j], read.values[j]))
                return fail("'" + expected[j] + "' is not a number: '" + std::string(fields[j]) +
                            "'");
    }
    if (in.bad()) {
        read.error = path + ": cannot read: " + std::strerror(errno);
        return read;
    }
    if (!sawHeader) {
        read.error = path + ": empty file (no header)";
    } else if (valueLines == 0) {
        read.error = path + ": no line of observed values";
    }
    return read;
}
