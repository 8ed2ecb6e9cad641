#include "io/PriorsFile.h"

#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <utility>
#include <vector>

#include "base/Fail.h"
#include "base/Fnv.h"
#include "io/InputFile.h"
#include "io/SyncFile.h"
#include "io/TableFormat.h"
#include "sim/Columns.h"
#include "sim/PriorBounds.h"

namespace {

std::vector<std::string_view> splitOn(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (std::size_t start = 0;;) {
        const std::size_t at = text.find(separator, start);
        parts.push_back(text.substr(start, at == std::string_view::npos ? at : at - start));
        if (at == std::string_view::npos) return parts;
        start = at + 1;
    }
}

constexpr const char* kPriorsHeader = "parameter\tdistribution\tlower\tupper";
constexpr const char* kCompleteLine = "# complete: ";
constexpr const char* kMadeFromLine = "# made from: ";
constexpr const char* kSettingsLine = "# settings: ";
constexpr const char* kDataLine = "# data: ";

bool startsWith(std::string_view line, const char* prefix) { return line.rfind(prefix, 0) == 0; }

// Whether `line` is meant as the record's source: "# made from" in any
// case, with any blanks after the '#'.
bool madeFromLine(std::string_view line) {
    if (line.empty() || line.front() != '#') return false;
    const std::size_t start = line.find_first_not_of(" \t", 1);
    if (start == std::string_view::npos) return false;
    const std::string_view words = "made from";
    if (line.size() - start < words.size()) return false;
    for (std::size_t k = 0; k < words.size(); ++k)
        if (std::tolower(static_cast<unsigned char>(line[start + k])) != words[k]) return false;
    return true;
}

// Reads the record's source from `line` (madeFromLine) into `file`. The
// record's lines are only ever written by the program: a line written
// otherwise, or a second one that says otherwise, was edited, and then
// nothing proves that the table was drawn from its priors.
void readMadeFrom(std::string_view line, std::size_t lineNumber, PriorsFile& file,
                  std::size_t& seen) {
    TableProvenance& made = file.provenance;
    TableSource source = TableSource::unclear;
    uint64_t sample = 0;
    if (startsWith(line, kMadeFromLine)) {
        const std::string_view what = line.substr(std::string_view(kMadeFromLine).size());
        if (what == "prior")
            source = TableSource::prior;
        else if (what.rfind("sample ", 0) == 0 && parseFingerprint(what.substr(7), sample))
            source = TableSource::sample;
    }
    const std::string at = "line " + std::to_string(lineNumber) + ": ";
    if (source == TableSource::unclear)
        file.warnings.push_back(at + "'" + std::string(line) +
                                "' is not a record this version reads ('# made from: prior' or "
                                "'# made from: sample HEX'), so the table is not taken for draws "
                                "from the priors");
    if (++seen > 1) {
        const bool same = source == made.source && sample == made.sample;
        file.warnings.push_back(at + "a second line '# made from:'" +
                                (same ? "" : ", which contradicts the first") +
                                (same || source == TableSource::sample ||
                                         made.source == TableSource::sample
                                     ? ""
                                     : ", so the table is not taken for draws from the priors"));
        if (same) return;
        // Contradictory lines: a sample named by either wins, since its table
        // must not pass for a prior one; otherwise nothing is certain.
        if (made.source == TableSource::sample) return;
        if (source != TableSource::sample) source = TableSource::unclear;
    }
    made.source = source;
    made.sample = sample;
}

// Ends the run with the reason of the failed call (errno), when it left one.
[[noreturn]] void failWriting(const std::string& path) {
    const int reason = errno;
    fail("error: table: cannot write " + path +
         (reason != 0 ? " (" + std::string(std::strerror(reason)) + ")" : "") + "\n");
}

}  // namespace

std::string priorsPath(const std::string& tablePath) {
    return withoutGz(tablePath) + ".priors.tsv";
}

