#pragma once

#include <cstddef>
#include <vector>

// A histogram of one column of accepted values, weighted like the summary.
//
// Binning rule: the bins cover [smallest, largest] of the values with
// positive weight, in equal steps; on a log10 scale when `allowLog` is set,
// every such value is positive and the largest exceeds 100 times the smallest
// (values spread over more than two orders of magnitude, as log-uniform
// priors give). The number
// of bins follows Freedman and Diaconis: the range over a bin width of
// 2 IQR / n^(1/3), with the weighted interquartile range on the binning scale
// and n the effective sample size; it falls back to ceil(sqrt(n)) when the IQR
// is 0, and is kept between 1 and 100.
struct Histogram {
    bool logScale = false;
    double low = 0.0;          // lower edge of the first bin, on the binning scale
    double width = 0.0;        // bin width on the binning scale (0 when all values are equal)
    std::vector<double> mass;  // share of the total weight in each bin; sums to 1

    // Edges and centre of bin i in the values' own units (the geometric
    // centre on a log scale).
    double lowerEdge(std::size_t i) const;
    double upperEdge(std::size_t i) const;
    double centre(std::size_t i) const;

    // The centre of the bin holding the most weight (the lowest such bin on
    // ties); NaN for an empty histogram. (The summary's mode is no longer
    // this: see Mode.h.)
    double mode() const;

  private:
    double at(double k) const;
};

// Returns the histogram of `values` (one weight per value, each >= 0). Empty
// (no bins) when no value has positive weight. `forceLog` (for a column whose
// prior is log-uniform) bins on the log scale whenever `allowLog` is set and
// every value is positive, however narrow their spread.
Histogram makeHistogram(const std::vector<double>& values, const std::vector<double>& weights,
                        bool allowLog = true, bool forceLog = false);
