#pragma once

#include <array>

#include "sim/Columns.h"
#include "sim/PriorBounds.h"

// The priors of the table's columns as the summaries take them, from the
// priors of the drawn parameters (all unknown without `priors`): each column
// on the scale it was drawn on, and the present sizes marked flat where their
// prior lies wholly above the founding size's. `gsmP`, the prior of GsmP when
// the priors file gives one, fills its slot (uniform, flat); without it the
// slot is unknown like the others. Returned by value, one per slot.
std::array<ColumnPrior, numbParamSlots> columnPriors(const TablePriors* priors,
                                                     const ParameterPrior* gsmP = nullptr);
