#include "sim/SummaryStats.h"

#include <cstdint>

namespace {

constexpr int32_t kMissing = -9;

// |a - b| computed in 64 bits, so that extreme observed values cannot overflow.
double absDiff(int32_t a, int32_t b) {
    int64_t d = static_cast<int64_t>(a) - static_cast<int64_t>(b);
    return static_cast<double>(d < 0 ? -d : d);
}

double groupStat(const AlleleMatrix& a, int first, int end, int numbLoci) {
    const int64_t n = end - first;
    const int64_t numbPairs = n * (n - 1) / 2;
    double total = 0.0;
    for (int l = 0; l < numbLoci; ++l) {
        const std::vector<int32_t>& row = a[l];
        double locusSum = 0.0;
        for (int j = first; j < end; ++j)
            for (int k = j + 1; k < end; ++k) locusSum += absDiff(row[j], row[k]);
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
