#include "abc/Mode.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>

#include "abc/Stats.h"

namespace {

constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();
constexpr std::size_t gridPoints = 512;

}  // namespace

double densityMode(const std::vector<double>& values, const std::vector<double>& weights,
                   bool logScale) {
    std::vector<double> xs, ws;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (weights[i] > 0.0) {
            xs.push_back(values[i]);
            ws.push_back(weights[i]);
        }
    }
    if (xs.empty()) return notANumber;
    if (logScale && *std::min_element(xs.begin(), xs.end()) > 0.0) {
        for (double& x : xs) x = std::log10(x);
    } else {
        logScale = false;
    }
    const auto [minIt, maxIt] = std::minmax_element(xs.begin(), xs.end());
    const double low = *minIt, high = *maxIt;
    auto back = [&](double y) { return logScale ? std::pow(10.0, y) : y; };
    // Half the range stays finite for values at both ends of the doubles.
    const double halfRange = high / 2 - low / 2;
    if (!(halfRange > 0.0)) return back(low);

    // Everything below is done on u = (x - low) / range in [0, 1], where
    // neither the values nor their spread can overflow.
    std::vector<double> us(xs.size());
    for (std::size_t i = 0; i < xs.size(); ++i)
        us[i] = std::clamp((xs[i] / 2 - low / 2) / halfRange, 0.0, 1.0);
    const double n = effectiveSize(ws);
    const double sd = weightedSd(us, ws);
    const double iqr = weightedQuantile(us, ws, 0.75) - weightedQuantile(us, ws, 0.25);
    double spread = iqr > 0.0 && iqr / 1.34 < sd ? iqr / 1.34 : sd;
    if (!(spread > 0.0)) spread = 1.0;  // fewer than two rows of weight: a flat guess
    const double bandwidth = 0.9 * spread * std::pow(n, -0.2);

    // Linear binning of the weights onto the grid.
    const double step = 1.0 / (gridPoints - 1);
    std::vector<double> counts(gridPoints, 0.0);
    for (std::size_t i = 0; i < us.size(); ++i) {
        const double at = us[i] / step;
        const std::size_t k = std::min(static_cast<std::size_t>(at), gridPoints - 2);
        const double share = at - static_cast<double>(k);
        counts[k] += ws[i] * (1.0 - share);
        counts[k + 1] += ws[i] * share;
    }
    // The kernel's weights at whole grid steps, cut at four bandwidths.
    const std::size_t reach =
        std::min(gridPoints - 1, static_cast<std::size_t>(std::ceil(4.0 * bandwidth / step)));
    std::vector<double> kernel(reach + 1);
    for (std::size_t d = 0; d <= reach; ++d) {
        const double z = static_cast<double>(d) * step / bandwidth;
        kernel[d] = std::exp(-0.5 * z * z);
    }
    std::vector<double> density(gridPoints, 0.0);
    for (std::size_t k = 0; k < gridPoints; ++k) {
        if (counts[k] == 0.0) continue;
        const std::size_t from = k >= reach ? k - reach : 0;
        const std::size_t to = std::min(gridPoints - 1, k + reach);
        for (std::size_t j = from; j <= to; ++j)
            density[j] += counts[k] * kernel[j > k ? j - k : k - j];
    }
    const std::size_t best = std::max_element(density.begin(), density.end()) - density.begin();
    double u = static_cast<double>(best) * step;
    if (best > 0 && best + 1 < gridPoints) {
        // The vertex of the parabola through the peak and its neighbours.
        const double a = density[best - 1], b = density[best], c = density[best + 1];
        const double curvature = a - 2 * b + c;
        if (curvature < 0.0) u += 0.5 * (a - c) / curvature * step;
    }
    return back(2 * (low / 2 + u * halfRange));
}

std::vector<std::pair<double, double>> valueShares(const std::vector<double>& values,
                                                   const std::vector<double>& weights) {
    std::map<double, double> byValue;
    double total = 0.0;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (!(weights[i] > 0.0)) continue;
        byValue[values[i]] += weights[i];
        total += weights[i];
    }
    std::vector<std::pair<double, double>> shares(byValue.begin(), byValue.end());
    for (auto& share : shares) share.second /= total;
    return shares;
}

double mostFrequentValue(const std::vector<std::pair<double, double>>& shares) {
    if (shares.empty()) return notANumber;
    return std::max_element(shares.begin(), shares.end(),
                            [](const auto& a, const auto& b) { return a.second < b.second; })
        ->first;
}
