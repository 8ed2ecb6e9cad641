#include "abc/ForestSample.h"

#include "abc/Raking.h"

namespace {

// How closely the sample's mass in a bin must match the forest's: far below
// the Monte Carlo error of that mass (about 0.02 for a bin of 5 % at an
// effective sample size of 100), and within reach of a few hundred rounds.
constexpr double kRakingTolerance = 1e-3;

}  // namespace

ForestSampleWeights forestSampleWeights(const ReferenceTable& table,
                                        const std::array<std::vector<double>, numbParamSlots>& weights) {
    const std::size_t rows = table.rows();
    const std::size_t columns = table.numbParams();
    std::vector<double> mixture(rows, 0.0);
    for (std::size_t c = 0; c < columns; ++c)
        for (std::size_t i = 0; i < rows; ++i)
            mixture[i] += weights[c][i] / static_cast<double>(columns);
    std::vector<RakingMargin> margins;
    for (std::size_t c = 0; c < columns; ++c)
        margins.push_back({&table.params[c], &weights[c]});
    RakingResult best;
    for (std::size_t bins : {20, 10, 5}) {
        RakingResult raked = rakeWeights(mixture, margins, bins, kRakingTolerance, 1000);
        if (best.weights.empty() || raked.discrepancy < best.discrepancy) best = std::move(raked);
        if (best.converged) return {std::move(best.weights), true, best.discrepancy};
    }
    return {std::move(best.weights), false, best.discrepancy};
}
