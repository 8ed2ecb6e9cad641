#include "sim/SummaryStats.h"

#include <algorithm>
#include <cstdint>

namespace {

constexpr int32_t kMissing = -9;

// |a - b| computed in 64 bits, so that extreme observed values cannot overflow.
double absDiff(int32_t a, int32_t b) {
    int64_t d = static_cast<int64_t>(a) - static_cast<int64_t>(b);
    return static_cast<double>(d < 0 ? -d : d);
}

// Sum of |x_j - x_k| over the pairs j < k of row[first..end), added in pair
// order as doubles: the reference form of the statistic.
double pairwiseSum(const std::vector<int32_t>& row, int first, int end) {
    double sum = 0.0;
    for (int j = first; j < end; ++j)
        for (int k = j + 1; k < end; ++k) sum += absDiff(row[j], row[k]);
    return sum;
}

// The same sum without visiting the pairs. Every term is a whole number and
// every partial sum of the pairwise form is at most the total, so while the
// total is at most 2^53 each addition there is exact, and the pairwise form
// gives exactly the total, whatever the order. The total itself is exact in
// 64-bit integers: with the values sorted, x_(i) (i = 1..n) is the larger
// value of i - 1 pairs and the smaller of n - i, so the total is
// sum_i x_(i) (2i - n - 1). Simulated alleles lie in a narrow range, so the
// sort is a count per value. Falls back to the pairwise form when the range
// is wide or the total too large to be exact.
double pairDifferenceSum(const std::vector<int32_t>& row, int first, int end,
                         std::vector<int64_t>& counts) {
    const int64_t n = end - first;
    if (n < 2) return 0.0;
    int32_t lo = row[first];
    int32_t hi = row[first];
    for (int j = first + 1; j < end; ++j) {
        lo = std::min(lo, row[j]);
        hi = std::max(hi, row[j]);
    }
    const int64_t range = static_cast<int64_t>(hi) - lo;
    if (range > 4 * n + 64) return pairwiseSum(row, first, end);

    counts.assign(static_cast<size_t>(range) + 1, 0);
    for (int j = first; j < end; ++j) ++counts[static_cast<size_t>(row[j] - int64_t{lo})];
    // Measured from the smallest value: the weights 2i - n - 1 sum to 0, so
    // the offset drops out. The values of rank before + 1 .. before + c share
    // d, and their weights add up to c (2 before + c - n).
    int64_t total = 0;
    int64_t before = 0;
    for (int64_t d = 0; d <= range; ++d) {
        const int64_t c = counts[static_cast<size_t>(d)];
        if (c == 0) continue;
        total += d * c * (2 * before + c - n);
        before += c;
    }
    constexpr int64_t kExactLimit = int64_t{1} << 53;
    if (total > kExactLimit) return pairwiseSum(row, first, end);
    return static_cast<double>(total);
}

double groupStat(const AlleleMatrix& a, int first, int end, int numbLoci) {
    const int64_t n = end - first;
    const int64_t numbPairs = n * (n - 1) / 2;
    std::vector<int64_t> counts;
    double total = 0.0;
    for (int l = 0; l < numbLoci; ++l) {
        const double locusSum = pairDifferenceSum(a[l], first, end, counts);
        total += locusSum / static_cast<double>(numbPairs);
    }
    return total;
}

double groupStatObserved(const AlleleMatrix& a, int first, int end, int numbLoci) {
    double total = 0.0;
    for (int l = 0; l < numbLoci; ++l) {
        const std::vector<int32_t>& row = a[l];
        double locusSum = 0.0;
        int64_t numbUsed = 0;
        for (int j = first; j < end; ++j) {
            for (int k = j + 1; k < end; ++k) {
                if (row[j] == kMissing || row[k] == kMissing) continue;
                locusSum += absDiff(row[j], row[k]);
                ++numbUsed;
            }
        }
        if (numbUsed > 0) total += locusSum / static_cast<double>(numbUsed);
    }
    return total;
}

}  // namespace

std::array<double, 2> computeSD(const AlleleMatrix& alleleMatrix, int totalLines, int sueLines,
                                int numbLoci) {
    double sue = groupStat(alleleMatrix, 0, sueLines, numbLoci);
    double tha = groupStat(alleleMatrix, sueLines, totalLines, numbLoci);
    return {sue, tha};
}

std::array<double, 2> computeSD_real(const AlleleMatrix& alleleMatrix, int totalLines, int sueLines,
                                     int numbLoci) {
    double sue = groupStatObserved(alleleMatrix, 0, sueLines, numbLoci);
    double tha = groupStatObserved(alleleMatrix, sueLines, totalLines, numbLoci);
    return {sue, tha};
}
