#pragma once

#include <array>

#include "sim/Columns.h"

// The prior of one drawn parameter, on its natural scale: uniform between the
// bounds, or uniform in the logarithm between them (log-uniform).
struct ParameterPrior {
    bool logUniform = false;
    double lower = 0.0;
    double upper = 0.0;
};
using TablePriors = std::array<ParameterPrior, numbDrawnParams>;

// How the summary sees the prior of one estimated column: its scale and
// bounds, known only for the drawn parameters.
struct ColumnPrior {
    bool known = false;     // false for FracSueMono, which has no prior of its own
    bool logScale = false;  // drawn uniformly on the log10 scale (PRIOR_DISTRIBUTION 1)
    double lower = 0.0;     // bounds in the column's own units (10^bound when logScale)
    double upper = 0.0;
    // The prior's density is flat on its scale between the bounds. A present
    // size is drawn at or above the founding size drawn before it, so its
    // prior is flat only when the founding size's bounds lie below its own.
    bool flat = false;
};