std::string formatPriors(const PriorsFile& file) {
    const TablePriors& priors = file.priors;
    std::string text = std::string(kPriorsHeader) + "\n";
    for (std::size_t c = 0; c < numbDrawnParams; ++c) {
        text += estimatedColumnNames[c];
        text += priors[c].logUniform ? "\tlog-uniform\t" : "\tuniform\t";
        appendTableNumber(text, priors[c].lower);
        text += '\t';
        appendTableNumber(text, priors[c].upper);
        text += '\n';
    }
    if (file.hasGsmP) {
        text += std::string(gsmPColumnName) + "\tuniform\t";
        appendTableNumber(text, file.gsmP.lower);
        text += '\t';
        appendTableNumber(text, file.gsmP.upper);
        text += '\n';
    }
    const TableProvenance& made = file.provenance;
    if (made.known && made.source != TableSource::unknown) {
        text += kMadeFromLine;
        text +=
            made.source == TableSource::prior ? "prior" : "sample " + fingerprintText(made.sample);
        text += '\n';
        text += kSettingsLine + fingerprintText(made.settings) + '\n';
        text += kDataLine + fingerprintText(made.data) + '\n';
    }
    if (file.complete) text += kCompleteLine + std::to_string(file.simulations) + " simulations\n";
    return text;
}

bool parsePriors(std::string_view text, PriorsFile& file, std::string& error) {
    TablePriors& priors = file.priors;
    file.complete = false;
    file.provenance = TableProvenance{};
    file.warnings.clear();
    bool sawSettings = false, sawData = false;
    std::size_t madeFromLines = 0;
    std::array<bool, numbDrawnParams> seen{};
    std::size_t lineNumber = 0;
    bool sawHeader = false;
    const auto fail = [&](const std::string& problem) {
        error = "line " + std::to_string(lineNumber) + ": " + problem;
        return false;
    };
    for (std::string_view line : splitOn(text, '\n')) {
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) continue;
        if (file.complete) return fail("a line after the closing line");
        if (sawHeader && line.rfind(kCompleteLine, 0) == 0) {
            const std::string_view count = line.substr(std::string_view(kCompleteLine).size());
            const std::string_view unit = " simulations";
            const char* end = count.data() + count.size() - unit.size();
            const auto [ptr, ec] = std::from_chars(count.data(), end, file.simulations);
            if (count.size() <= unit.size() || ec != std::errc() || ptr != end ||
                count.substr(count.size() - unit.size()) != unit || file.simulations < 0)
                return fail("a closing line that is not '# complete: N simulations'");
            file.complete = true;
            continue;
        }
        if (madeFromLine(line)) {
            readMadeFrom(line, lineNumber, file, madeFromLines);
            continue;
        }
        if (sawHeader && (startsWith(line, kSettingsLine) || startsWith(line, kDataLine))) {
            const bool settings = startsWith(line, kSettingsLine);
            const std::size_t skip = std::string_view(settings ? kSettingsLine : kDataLine).size();
            if (!parseFingerprint(line.substr(skip),
                                  settings ? file.provenance.settings : file.provenance.data))
                return fail(std::string("a line '") + (settings ? "# settings:" : "# data:") +
                            "' without its 16 hex digits");
            (settings ? sawSettings : sawData) = true;
            continue;
        }
        // Comments that this version does not write (a later one's, or a
        // person's) are left for the reader that knows them.
        if (line.front() == '#') continue;
        if (!sawHeader) {
            sawHeader = true;
            if (line != kPriorsHeader)
                return fail(
                    "the header must be 'parameter distribution lower upper', "
                    "tab-separated");
            continue;
        }
        const std::vector<std::string_view> fields = splitOn(line, '\t');
        if (fields.size() != 4)
            return fail(std::to_string(fields.size()) + " fields, not the 4 of the header");
        if (fields[0] == gsmPColumnName) {
            if (file.hasGsmP) return fail("parameter 'GsmP' given twice");
            file.hasGsmP = true;
            ParameterPrior& prior = file.gsmP;
            prior.logUniform = false;
            // A chance drawn uniformly; equal bounds fix it.
            if (fields[1] != "uniform" || !parseTableNumber(fields[2], prior.lower) ||
                !parseTableNumber(fields[3], prior.upper) || !(prior.lower >= 0.0) ||
                !(prior.lower <= prior.upper) || !(prior.upper < 1.0))
                return fail("GsmP must be 'uniform' with bounds 0 <= lower <= upper < 1");
            continue;
        }
        std::size_t c = 0;
        while (c < numbDrawnParams && fields[0] != estimatedColumnNames[c]) ++c;
        if (c == numbDrawnParams) return fail("unknown parameter '" + std::string(fields[0]) + "'");
        if (seen[c]) return fail("parameter '" + std::string(fields[0]) + "' given twice");
        seen[c] = true;
        ParameterPrior& prior = priors[c];
        if (fields[1] != "uniform" && fields[1] != "log-uniform")
            return fail("distribution '" + std::string(fields[1]) +
                        "' is neither uniform nor log-uniform");
        prior.logUniform = fields[1] == "log-uniform";
        if (!parseTableNumber(fields[2], prior.lower) ||
            !parseTableNumber(fields[3], prior.upper) || !std::isfinite(prior.lower) ||
            !std::isfinite(prior.upper))
            return fail("the bounds of " + std::string(fields[0]) + " are not finite numbers");
        if (!(prior.lower < prior.upper))
            return fail("the lower bound of " + std::string(fields[0]) + " is not below its upper");
        if (prior.logUniform && !(prior.lower > 0.0))
            return fail("a log-uniform prior needs a positive lower bound (" +
                        std::string(fields[0]) + ")");
    }
    if (!sawHeader) {
        error = "empty file";
        return false;
    }
    for (std::size_t c = 0; c < numbDrawnParams; ++c)
        if (!seen[c]) {
            error = std::string("no row for ") + estimatedColumnNames[c];
            return false;
        }
    // A record missing a part cannot be checked against: only its source is
    // kept. Settings and data without the source are a record whose first
    // line was taken away, from a table that may well be predictive.
    TableProvenance& made = file.provenance;
    if (made.source == TableSource::unknown && (sawSettings || sawData)) {
        made.source = TableSource::unclear;
        file.warnings.push_back(
            "no line '# made from:' beside the lines '# settings:' and '# data:' of the record "
            "of what made the table, so the table is not taken for draws from the priors");
    } else if (made.source != TableSource::unknown && !(sawSettings && sawData)) {
        file.warnings.push_back(std::string("the record of what made the table has no line ") +
                                (sawSettings ? "'# data:'"
                                 : sawData   ? "'# settings:'"
                                             : "'# settings:' nor '# data:'") +
                                ", so a sample made from it cannot be checked against the data");
    }
    made.known = made.source != TableSource::unknown && sawSettings && sawData;
    if (!made.known) made.settings = made.data = 0;
    return true;
}

