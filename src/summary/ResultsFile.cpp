#include "summary/ResultsFile.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <sstream>

const std::array<const char*, numbParamColumns> paramColumnNames = {
    "My",         "TimeToOri", "PopSizeOriTha", "PopSizePreTha", "PopSizeOriSue", "PopSizePreSue",
    "FracSueMono"};

namespace {

constexpr std::size_t numbFields = numbParamColumns + 2;  // Rep#, seven values, DS

std::vector<std::string> splitFields(const std::string& line) {
    std::vector<std::string> fields;
    std::istringstream words(line);
    std::string word;
    while (words >> word) fields.push_back(word);
    return fields;
}

bool isHeader(const std::vector<std::string>& fields) {
    if (fields.size() != numbFields) return false;
    if (fields.front() != "Rep#" || fields.back() != "DS") return false;
    for (std::size_t c = 0; c < numbParamColumns; ++c)
        if (fields[1 + c] != paramColumnNames[c]) return false;
    return true;
}

bool parseFinite(const std::string& text, double& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtod(text.c_str(), &end);
    return end != text.c_str() && *end == '\0' && errno != ERANGE && std::isfinite(value);
}

bool parseCount(const std::string& text, long& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text.c_str(), &end, 10);
    return end != text.c_str() && *end == '\0' && errno != ERANGE && value >= 1;
}

// Reads one row; returns an empty string or the reason it cannot be used.
std::string parseRow(const std::vector<std::string>& fields, ResultsRow& row) {
    if (fields.size() != numbFields) {
        return "row has " + std::to_string(fields.size()) + " of " + std::to_string(numbFields) +
               " fields (cut short?)";
    }
    if (!parseCount(fields[0], row.rep)) return "Rep# '" + fields[0] + "' is not a row number";
    for (std::size_t c = 0; c < numbParamColumns; ++c) {
        if (!parseFinite(fields[1 + c], row.values[c]))
            return std::string(paramColumnNames[c]) + " '" + fields[1 + c] +
                   "' is not a finite number";
    }
    if (!parseFinite(fields[numbFields - 1], row.ds)) {
        return "DS '" + fields[numbFields - 1] + "' is not a finite number";
    }
    return "";
}

std::string expectedHeader() {
    std::string text = "Rep#";
    for (const char* name : paramColumnNames) text += std::string(" ") + name;
    return text + " DS";
}

}  // namespace

ResultsFile parseResults(std::istream& in) {
    ResultsFile file;
    std::string line;
    std::size_t lineNumber = 0;
    while (std::getline(in, line)) {
        ++lineNumber;
        std::vector<std::string> fields = splitFields(line);
        if (fields.empty()) continue;

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
        std::string reason = parseRow(fields, row);
        if (reason.empty()) {
            file.runs.back().rows.push_back(row);
        } else {
            file.runs.back().skipped.push_back({lineNumber, reason});
        }
    }
    return file;
}

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
