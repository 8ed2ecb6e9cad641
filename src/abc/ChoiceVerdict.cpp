#include "abc/ChoiceVerdict.h"

#include <cmath>
#include <limits>

ChoiceVerdict choiceVerdict(double largestPrior, double errorRate, std::size_t rows,
                            double probability) {
    ChoiceVerdict v;
    v.chance = 1.0 - largestPrior;
    const bool measured = rows > 0;
    v.standardError = measured ? std::sqrt(v.chance * (1.0 - v.chance) / static_cast<double>(rows))
                               : std::numeric_limits<double>::quiet_NaN();
    if (measured && !(errorRate < v.chance - 2.0 * v.standardError))  // NaN too
        v.kind = ChoiceVerdictKind::notApart;
    else if (std::isfinite(probability))
        v.kind = probability >= kFavouredProbability ? ChoiceVerdictKind::favoured
                                                     : ChoiceVerdictKind::tooUncertain;
    else
        v.kind = measured ? ChoiceVerdictKind::betterThanChance : ChoiceVerdictKind::notApart;
    return v;
}