uint64_t settingsFingerprint(const params& p, ModelVersion model) {
    Fnv f;
    for (int32_t v : {p.number_of_tha_lines, p.number_of_sue_lines, p.number_of_loci,
                      p.prior_distribution, p.conditional_number_of_origins})
        f.addValue(v);
    for (double v :
         {p.alpha, p.my_lower, p.my_upper, p.time_to_origin_lower, p.time_to_origin_upper,
          p.popsize_origin_tha_lower, p.popsize_origin_tha_upper, p.popsize_present_tha_lower,
          p.popsize_present_tha_upper, p.popsize_origin_sue_lower, p.popsize_origin_sue_upper,
          p.popsize_present_sue_lower, p.popsize_present_sue_upper, p.unequal_founding_fractions})
        f.addValue(v);
    f.addValue(static_cast<int32_t>(model));
    // The mutation keys count only where given, so that the fingerprint of a
    // run without them is the one it always was.
    if (p.hasMutationKeys())
        for (double v :
             {p.gsm_p_lower_set ? p.gsm_p_lower : -1.0, p.gsm_p_upper_set ? p.gsm_p_upper : -1.0,
              p.locus_rate_shape_set ? p.locus_rate_shape : -1.0})
            f.addValue(v);
    return f.value();
}

uint64_t dataFingerprint(const std::string& observedLine) {
    Fnv f;
    f.addText(observedLine);
    return f.value();
}

std::string observedValuesLine(const std::array<double, numbTableStats>& values) {
    std::string line;
    for (std::size_t j = 0; j < numbCoreStats; ++j) {
        appendTableNumber(line, values[j]);
        line += '\t';
    }
    return line;
}

uint64_t dataFingerprintOf(const std::array<double, numbTableStats>& values) {
    return dataFingerprint(observedValuesLine(values));
}

std::string fingerprintText(uint64_t value) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

