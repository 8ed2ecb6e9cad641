#pragma once

#include <string>

#include "sim/Priors.h"

// A parameter set given rather than drawn (a pseudo-observed data set's
// values, a row of a posterior sample) must be one the model can simulate:
// the simulation itself would stop part-way, or silently make nonsense, on
// anything else.

// Why the model cannot simulate `values`, or "" when it can: every value must
// be finite; the mutation rate, the time and the four sizes positive; each
// present size above its founding size, since a population grows from its
// founding to the present. The reason names the parameters by their results
// column names (for example "PopSizeOriSue = 10 is not below PopSizePreSue =
// 5").
std::string parameterSetFault(const PriorDraw& values);
