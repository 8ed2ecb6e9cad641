#include "abc/Binning.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "abc/Parallel.h"

double Binning::threshold(std::size_t col, std::uint32_t below, std::uint32_t above) const {
    if (above >= binCount[col]) return std::numeric_limits<double>::infinity();
    const double a = highest[col][below], c = lowest[col][above];
    // Halves first: no overflow for values near the largest double.
    double mid = a / 2 + c / 2;
    // Between two adjacent doubles the midpoint rounds onto one of them; it
    // must stay below c so that c goes right.
    if (!(mid < c)) mid = a;
    if (mid < a) mid = a;
    return mid;
}

namespace {

// The bins of one column: consecutive runs of the sorted present values of
// about equal size, each run extended so that it ends at a change of value.
void binColumn(const FeatureMatrix& x, std::size_t col, std::size_t maxBins, Binning& out) {
    const double* v = x.column(col);
    std::vector<double> sorted;
    sorted.reserve(x.rows);
    for (std::size_t r = 0; r < x.rows; ++r)
        if (!std::isnan(v[r])) sorted.push_back(v[r]);
    std::sort(sorted.begin(), sorted.end());
    std::vector<double> lows, highs;
    const std::size_t m = sorted.size();
    std::size_t distinct = 0;
    for (std::size_t i = 0; i < m; ++i)
        if (i == 0 || sorted[i] != sorted[i - 1]) ++distinct;
    if (distinct <= maxBins) {
        for (std::size_t i = 0; i < m; ++i)
            if (i == 0 || sorted[i] != sorted[i - 1]) {
                lows.push_back(sorted[i]);
                highs.push_back(sorted[i]);
            }
    } else {
        std::size_t start = 0;
        for (std::size_t b = 0; start < m; ++b) {
            // Aim the end of bin b at the (b+1)/maxBins quantile, past the
            // start, then on to the end of its run of equal values.
            std::size_t end = std::max(start + 1, (b + 1) * m / maxBins);
            if (b + 1 >= maxBins) end = m;
            end = std::min(end, m);
            while (end < m && sorted[end] == sorted[end - 1]) ++end;
            lows.push_back(sorted[start]);
            highs.push_back(sorted[end - 1]);
            start = end;
        }
    }
    const std::uint32_t bins = static_cast<std::uint32_t>(lows.size());
    std::uint16_t* codes = out.codes.data() + col * x.rows;
    for (std::size_t r = 0; r < x.rows; ++r) {
        if (std::isnan(v[r])) {
            codes[r] = static_cast<std::uint16_t>(bins);
            continue;
        }
        // The first bin whose highest value is not below v.
        codes[r] = static_cast<std::uint16_t>(std::lower_bound(highs.begin(), highs.end(), v[r]) -
                                              highs.begin());
    }
    out.binCount[col] = bins;
    out.lowest[col] = std::move(lows);
    out.highest[col] = std::move(highs);
}

}  // namespace

Binning binFeatures(const FeatureMatrix& x, int maxBins, int threads) {
    if (maxBins < 2 || maxBins > 65535)
        throw std::invalid_argument("forest: the number of bins must be between 2 and 65535");
    Binning out;
    out.rows = x.rows;
    out.codes.assign(x.rows * x.cols, 0);
    out.binCount.assign(x.cols, 0);
    out.lowest.resize(x.cols);
    out.highest.resize(x.cols);
    forEachIndex(x.cols, threads, [&](std::size_t col) {
        binColumn(x, col, static_cast<std::size_t>(maxBins), out);
    });
    return out;
}
