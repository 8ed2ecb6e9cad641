#include "io/TableFormat.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <unordered_map>
#include <vector>

#include "sim/Columns.h"

std::string tableHeader(bool withGsmP) {
    std::string header = "sim";
    for (std::size_t c = 0; c < numbEstimatedColumns; ++c) {
        if (withGsmP && c == numbDrawnParams) (header += '\t') += gsmPColumnName;
        (header += '\t') += estimatedColumnNames[c];
    }
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

std::string withoutGz(const std::string& tablePath) {
    const std::string_view gz = ".gz";
    if (tablePath.size() >= gz.size() &&
        tablePath.compare(tablePath.size() - gz.size(), gz.size(), gz) == 0)
        return tablePath.substr(0, tablePath.size() - gz.size());
    return tablePath;
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

std::string headerProblem(const std::vector<std::string_view>& fields,
                          const std::vector<std::string>& expected) {
    // A doubled column first: it would otherwise read as the column it
    // pushed out being missing.
    std::unordered_map<std::string_view, std::size_t> firstColumn;
    for (std::size_t k = 0; k < fields.size(); ++k) {
        const auto [at, isNew] = firstColumn.emplace(fields[k], k);
        if (!isNew && !fields[k].empty())
            return "column '" + std::string(fields[k]) + "' appears twice (columns " +
                   std::to_string(at->second + 1) + " and " + std::to_string(k + 1) + ")";
    }
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

std::size_t statisticsInHeader(const std::vector<std::string_view>& fields) {
    for (std::string_view f : fields)
        for (std::size_t j = numbCoreStats; j < numbTableStats; ++j)
            if (f == tableStatNames[j]) return numbTableStats;
    return numbCoreStats;
}
