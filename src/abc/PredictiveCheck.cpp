#include "abc/PredictiveCheck.h"

#include <cmath>
#include <limits>

#include "abc/Stats.h"
#include "sim/Columns.h"

std::array<PredictiveStatistic, numbTableStats> predictiveCheck(
    const ReferenceTable& table, const std::array<double, numbTableStats>& observed) {
    std::array<PredictiveStatistic, numbTableStats> check;
    for (std::size_t j = 0; j < numbTableStats; ++j) {
        PredictiveStatistic& s = check[j];
        s.observed = observed[j];
        std::vector<double> values;
        double below = 0, above = 0;
        for (double x : table.stats[j]) {
            if (!std::isfinite(x)) continue;
            values.push_back(x);
            below += x <= observed[j] ? 1 : 0;
            above += x >= observed[j] ? 1 : 0;
        }
        s.simulations = values.size();
        const std::vector<double> ones(values.size(), 1.0);
        s.mean = weightedMean(values, ones);
        s.q025 = weightedQuantile(values, ones, 0.025);
        s.q975 = weightedQuantile(values, ones, 0.975);
        const double n = static_cast<double>(values.size());
        s.tail = std::isfinite(observed[j]) && n > 0
                     ? std::fmin(1.0, 2 * std::fmin(below, above) / n)
                     : std::numeric_limits<double>::quiet_NaN();
    }
    return check;
}
