#include "sim/ParameterSet.h"

#include <cmath>
#include <sstream>

#include "sim/Columns.h"

namespace {

std::string named(int slot, double value) {
    std::ostringstream text;
    text << estimatedColumnNames[static_cast<std::size_t>(slot)] << " = " << value;
    return text.str();
}

}  // namespace

std::string parameterSetFault(const PriorDraw& v) {
    for (int slot = My; slot <= PopSizePreSue; ++slot) {
        if (!std::isfinite(v[slot])) return named(slot, v[slot]) + " is not a finite number";
        if (!(v[slot] > 0)) return named(slot, v[slot]) + " is not positive";
    }
    for (const auto& [ori, pre] :
         {std::pair{PopSizeOriTha, PopSizePreTha}, std::pair{PopSizeOriSue, PopSizePreSue}})
        if (!(v[ori] < v[pre]))
            return named(ori, v[ori]) + " is not below " + named(pre, v[pre]) +
                   ": a population grows from its founding to the present";
    return "";
}
