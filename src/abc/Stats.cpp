#include "abc/Stats.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <utility>

namespace {

constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();

double sum(const std::vector<double>& xs) { return std::accumulate(xs.begin(), xs.end(), 0.0); }

// A power of two at or just below the largest |x| among the values of
// positive weight (0 when there is none). Sums are taken over x / scale,
// which lie in (-2, 2), so that values near the largest double overflow
// neither a sum nor a difference; dividing by a power of two is exact, so
// ordinary values give the same sums as without scaling.
double largestMagnitude(const std::vector<double>& values, const std::vector<double>& weights) {
    double largest = 0.0;
    for (std::size_t i = 0; i < values.size(); ++i)
        if (weights[i] > 0.0) largest = std::max(largest, std::fabs(values[i]));
    if (!(largest > 0.0)) return 0.0;
    int exponent = 0;
    std::frexp(largest, &exponent);
    return std::ldexp(1.0, exponent - 1);
}

}  // namespace

double epanechnikovWeight(double ds, double h) {
    if (!(std::fabs(ds) < h)) return 0.0;
    double u = ds / h;
    return 1.0 - u * u;
}

double weightedMean(const std::vector<double>& values, const std::vector<double>& weights) {
    double total = sum(weights);
    if (!(total > 0.0)) return notANumber;
    const double scale = largestMagnitude(values, weights);
    if (!(scale > 0.0)) return 0.0;
    double acc = 0.0;
    for (std::size_t i = 0; i < values.size(); ++i)
        if (weights[i] > 0.0) acc += weights[i] * (values[i] / scale);
    return acc / total * scale;
}

double weightedSd(const std::vector<double>& values, const std::vector<double>& weights) {
    double total = sum(weights);
    if (!(total > 0.0)) return notANumber;
    const double scale = largestMagnitude(values, weights);
    double squares = 0.0, weightSquares = 0.0;
    if (scale > 0.0) {
        // Two passes on the scaled values: the mean, then the squared
        // deviations from it.
        double acc = 0.0;
        for (std::size_t i = 0; i < values.size(); ++i)
            if (weights[i] > 0.0) acc += weights[i] * (values[i] / scale);
        const double mean = acc / total;
        for (std::size_t i = 0; i < values.size(); ++i) {
            if (!(weights[i] > 0.0)) continue;
            double d = values[i] / scale - mean;
            squares += weights[i] * d * d;
        }
    }
    for (double w : weights) weightSquares += w * w;
    double denominator = total - weightSquares / total;
    // One value of positive weight (or a numerically equivalent case): no spread
    // can be estimated.
    if (!(denominator > 1e-12 * total)) return notANumber;
    // A spread beyond the largest double (values at both ends of the range)
    // is infinite.
    return std::sqrt(squares / denominator) * scale;
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
    const double a = points[lower].first, b = points[upper].first;
    // The difference of two values far apart in sign can overflow; the
    // weighted average of the two cannot.
    return std::isfinite(b - a) ? a + t * (b - a) : (1.0 - t) * a + t * b;
}

double effectiveSize(const std::vector<double>& weights) {
    double total = sum(weights), squares = 0.0;
    for (double w : weights) squares += w * w;
    return squares > 0.0 ? total * total / squares : 0.0;
}

NullQuantiles nullQuantiles(const std::vector<double>& scores) {
    std::vector<double> numbers;
    for (double s : scores)
        if (!std::isnan(s)) numbers.push_back(s);
    const std::vector<double> ones(numbers.size(), 1.0);
    NullQuantiles q;
    q.count = numbers.size();
    q.median = weightedQuantile(numbers, ones, 0.5);
    q.q95 = weightedQuantile(numbers, ones, 0.95);
    q.q99 = weightedQuantile(numbers, ones, 0.99);
    return q;
}
