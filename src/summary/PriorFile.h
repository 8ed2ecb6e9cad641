#pragma once

#include <array>
#include <string>

#include "summary/ResultsFile.h"

// The priors of the estimated columns, as a run's parameter file sets them
// (`foundabc-summary --params params.txt`). The summary uses them for the
// scale of each column (log-uniform priors are summarised and drawn on a log
// scale) and to draw the prior beside the posterior.

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

struct PriorSettings {
    std::array<ColumnPrior, numbParamColumns> columns{};
    std::string error;  // empty on success
};

// Reads the prior bounds and PRIOR_DISTRIBUTION from the parameter file at
// `path`. Lines are read as the program reads them: `KEY VALUE # comment`,
// keys in any letter case, lines without '#' ignored; the first line that
// sets a key counts. `error` names the file and the problem when it cannot
// be read, a bound or PRIOR_DISTRIBUTION is missing, or a lower bound is not
// below its upper bound.
PriorSettings readPriorSettings(const std::string& path);
