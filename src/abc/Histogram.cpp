#include "abc/Histogram.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "abc/Stats.h"

namespace {

constexpr std::size_t maxBins = 100;

double toScale(bool logScale, double x) { return logScale ? std::log10(x) : x; }
double fromScale(bool logScale, double y) { return logScale ? std::pow(10.0, y) : y; }

}  // namespace

// The point `k` bin widths above `low`. Computed on halves, which are exact,
// so that a point near the largest double is reached without overflowing on
// the way (as low + k * width would when low is near minus that).
double Histogram::at(double k) const {
    return fromScale(logScale, 2.0 * (low / 2 + k * (width / 2)));
}

double Histogram::lowerEdge(std::size_t i) const { return at(static_cast<double>(i)); }

double Histogram::upperEdge(std::size_t i) const { return at(static_cast<double>(i + 1)); }

double Histogram::centre(std::size_t i) const { return at(static_cast<double>(i) + 0.5); }

double Histogram::mode() const {
    if (mass.empty()) return std::numeric_limits<double>::quiet_NaN();
    std::size_t best = std::max_element(mass.begin(), mass.end()) - mass.begin();
    return centre(best);
}

Histogram makeHistogram(const std::vector<double>& values, const std::vector<double>& weights,
                        bool allowLog, bool forceLog) {
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
    h.logScale = allowLog && smallest > 0.0 && (forceLog || largest > 100.0 * smallest);
    if (h.logScale)
        for (double& x : used) x = std::log10(x);
    const double low = toScale(h.logScale, smallest);
    const double high = toScale(h.logScale, largest);
    h.low = low;
    // Half the range: finite even for values at both ends of the doubles,
    // whose full range is not.
    const double halfRange = high / 2 - low / 2;
    if (!(halfRange > 0.0)) {
        h.mass = {1.0};
        return h;
    }

    const double n = effectiveSize(usedWeights);
    const double halfIqr = weightedQuantile(used, usedWeights, 0.75) / 2 -
                           weightedQuantile(used, usedWeights, 0.25) / 2;
    double bins = halfIqr > 0.0 ? std::ceil(halfRange / (2.0 * halfIqr / std::cbrt(n)))
                                : std::ceil(std::sqrt(n));
    // The count is bounded whatever the data give (a NaN included).
    if (!(bins >= 1.0)) bins = 1.0;
    std::size_t numbBins = static_cast<std::size_t>(std::min(bins, static_cast<double>(maxBins)));
    // One bin spanning more than the largest double has no width to store.
    if (numbBins == 1 && !std::isfinite(2 * halfRange)) numbBins = 2;
    h.width = 2 * (halfRange / static_cast<double>(numbBins));
    h.mass.assign(numbBins, 0.0);

    double total = 0.0;
    for (std::size_t i = 0; i < used.size(); ++i) {
        // The largest value falls on the upper edge of the last bin: count it there.
        auto bin = static_cast<std::size_t>((used[i] / 2 - low / 2) / (h.width / 2));
        bin = std::min(bin, numbBins - 1);
        h.mass[bin] += usedWeights[i];
        total += usedWeights[i];
    }
    for (double& m : h.mass) m /= total;
    return h;
}
