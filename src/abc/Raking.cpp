#include "abc/Raking.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace {

// The bin of every row of one margin and the target's mass in each bin.
struct MarginBins {
    std::vector<std::size_t> bin;  // per row
    std::vector<double> target;    // per bin
};

MarginBins cutMargin(const RakingMargin& margin, std::size_t bins) {
    const std::vector<double>& values = *margin.values;
    const std::vector<double>& target = *margin.target;
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < values.size(); ++i)
        if (target[i] > 0.0) order.push_back(i);
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return values[a] < values[b]; });
    // Upper edges: the smallest value at which the target's cumulative mass
    // reaches k / bins, for k = 1 .. bins - 1; a bin holds the values above
    // the previous edge up to its own.
    std::vector<double> edges;
    double cumulative = 0.0;
    std::size_t k = 1;
    for (std::size_t i : order) {
        cumulative += target[i];
        while (k < bins && cumulative >= static_cast<double>(k) / static_cast<double>(bins)) {
            edges.push_back(values[i]);
            ++k;
        }
    }
    edges.erase(std::unique(edges.begin(), edges.end()), edges.end());
    // Values below the target's least or above its largest have bins of
    // their own, which the target leaves empty: the outer bins do not
    // stretch into a tail the target never reaches.
    const double lowest = order.empty() ? 0.0 : values[order.front()];
    const double highest = order.empty() ? 0.0 : values[order.back()];
    MarginBins out;
    out.bin.resize(values.size());
    out.target.assign(edges.size() + 3, 0.0);
    for (std::size_t i = 0; i < values.size(); ++i) {
        const double v = values[i];
        out.bin[i] = v < lowest    ? 0
                     : v > highest ? edges.size() + 2
                                   : 1 + static_cast<std::size_t>(
                                             std::lower_bound(edges.begin(), edges.end(), v) -
                                             edges.begin());
        out.target[out.bin[i]] += target[i];
    }
    return out;
}

// The current mass of each bin of `m`, summed over the rows of `support`
// (the others weigh 0).
std::vector<double> binMass(const MarginBins& m, const std::vector<double>& weights,
                            const std::vector<std::size_t>& support) {
    std::vector<double> mass(m.target.size(), 0.0);
    for (std::size_t i : support) mass[m.bin[i]] += weights[i];
    return mass;
}

double largestDiscrepancy(const std::vector<MarginBins>& margins, const std::vector<double>& w,
                          const std::vector<std::size_t>& support) {
    double largest = 0.0;
    for (const MarginBins& m : margins) {
        const std::vector<double> mass = binMass(m, w, support);
        for (std::size_t b = 0; b < mass.size(); ++b)
            largest = std::max(largest, std::fabs(mass[b] - m.target[b]));
    }
    return largest;
}

}  // namespace

RakingResult rakeWeights(const std::vector<double>& start, const std::vector<RakingMargin>& margins,
                         std::size_t bins, double tolerance, int maxRounds) {
    std::vector<MarginBins> cut;
    for (const RakingMargin& margin : margins)
        cut.push_back(cutMargin(margin, std::max<std::size_t>(bins, 1)));
    RakingResult result;
    result.weights = start;
    std::vector<double>& w = result.weights;
    // Rows of weight 0 keep it: the passes run over the others only.
    std::vector<std::size_t> support;
    for (std::size_t i = 0; i < w.size(); ++i)
        if (w[i] > 0.0) support.push_back(i);
    result.discrepancy = largestDiscrepancy(cut, w, support);
    while (!(result.discrepancy < tolerance) && result.rounds < maxRounds) {
        for (const MarginBins& m : cut) {
            const std::vector<double> mass = binMass(m, w, support);
            // A bin the target leaves empty is emptied; one the weights
            // leave empty stays so (no row there to carry the mass).
            for (std::size_t i : support) {
                const double have = mass[m.bin[i]];
                w[i] = have > 0.0 ? w[i] * (m.target[m.bin[i]] / have) : 0.0;
            }
        }
        ++result.rounds;
        result.discrepancy = largestDiscrepancy(cut, w, support);
    }
    // Rows the margins cannot hold shrink towards 0 geometrically without
    // reaching it: below the rounding of a total of 1 they are 0.
    for (double& x : w)
        if (x < 1e-15) x = 0.0;
    const double total = std::accumulate(w.begin(), w.end(), 0.0);
    if (total > 0.0)
        for (double& x : w) x /= total;
    result.converged = result.discrepancy < tolerance;
    return result;
}
