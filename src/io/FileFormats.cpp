#include "io/FileFormats.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <vector>

namespace {

std::string withoutGz(const std::string& tablePath) {
    const std::string_view gz = ".gz";
    if (tablePath.size() >= gz.size() &&
        tablePath.compare(tablePath.size() - gz.size(), gz.size(), gz) == 0)
        return tablePath.substr(0, tablePath.size() - gz.size());
    return tablePath;
}

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

}  // namespace

std::string tableHeader() {
    std::string header = "sim";
    for (const char* name : estimatedColumnNames) (header += '\t') += name;
    for (const char* name : tableStatNames) (header += '\t') += name;
    header += "\tDS\taccepted\n";
    return header;
}

void appendTableNumber(std::string& out, double value) {
    if (std::isnan(value)) {
        out += "NaN";
    } else if (std::isinf(value)) {
        out += value > 0 ? "Inf" : "-Inf";
    } else {
        // The longest shortest form, "-2.2250738585072014e-308", has 24 characters.
        char text[32];
        const std::to_chars_result r = std::to_chars(text, text + sizeof text, value);
        out.append(text, r.ptr);
    }
}

bool parseTableNumber(std::string_view token, double& value) {
    if (token == "NaN") {
        value = std::numeric_limits<double>::quiet_NaN();
        return true;
    }
    if (token == "Inf" || token == "-Inf") {
        value = token[0] == '-' ? -HUGE_VAL : HUGE_VAL;
        return true;
    }
    const char* end = token.data() + token.size();
    const auto [ptr, ec] = std::from_chars(token.data(), end, value);
    return ec == std::errc() && ptr == end && !token.empty();
}

std::string observedStatisticsPath(const std::string& tablePath) {
    return withoutGz(tablePath) + ".observed.tsv";
}

std::string priorsPath(const std::string& tablePath) {
    return withoutGz(tablePath) + ".priors.tsv";
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
    if (file.complete) text += kCompleteLine + std::to_string(file.simulations) + " simulations\n";
    return text;
}

bool parsePriors(std::string_view text, PriorsFile& file, std::string& error) {
    TablePriors& priors = file.priors;
    file.complete = false;
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
    return true;
}
