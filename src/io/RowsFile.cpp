#include "io/RowsFile.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "sim/Columns.h"

namespace {

// The shortest %g text of x that reads back as x, written without an
// exponent when its integer part has at most 17 digits (10, not 1e+01).
std::string shortest(double x) {
    char buf[64];
    int digits = 1;
    for (; digits < 17; ++digits) {
        std::snprintf(buf, sizeof buf, "%.*g", digits, x);
        if (std::strtod(buf, nullptr) == x) break;
    }
    const double magnitude = std::fabs(x);
    if (magnitude >= 1.0 && magnitude < 1e17) {
        const int integerDigits = static_cast<int>(std::floor(std::log10(magnitude))) + 1;
        digits = std::max(digits, integerDigits);
    }
    std::snprintf(buf, sizeof buf, "%.*g", digits, x);
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
