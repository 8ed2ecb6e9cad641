#include "summary/Table.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

std::string number(double x, int digits) {
    if (std::isnan(x)) return "NA";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*g", digits, x);
    return buf;
}

// The cells of the table, header first; `digits` significant digits.
std::vector<std::vector<std::string>> cells(const std::vector<ColumnSummary>& summaries,
                                            bool weighted, int digits,
                                            const std::vector<std::string>& header) {
    std::vector<std::vector<std::string>> table = {header};
    for (const ColumnSummary& s : summaries) {
        std::vector<std::string> line = {s.name, std::to_string(s.n)};
        if (weighted) line.push_back(number(s.ess, digits));
        for (double x : {s.mean, s.sd, s.q025, s.q25, s.median, s.q75, s.q975, s.mode})
            line.push_back(number(x, digits));
        table.push_back(std::move(line));
    }
    return table;
}

std::vector<std::string> header(bool weighted, const std::vector<std::string>& names) {
    std::vector<std::string> h = {names[0], names[1]};
    if (weighted) h.push_back(names[2]);
    h.insert(h.end(), names.begin() + 3, names.end());
    return h;
}

}  // namespace

std::string formatTable(const std::vector<ColumnSummary>& summaries, bool weighted) {
    auto table = cells(summaries, weighted, 4,
                       header(weighted, {"Column", "N", "ESS", "Mean", "SD", "Q2.5%", "Q25%",
                                         "Median", "Q75%", "Q97.5%", "Mode"}));
    std::vector<std::size_t> width(table[0].size(), 0);
    for (const auto& line : table)
        for (std::size_t j = 0; j < line.size(); ++j) width[j] = std::max(width[j], line[j].size());

    // The column name left-aligned, the numbers right-aligned, two blanks apart.
    std::string out;
    for (const auto& line : table) {
        std::string text;
        for (std::size_t j = 0; j < line.size(); ++j) {
            std::string pad(width[j] - line[j].size(), ' ');
            text += j == 0 ? line[j] + pad : "  " + pad + line[j];
        }
        out += text + "\n";
    }
    return out;
}

std::string formatTsv(const std::vector<ColumnSummary>& summaries, bool weighted) {
    auto table = cells(
        summaries, weighted, 9,
        header(weighted, {"column", "n", "ess", "mean", "sd", "q2.5", "q25", "median", "q75", "q97.5",
                "mode"}));
    std::string out;
    for (const auto& line : table) {
        for (std::size_t j = 0; j < line.size(); ++j) out += (j ? "\t" : "") + line[j];
        out += "\n";
    }
    return out;
}
