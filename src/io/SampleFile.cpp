#include "io/SampleFile.h"

#include <zlib.h>

#include <cmath>
#include <memory>

#include "io/TableFormat.h"
#include "sim/Columns.h"
#include "sim/ParameterSet.h"

namespace {

// The next line of `text` from `pos` without its line end (a carriage return
// before it included); false at the end.
bool nextLine(std::string_view text, std::size_t& pos, std::string_view& line) {
    if (pos >= text.size()) return false;
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    line = text.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    pos = end + 1;
    return true;
}

struct GzClose {
    void operator()(gzFile_s* f) const { gzclose(f); }
};

}  // namespace

std::string parseSampleText(std::string_view text, const std::string& name, SampleRows& rows) {
    rows = SampleRows{};
    std::size_t pos = 0;
    std::string_view line;
    if (!nextLine(text, pos, line)) return name + " is empty: it needs a header line and rows";
    // Carriage returns alone as line ends (old Mac text) make the whole file
    // one header line, whose complaint would point elsewhere.
    if (line.find('\r') != std::string_view::npos)
        return name +
               " has carriage-return line ends (old Mac text): convert them to line feeds "
               "(tr '\\r' '\\n')";
    const std::vector<std::string_view> header = splitTabs(line);
    auto columnOf = [&](const std::string& column, int& at) -> std::string {
        at = -1;
        for (std::size_t c = 0; c < header.size(); ++c)
            if (header[c] == column) {
                if (at >= 0) return name + " names the column " + column + " twice";
                at = static_cast<int>(c);
            }
        return "";
    };
    int weightAt = -1;
    std::array<int, numbDrawnParams> plainAt{}, adjAt{};
    std::string why = columnOf("weight", weightAt);
    for (std::size_t p = 0; why.empty() && p < numbDrawnParams; ++p) {
        why = columnOf(estimatedColumnNames[p], plainAt[p]);
        if (why.empty()) why = columnOf(std::string(estimatedColumnNames[p]) + "_adj", adjAt[p]);
    }
    if (!why.empty()) return why;
    std::size_t adjusted = 0;
    for (std::size_t p = 0; p < numbDrawnParams; ++p) adjusted += adjAt[p] >= 0;
    if (adjusted > 0 && adjusted < numbDrawnParams)
        for (std::size_t p = 0; p < numbDrawnParams; ++p)
            if (adjAt[p] < 0)
                return name + " has adjusted columns but not " + estimatedColumnNames[p] +
                       "_adj: give all six or none";
    rows.adjusted = adjusted == numbDrawnParams;
    const std::array<int, numbDrawnParams>& used = rows.adjusted ? adjAt : plainAt;
    for (std::size_t p = 0; p < numbDrawnParams; ++p)
        if (weightAt < 0 || used[p] < 0)
            return name + " has no column " + (weightAt < 0 ? "weight" : estimatedColumnNames[p]) +
                   ": a sample needs weight and My, TimeToOri, PopSizeOriTha, PopSizePreTha, "
                   "PopSizeOriSue, PopSizePreSue (foundabc-summary --table FILE --sample OUT "
                   "writes one)";

    for (long lineNo = 2; nextLine(text, pos, line); ++lineNo) {
        if (line.find_first_not_of(" \t") == std::string_view::npos) continue;
        const std::string at = name + ", line " + std::to_string(lineNo) + ": ";
        const std::vector<std::string_view> fields = splitTabs(line);
        if (fields.size() != header.size())
            return at + std::to_string(fields.size()) + " fields where the header has " +
                   std::to_string(header.size());
        auto number = [&](int column, const std::string& what, double& value) -> std::string {
            const std::string_view token = fields[static_cast<std::size_t>(column)];
            if (parseTableNumber(token, value) && std::isfinite(value)) return "";
            return at + what + " is not a finite number ('" + std::string(token) + "')";
        };
        double weight = 0;
        std::array<double, numbDrawnParams> values{};
        why = number(weightAt, "weight", weight);
        for (std::size_t p = 0; why.empty() && p < numbDrawnParams; ++p)
            why =
                number(used[p], std::string(header[static_cast<std::size_t>(used[p])]), values[p]);
        if (!why.empty()) return why;
        if (weight < 0) return at + "the weight is negative";
        if (weight > 0) {
            why = parameterSetFault(values);
            if (!why.empty()) return at + why;
            ++rows.positive;
        }
        rows.values.push_back(values);
        rows.weights.push_back(weight);
    }
    if (rows.positive == 0) return name + " has no row of positive weight, so nothing can be drawn";
    return "";
}

std::string readSampleFile(const std::string& path, SampleRows& rows) {
    // zlib reads a plain file as it is, so one reader serves both.
    std::unique_ptr<gzFile_s, GzClose> file(gzopen(path.c_str(), "rb"));
    if (!file) return "cannot open " + path;
    std::string text;
    char buffer[1 << 16];
    for (;;) {
        const int n = gzread(file.get(), buffer, sizeof buffer);
        if (n < 0) return "cannot read " + path + " (damaged compressed file?)";
        if (n == 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    // zlib ends a stream cut short without an error from gzread: only its
    // state tells. Such a sample may lack rows, or end inside a value that
    // still reads as a shorter number, so it is not used.
    int code = Z_OK;
    const char* message = gzerror(file.get(), &code);
    if (code != Z_OK)
        return path + " is cut short or damaged (" + message + "): write the sample again";
    return parseSampleText(text, path, rows);
}

std::string formatSample(const std::vector<long>& sims, const std::vector<std::string>& names,
                         const std::vector<const std::vector<double>*>& columns) {
    std::string text = "sim";
    for (const std::string& name : names) (text += '\t') += name;
    text += '\n';
    for (std::size_t r = 0; r < sims.size(); ++r) {
        text += std::to_string(sims[r]);
        for (const std::vector<double>* column : columns) appendTableNumber(text += '\t', (*column)[r]);
        text += '\n';
    }
    return text;
}
