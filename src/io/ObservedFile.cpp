#include "io/ObservedFile.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <limits>
#include <vector>

#include "base/Fail.h"
#include "io/InputFile.h"
#include "io/SyncFile.h"
#include "io/TableFormat.h"
#include "sim/Columns.h"

std::string observedStatisticsPath(const std::string& tablePath) {
    return withoutGz(tablePath) + ".observed.tsv";
}

std::string formatObservedStatistics(const std::array<double, numbTableStats>& values) {
    std::string text;
    for (std::size_t i = 0; i < numbTableStats; ++i)
        (text += i == 0 ? "" : "\t") += tableStatNames[i];
    text += '\n';
    for (std::size_t i = 0; i < numbTableStats; ++i) {
        if (i > 0) text += '\t';
        appendTableNumber(text, values[i]);
    }
    return text += '\n';
}

void writeObservedStatistics(const std::string& tablePath, const TableStatistics& observed) {
    const std::string path = observedStatisticsPath(tablePath);
    if (!writeSyncedFile(path, formatObservedStatistics(observed.values())))
        fail("error: table: cannot write " + path + " (" + std::strerror(errno) + ")\n");
}

ObservedRead readObservedStats(const std::string& path, bool manyPoints) {
    ObservedRead read;
    read.error = directoryProblem(path);
    if (!read.error.empty()) return read;
    std::ifstream in(path);
    if (!in) {
        read.error = "cannot open observed statistics '" + path + "': " + std::strerror(errno);
        return read;
    }
    std::vector<std::string> expected;
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
        // What a spreadsheet or an editor may leave in a file saved as text,
        // each named, since all of them would otherwise read as a header
        // that lacks a column.
        if (text.find('\0') != std::string_view::npos)
            return fail("a NUL byte: this is no text file (a UTF-16 file? save it as UTF-8)");
        if (text.find('\r') != std::string_view::npos)
            return fail(
                "carriage returns alone end its lines (an old Mac text file): save it with "
                "line feeds (LF) or CRLF line ends");
        if (lineNumber == 1 && text.substr(0, 3) == "\xEF\xBB\xBF") {
            // A UTF-8 byte-order mark says only that the text is UTF-8, which
            // the names and numbers are anyway: skipped, with a note.
            text.remove_prefix(3);
            read.note = path + " starts with a UTF-8 byte-order mark, which is skipped";
        }
        if (text.empty()) continue;
        std::vector<std::string_view> fields = splitTabs(text);
        if (!sawHeader) {
            sawHeader = true;
            read.numbStats = statisticsInHeader(fields);
            expected.assign(tableStatNames.begin(), tableStatNames.begin() + read.numbStats);
            std::string problem = headerProblem(fields, expected);
            if (!problem.empty()) return fail("not the header of observed statistics: " + problem);
            continue;
        }
        if (++valueLines > 1 && !manyPoints) return fail("more than one line of observed values");
        if (fields.size() != read.numbStats)
            return fail("line has " + std::to_string(fields.size()) + " of " +
                        std::to_string(read.numbStats) + " values");
        std::array<double, numbTableStats> values{};
        values.fill(std::numeric_limits<double>::quiet_NaN());
        for (std::size_t j = 0; j < read.numbStats; ++j)
            if (!parseTableNumber(fields[j], values[j]))
                return fail("'" + expected[j] + "' is not a number: '" + std::string(fields[j]) +
                            "'");
        if (read.points.empty()) read.values = values;
        read.points.push_back(values);
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
