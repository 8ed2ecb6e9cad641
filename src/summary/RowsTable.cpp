#include "summary/RowsTable.h"

#include <cstdio>
#include <cstdlib>

namespace {

// The shortest %g text of x that reads back as x.
std::string shortest(double x) {
    char buf[64];
    for (int digits = 1; digits <= 17; ++digits) {
        std::snprintf(buf, sizeof buf, "%.*g", digits, x);
        if (std::strtod(buf, nullptr) == x) break;
    }
    return buf;
}

}  // namespace

std::string formatRows(const RowSelection& selection) {
    std::string out = "run\trep";
    for (const char* name : paramColumnNames) out += std::string("\t") + name;
    out += "\tDS\n";
    for (std::size_t i = 0; i < selection.rows.size(); ++i) {
        const ResultsRow& row = selection.rows[i];
        out += std::to_string(selection.runNumbers[i]) + "\t" + std::to_string(row.rep);
        for (double value : row.values) out += "\t" + shortest(value);
        out += "\t" + shortest(row.ds) + "\n";
    }
    return out;
}
