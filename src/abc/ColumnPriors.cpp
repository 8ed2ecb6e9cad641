#include "abc/ColumnPriors.h"

std::array<ColumnPrior, numbParamSlots> columnPriors(const TablePriors* priors,
                                                     const ParameterPrior* gsmP) {
    std::array<ColumnPrior, numbParamSlots> columns{};
    if (gsmP != nullptr) columns[gsmPSlot] = {true, false, gsmP->lower, gsmP->upper, true};
    if (priors == nullptr) return columns;
    for (std::size_t c = 0; c < numbDrawnParams; ++c) {
        const ParameterPrior& p = (*priors)[c];
        columns[c] = {true, p.logUniform, p.lower, p.upper, true};
    }
    for (std::size_t c : {3u, 5u}) columns[c].flat = (*priors)[c - 1].upper <= (*priors)[c].lower;
    return columns;
}
