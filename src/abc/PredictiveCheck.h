#pragma once

#include <array>
#include <string>

#include "sim/Columns.h"
#include "sim/SimulationTable.h"

// The posterior predictive check: a table simulated from parameters drawn
// from the posterior (foundabc --from-sample) holds the statistics that the
// fitted model predicts; an observed statistic far in their tails is one the
// fitted model does not reproduce.

struct PredictiveStatistic {
    double observed = 0.0;
    std::size_t simulations = 0;  // simulations with the statistic defined
    double mean = 0.0;
    double q025 = 0.0, q975 = 0.0;  // the central 95 % interval
    // Two-sided tail probability: twice the smaller of the shares of the
    // simulations at or below and at or above the observed value, at most 1;
    // NaN when the observed value or every simulated one is undefined.
    double tail = 0.0;
};

// The check of every statistic of `table` against `observed`.
std::array<PredictiveStatistic, numbTableStats> predictiveCheck(
    const ReferenceTable& table, const std::array<double, numbTableStats>& observed);
