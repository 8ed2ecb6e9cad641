#include "summary/Histogram.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "summary/Stats.h"

namespace {

constexpr std::size_t maxBins = 100;

double toScale(bool logScale, double x) { return logScale ? std::log10(x) : x; }
double fromScale(bool logScale, double y) { return logScale ? std::pow(10.0, y) : y; }

}  // namespace

double Histogram::lowerEdge(std::size_t i) const {
    return fromScale(logScale, low + static_cast<double>(i) * width);
}

double Histogram::upperEdge(std::size_t i) const {
    return fromScale(logScale, low + static_cast<double>(i + 1) * width);
}

double Histogram::centre(std::size_t i) const {
    return fromScale(logScale, low + (static_cast<double>(i) + 0.5) * width);
}

double Histogram::mode() const {
    if (mass.empty()) return std::numeric_limits<double>::quiet_NaN();
    std::size_t best = std::max_element(mass.begin(), mass.end()) - mass.begin();
    return centre(best);
}

Histogram makeHistogram(const std::vector<double>& values, const std::vector<double>& weights,
                        bool allowLog) {
    Histogram h;
    std::vector<double> used, usedWeights;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (weights[i] > 0.0) {
            used.push_back(values[i]);
            usedWeights.push_back(weights[i]);
        }
    }
    if (used.empty()) return h;

    auto [minIt, maxIt] = std::minmax_element(used.begin(), used.end());
    const double smallest = *minIt, largest = *maxIt;
    h.logScale = allowLog && smallest > 0.0 && largest > 100.0 * smallest;
    if (h.logScale)
        for (double& x : used) x = std::log10(x);
    const double low = toScale(h.logScale, smallest);
    const double range = toScale(h.logScale, largest) - low;
    h.low = low;
    if (!(range > 0.0)) {
        h.mass = {1.0};
        return h;
    }

    const double n = effectiveSize(usedWeights);
    const double iqr =
        weightedQuantile(used, usedWeights, 0.75) - weightedQuantile(used, usedWeights, 0.25);
    double bins =
        iqr > 0.0 ? std::ceil(range / (2.0 * iqr / std::cbrt(n))) : std::ceil(std::sqrt(n));
    std::size_t numbBins =
        static_cast<std::size_t>(std::clamp(bins, 1.0, static_cast<double>(maxBins)));
    h.width = range / static_cast<double>(numbBins);
    h.mass.assign(numbBins, 0.0);

    double total = 0.0;
    for (std::size_t i = 0; i < used.size(); ++i) {
        // The largest value falls on the upper edge of the last bin: count it there.
        auto bin = static_cast<std::size_t>((used[i] - low) / h.width);
        bin = std::min(bin, numbBins - 1);
        h.mass[bin] += usedWeights[i];
        total += usedWeights[i];
    }
    for (double& m : h.mass) m /= total;
    return h;
}
