#pragma once

#include <array>

#include "sim/Columns.h"
#include "sim/PriorBounds.h"

// The priors of the table's columns as the summaries take them, from the
// priors of the drawn parameters (all unknown without `priors`): each column
// on the scale it was drawn on, and the present sizes marked flat where their
// prior lies wholly above the founding size's.
std::array<ColumnPrior, numbParamColumns> columnPriors(const TablePriors* priors);