bool parseFingerprint(std::string_view text, uint64_t& value) {
    if (text.size() != 16 || text.find_first_not_of("0123456789abcdef") != std::string_view::npos)
        return false;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    return ec == std::errc() && ptr == text.data() + text.size();
}

TablePriors tablePriors(const params& p) {
    const bool logUniform = p.prior_distribution == 1;
    const std::array<std::pair<double, double>, numbDrawnParams> bounds = {{
        {p.my_lower, p.my_upper},
        {p.time_to_origin_lower, p.time_to_origin_upper},
        {p.popsize_origin_tha_lower, p.popsize_origin_tha_upper},
        {p.popsize_present_tha_lower, p.popsize_present_tha_upper},
        {p.popsize_origin_sue_lower, p.popsize_origin_sue_upper},
        {p.popsize_present_sue_lower, p.popsize_present_sue_upper},
    }};
    TablePriors priors;
    for (std::size_t c = 0; c < numbDrawnParams; ++c) {
        // The draws turn a log10 value x into std::pow(10.0, x): the bounds are
        // turned the same way, so that a draw at a bound equals it exactly.
        const auto natural = [&](double x) { return logUniform ? std::pow(10.0, x) : x; };
        priors[c] = {logUniform, natural(bounds[c].first), natural(bounds[c].second)};
    }
    return priors;
}

void writePriors(const std::string& tablePath, const params& p, const TableProvenance& provenance) {
    PriorsFile file;
    file.provenance = provenance;
    file.priors = tablePriors(p);
    file.hasGsmP = p.hasGsm();
    file.gsmP = {false, p.gsm_p_lower, p.gsm_p_upper};
    const std::string path = priorsPath(tablePath);
    if (!writeSyncedFile(path, formatPriors(file))) failWriting(path);
}

std::string priorsTemporaryPath(const std::string& tablePath) {
    return priorsPath(tablePath) + ".new";
}

void completePriors(const std::string& tablePath, const params& p,
                    const TableProvenance& provenance, long long simulations) {
    PriorsFile file;
    file.provenance = provenance;
    file.priors = tablePriors(p);
    file.hasGsmP = p.hasGsm();
    file.gsmP = {false, p.gsm_p_lower, p.gsm_p_upper};
    file.complete = true;
    file.simulations = simulations;
    // A priors name that is a symbolic link (the table's files kept on
    // another disk, say) stays a link: the complete file replaces the link's
    // target, from a temporary beside it, as every output of the programs is
    // replaced; a rename over the link would leave a plain file in its place.
    std::string path = priorsPath(tablePath), temporary = priorsTemporaryPath(tablePath);
    struct stat entry;
    char resolved[PATH_MAX];
    if (lstat(path.c_str(), &entry) == 0 && S_ISLNK(entry.st_mode) &&
        realpath(path.c_str(), resolved) != nullptr) {
        path = resolved;
        temporary = path + ".new";
    }
    if (!writeSyncedFile(temporary, formatPriors(file))) failWriting(temporary);
    if (std::rename(temporary.c_str(), path.c_str()) != 0) failWriting(path);
    // The rename itself reaches the disk with the folder.
    if (!syncFolderOf(path)) failWriting(path);
}

PriorsRead readPriorsBeside(const std::string& tablePath) {
    PriorsRead read;
    const std::string path = priorsPath(tablePath);
    read.error = directoryProblem(path);
    if (!read.error.empty()) return read;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (errno != ENOENT) read.error = "cannot open the priors file '" + path + "': " + std::strerror(errno);
        return read;
    }
    read.found = true;
    std::string text;
    readWhole(in, text);
    std::string error;
    if (in.bad() || !parsePriors(text, read.file, error))
        read.error = path + ": " + (in.bad() ? std::string("cannot read") : error);
    return read;
}

std::string incompleteTable(const std::string& tablePath, const PriorsRead& read,
                            std::size_t rows) {
    if (!read.found || !read.error.empty()) return "";
    if (!read.file.complete)
        return tablePath +
               ": the table is incomplete: the run that wrote it did not finish (it was killed, "
               "failed or is still running)";
    if (read.file.simulations != static_cast<long long>(rows))
        return tablePath + ": " + std::to_string(rows) +
               " rows read, but the run that wrote the table finished it with " +
               std::to_string(read.file.simulations) + " (cut short or damaged since?)";
    return "";
}
