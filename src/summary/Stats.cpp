#include "summary/Stats.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <utility>

namespace {

constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();

double sum(const std::vector<double>& xs) { return std::accumulate(xs.begin(), xs.end(), 0.0); }

}  // namespace

double epanechnikovWeight(double ds, double h) {
    if (!(std::fabs(ds) < h)) return 0.0;
    double u = ds / h;
    return 1.0 - u * u;
}

double weightedMean(const std::vector<double>& values, const std::vector<double>& weights) {
    double total = sum(weights);
    if (!(total > 0.0)) return notANumber;
    double acc = 0.0;
    for (std::size_t i = 0; i < values.size(); ++i) acc += weights[i] * values[i];
    return acc / total;
}

double weightedSd(const std::vector<double>& values, const std::vector<double>& weights) {
    double total = sum(weights);
    if (!(total > 0.0)) return notANumber;
    double mean = weightedMean(values, weights);
    double squares = 0.0, weightSquares = 0.0;
    for (std::size_t i = 0; i < values.size(); ++i) {
        double d = values[i] - mean;
        squares += weights[i] * d * d;
        weightSquares += weights[i] * weights[i];
    }
    double denominator = total - weightSquares / total;
    // One value of positive weight (or a numerically equivalent case): no spread
    // can be estimated.
    if (!(denominator > 1e-12 * total)) return notANumber;
    return std::sqrt(squares / denominator);
}

double weightedQuantile(const std::vector<double>& values, const std::vector<double>& weights,
                        double p) {
    std::vector<std::pair<double, double>> points;
    for (std::size_t i = 0; i < values.size(); ++i)
        if (weights[i] > 0.0) points.emplace_back(values[i], weights[i]);
    if (points.empty()) return notANumber;
    std::stable_sort(points.begin(), points.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    const std::size_t n = points.size();
    if (n == 1) return points[0].first;

    // Midpoint positions, rescaled to run from 0 (first value) to 1 (last).
    double total = 0.0;
    for (const auto& pt : points) total += pt.second;
    const double low = points.front().second / 2;
    const double span = total - points.front().second / 2 - points.back().second / 2;
    std::vector<double> position(n);
    double cumulative = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        cumulative += points[i].second;
        position[i] = (cumulative - points[i].second / 2 - low) / span;
    }
    position.front() = 0.0;
    position.back() = 1.0;

    p = std::clamp(p, 0.0, 1.0);
    std::size_t upper = std::lower_bound(position.begin(), position.end(), p) - position.begin();
    if (upper == 0) return points[0].first;
    std::size_t lower = upper - 1;
    double gap = position[upper] - position[lower];
    double t = gap > 0.0 ? (p - position[lower]) / gap : 0.0;
    return points[lower].first + t * (points[upper].first - points[lower].first);
}

double effectiveSize(const std::vector<double>& weights) {
    double total = sum(weights), squares = 0.0;
    for (double w : weights) squares += w * w;
    return squares > 0.0 ? total * total / squares : 0.0;
}
