#include "io/SampleFile.h"

#include <zlib.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>

#include "base/Fnv.h"
#include "io/InputFile.h"
#include "io/PriorsFile.h"
#include "io/TableFormat.h"
#include "sim/Columns.h"
#include "sim/MutationModel.h"
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
    int gsmPAt = -1, gsmPAdjAt = -1;
    if (why.empty()) why = columnOf(gsmPColumnName, gsmPAt);
    if (why.empty()) why = columnOf(std::string(gsmPColumnName) + "_adj", gsmPAdjAt);
    if (!why.empty()) return why;
    // GsmP's adjusted values are its posterior where the estimate made them.
    const int gsmPUsed = gsmPAdjAt >= 0 ? gsmPAdjAt : gsmPAt;
    rows.hasGsmP = gsmPUsed >= 0;
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
        double gsmP = 0;
        if (why.empty() && rows.hasGsmP)
            why = number(gsmPUsed, std::string(header[static_cast<std::size_t>(gsmPUsed)]), gsmP);
        if (!why.empty()) return why;
        if (weight < 0) return at + "the weight is negative";
        if (weight > 0) {
            why = parameterSetFault(values);
            if (!why.empty()) return at + why;
            // P is the chance that a jump goes on by one more repeat, in the
            // range the parameter file allows its prior.
            if (rows.hasGsmP && !(gsmP >= 0 && gsmP < kMaxGsmP))
                return at + std::string(header[static_cast<std::size_t>(gsmPUsed)]) +
                       " must lie in [0, 0.95); got " +
                       std::string(fields[static_cast<std::size_t>(gsmPUsed)]);
            ++rows.positive;
        }
        if (rows.hasGsmP) rows.gsmP.push_back(gsmP);
        rows.values.push_back(values);
        rows.weights.push_back(weight);
    }
    if (rows.positive == 0) return name + " has no row of positive weight, so nothing can be drawn";
    rows.fingerprint = sampleTextFingerprint(text);
    return "";
}

uint64_t sampleTextFingerprint(std::string_view text) {
    Fnv f;
    f.addText(text);
    return f.value();
}

std::string sampleOriginPath(const std::string& samplePath) { return samplePath + ".origin"; }

std::string formatSampleOrigin(const SampleOrigin& origin) {
    std::string text = "# the table that foundabc-summary --table --sample made this sample from\n";
    text += "table\t" + origin.table + "\n";
    text += "sample\t" + fingerprintText(origin.sample) + "\n";
    if (origin.known) {
        text += "settings\t" + fingerprintText(origin.settings) + "\n";
        text += "data\t" + fingerprintText(origin.data) + "\n";
    }
    return text;
}

std::string readSampleOrigin(const std::string& samplePath, SampleOrigin& origin, bool& present) {
    origin = SampleOrigin{};
    const std::string path = sampleOriginPath(samplePath);
    const std::string directory = directoryProblem(path);
    present = directory.empty();
    if (!present) return directory;
    std::ifstream file(path, std::ios::binary);
    present = static_cast<bool>(file);
    if (!file) return errno == ENOENT ? "" : "cannot open " + path + ": " + std::strerror(errno);
    std::string text;
    readWhole(file, text);
    if (file.bad()) return "cannot read " + path;
    bool sawTable = false, sawSample = false, sawSettings = false, sawData = false;
    std::size_t pos = 0;
    std::string_view line;
    for (long lineNo = 1; nextLine(text, pos, line); ++lineNo) {
        if (line.empty() || line.front() == '#') continue;
        const std::size_t tab = line.find('\t');
        const std::string_view key = line.substr(0, tab);
        const std::string_view value = tab == std::string_view::npos ? "" : line.substr(tab + 1);
        const std::string at = path + ", line " + std::to_string(lineNo) + ": ";
        if (key == "table") {
            origin.table = std::string(value);
            sawTable = true;
        } else if (key == "sample" || key == "settings" || key == "data") {
            uint64_t& into = key == "sample" ? origin.sample
                             : key == "settings" ? origin.settings
                                                 : origin.data;
            if (!parseFingerprint(value, into))
                return at + std::string(key) + " is not 16 hex digits";
            (key == "sample" ? sawSample : key == "settings" ? sawSettings : sawData) = true;
        }
    }
    if (!sawTable || !sawSample) return path + " names no table or no sample fingerprint";
    origin.known = sawSettings && sawData;
    return "";
}

std::string readSampleFile(const std::string& path, SampleRows& rows) {
    if (const std::string problem = directoryProblem(path); !problem.empty()) return problem;
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

std::string formatWeightedRows(const ReferenceTable& table, const std::vector<double>& weights) {
    std::vector<long> sims;
    std::array<std::vector<double>, numbParamSlots> values;
    std::vector<double> kept;
    const std::size_t numbParams = table.numbParams();
    for (std::size_t i = 0; i < table.rows(); ++i) {
        if (!(weights[i] > 0.0)) continue;
        sims.push_back(table.simOf(i));
        kept.push_back(weights[i]);
        for (std::size_t c = 0; c < numbParams; ++c) values[c].push_back(table.params[c][i]);
    }
    std::vector<std::string> names = {"weight"};
    std::vector<const std::vector<double>*> columns = {&kept};
    for (std::size_t c = 0; c < numbParams; ++c) {
        names.push_back(paramSlotNames[c]);
        columns.push_back(&values[c]);
    }
    return formatSample(sims, names, columns);
}
