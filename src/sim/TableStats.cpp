#include "sim/TableStats.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "sim/Columns.h"
#include "sim/SummaryStats.h"

namespace {

constexpr int32_t kMissing = -9;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// A mean over the loci where a statistic is defined, added in locus order.
struct LocusMean {
    double sum = 0.0;
    int64_t count = 0;
    void add(double value) {
        sum += value;
        ++count;
    }
    double mean() const { return count > 0 ? sum / static_cast<double>(count) : kNaN; }
};

// The standard deviation of `values` (denominator size - 1), taken about
// their mean in a second pass so that nothing cancels; not a number for
// fewer than two values.
double standardDeviation(const std::vector<double>& values) {
    if (values.size() < 2) return kNaN;
    double sum = 0.0;
    for (double v : values) sum += v;
    const double mean = sum / static_cast<double>(values.size());
    double squares = 0.0;
    for (double v : values) squares += (v - mean) * (v - mean);
    return std::sqrt(squares / static_cast<double>(values.size() - 1));
}

// Number, smallest and largest of the values of row[first..end) that count.
struct Extent {
    int64_t n = 0;
    int32_t lo = std::numeric_limits<int32_t>::max();
    int32_t hi = std::numeric_limits<int32_t>::min();
};

template <bool kSkipMissing>
Extent extentOf(const int32_t* values, int size) {
    Extent e;
    for (int j = 0; j < size; ++j) {
        const int32_t v = values[j];
        if (kSkipMissing && v == kMissing) continue;
        ++e.n;
        e.lo = std::min(e.lo, v);
        e.hi = std::max(e.hi, v);
    }
    return e;
}

template <bool kSkipMissing>
void countInto(const int32_t* values, int size, int32_t lo, int32_t* counts) {
    for (int j = 0; j < size; ++j) {
        const int32_t v = values[j];
        if (kSkipMissing && v == kMissing) continue;
        ++counts[static_cast<int64_t>(v) - lo];
    }
}

template <bool kSkipMissing>
void sortedInto(const int32_t* values, int size, std::vector<int32_t>& out) {
    out.clear();
    for (int j = 0; j < size; ++j)
        if (!kSkipMissing || values[j] != kMissing) out.push_back(values[j]);
    std::sort(out.begin(), out.end());
}

using Distinct = TableStatsScratch::Distinct;

// The locus's distinct values in ascending order, as offsets from `lo`, with
// the number of lines of each population holding them.
struct DistinctList {
    const Distinct* begin;
    const Distinct* end;
};

// Fills the front of scratch.distinct with the locus's distinct values.
// Alleles of one locus lie in a narrow range, so this is a count per value;
// values far apart (possible in observed data) are sorted instead. The list
// is written through a plain pointer: it is kept at least as long as needed,
// so no entry pays for a growth check.
template <bool kSkipMissing>
DistinctList distinctValues(const int32_t* sue, int sueLines, const int32_t* tha, int thaLines,
                            int32_t lo, int32_t hi, int64_t numbValues, TableStatsScratch& s) {
    const int64_t range = static_cast<int64_t>(hi) - lo;
    if (range <= 4 * numbValues + 64) {
        const size_t size = static_cast<size_t>(range) + 1;
        if (s.countSue.size() < size) {
            s.countSue.resize(size, 0);
            s.countTha.resize(size, 0);
        }
        const size_t most = static_cast<size_t>(std::min<int64_t>(range + 1, numbValues));
        if (s.distinct.size() < most) s.distinct.resize(most);
        Distinct* out = s.distinct.data();
        countInto<kSkipMissing>(sue, sueLines, lo, s.countSue.data());
        countInto<kSkipMissing>(tha, thaLines, lo, s.countTha.data());
        // Read each count once and set it back to zero for the next locus.
        for (size_t d = 0; d < size; ++d) {
            const int32_t cs = s.countSue[d];
            const int32_t ct = s.countTha[d];
            if ((cs | ct) == 0) continue;
            *out++ = {static_cast<int64_t>(d), cs, ct};
            s.countSue[d] = 0;
            s.countTha[d] = 0;
        }
        return {s.distinct.data(), out};
    }
    sortedInto<kSkipMissing>(sue, sueLines, s.sortedSue);
    sortedInto<kSkipMissing>(tha, thaLines, s.sortedTha);
    size_t i = 0;
    size_t k = 0;
    const size_t ns = s.sortedSue.size();
    const size_t nt = s.sortedTha.size();
    if (s.distinct.size() < ns + nt) s.distinct.resize(ns + nt);
    Distinct* out = s.distinct.data();
    while (i < ns || k < nt) {
        int32_t v = i < ns ? s.sortedSue[i] : s.sortedTha[k];
        if (k < nt) v = std::min(v, s.sortedTha[k]);
        Distinct entry{static_cast<int64_t>(v) - lo, 0, 0};
        for (; i < ns && s.sortedSue[i] == v; ++i) ++entry.sue;
        for (; k < nt && s.sortedTha[k] == v; ++k) ++entry.tha;
        *out++ = entry;
    }
    return {s.distinct.data(), out};
}

// What one population contributes at one locus.
struct GroupLocus {
    int64_t n = 0;
    int64_t numbDistinct = 0;
    int64_t sumSquaredCounts = 0;  // sum_a c_a^2
    int64_t sumOffsets = 0;        // sum of (value - lo), exact in 64 bits
    int64_t minOffset = 0;
    int64_t maxOffset = 0;
    int64_t gaps = 0;  // neighbouring distinct values more than one apart
    double meanOffset() const { return static_cast<double>(sumOffsets) / static_cast<double>(n); }
    // n/(n-1) (1 - sum_a (c_a/n)^2), written over one division so that small
    // counts give the correctly rounded value.
    double heterozygosity() const {
        return static_cast<double>(n * n - sumSquaredCounts) / static_cast<double>(n * (n - 1));
    }
};

void addCount(GroupLocus& g, int64_t offset, int64_t count) {
    if (count == 0) return;
    if (g.n == 0)
        g.minOffset = offset;
    else if (offset - g.maxOffset > 1)
        ++g.gaps;
    g.maxOffset = offset;
    g.n += count;
    ++g.numbDistinct;
    g.sumSquaredCounts += count * count;
    g.sumOffsets += count * offset;
}

// Sum of squared deviations from the mean, taken about the mean (not as
// sum x^2 - n mean^2) so that nothing cancels.
template <typename CountOf>
double squaredDeviations(DistinctList distinct, double mean, CountOf countOf) {
    double sum = 0.0;
    for (const Distinct* e = distinct.begin; e != distinct.end; ++e) {
        const int32_t c = countOf(*e);
        if (c == 0) continue;
        const double dev = static_cast<double>(e->offset) - mean;
        sum += static_cast<double>(c) * (dev * dev);
    }
    return sum;
}

struct Means {
    LocusMean nal[2], het[2], var[2], mgw[2], dm2, fst, gap[2];
};

template <bool kSkipMissing>
void addLocus(const std::vector<int32_t>& row, int sueLines, int thaLines, TableStatsScratch& s,
              Means& m) {
    const int32_t* sue = row.data();
    const int32_t* tha = row.data() + sueLines;
    const Extent es = extentOf<kSkipMissing>(sue, sueLines);
    const Extent et = extentOf<kSkipMissing>(tha, thaLines);
    const int64_t numbValues = es.n + et.n;
    if (numbValues == 0) return;  // nothing is defined at this locus
    const int32_t lo = std::min(es.lo, et.lo);
    const int32_t hi = std::max(es.hi, et.hi);
    const DistinctList distinct =
        distinctValues<kSkipMissing>(sue, sueLines, tha, thaLines, lo, hi, numbValues, s);

    GroupLocus g[2];
    int64_t pooledSquaredCounts = 0;
    for (const Distinct* e = distinct.begin; e != distinct.end; ++e) {
        addCount(g[0], e->offset, e->sue);
        addCount(g[1], e->offset, e->tha);
        const int64_t c = int64_t{e->sue} + e->tha;
        pooledSquaredCounts += c * c;
    }

    double mean[2] = {0.0, 0.0};
    double het[2] = {0.0, 0.0};
    for (int p = 0; p < 2; ++p) {
        const GroupLocus& q = g[p];
        if (q.n < 1) continue;
        mean[p] = q.meanOffset();
        m.nal[p].add(static_cast<double>(q.numbDistinct));
        m.mgw[p].add(static_cast<double>(q.numbDistinct) /
                     static_cast<double>(q.maxOffset - q.minOffset + 1));
        if (q.numbDistinct >= 2)
            m.gap[p].add(static_cast<double>(q.gaps) / static_cast<double>(q.numbDistinct - 1));
        if (q.n < 2) continue;
        het[p] = q.heterozygosity();
        m.het[p].add(het[p]);
        s.hetOf[p].push_back(het[p]);
        const double ss =
            p == 0 ? squaredDeviations(distinct, mean[p], [](const auto& e) { return e.sue; })
                   : squaredDeviations(distinct, mean[p], [](const auto& e) { return e.tha; });
        const double var = ss / static_cast<double>(q.n - 1);
        m.var[p].add(var);
        s.varOf[p].push_back(var);
    }
    if (g[0].n >= 1 && g[1].n >= 1) {
        const double delta = mean[0] - mean[1];
        m.dm2.add(delta * delta);
    }
    if (g[0].n >= 2 && g[1].n >= 2) {
        const double pooled = static_cast<double>(numbValues * numbValues - pooledSquaredCounts) /
                              static_cast<double>(numbValues * (numbValues - 1));
        if (pooled > 0.0) m.fst.add(1.0 - 0.5 * (het[0] + het[1]) / pooled);
    }
}

}  // namespace

static_assert(TableStatistics::kCount == numbTableStats);

const std::array<const char*, TableStatistics::kCount>& tableStatisticNames() {
    return tableStatNames;
}

TableStatistics tableStatistics(const AlleleMatrix& alleleMatrix, int sueLines, int thaLines,
                                int numbLoci, AlleleSource source, TableStatsScratch& scratch) {
    const int totalLines = sueLines + thaLines;
    const std::array<double, 2> S =
        source == AlleleSource::kObserved
            ? computeSD_real(alleleMatrix, totalLines, sueLines, numbLoci)
            : computeSD(alleleMatrix, totalLines, sueLines, numbLoci);
    return tableStatistics(alleleMatrix, sueLines, thaLines, numbLoci, source, S, scratch);
}

TableStatistics tableStatistics(const AlleleMatrix& alleleMatrix, int sueLines, int thaLines,
                                int numbLoci, AlleleSource source, const std::array<double, 2>& S,
                                TableStatsScratch& scratch) {
    Means m;
    for (int p = 0; p < 2; ++p) {
        scratch.hetOf[p].clear();
        scratch.varOf[p].clear();
    }
    for (int l = 0; l < numbLoci; ++l) {
        const std::vector<int32_t>& row = alleleMatrix[static_cast<size_t>(l)];
        if (source == AlleleSource::kObserved)
            addLocus<true>(row, sueLines, thaLines, scratch, m);
        else
            addLocus<false>(row, sueLines, thaLines, scratch, m);
    }
    TableStatistics t;
    t.S_sue = S[0];
    t.S_tha = S[1];
    t.NAL_sue = m.nal[0].mean();
    t.NAL_tha = m.nal[1].mean();
    t.HET_sue = m.het[0].mean();
    t.HET_tha = m.het[1].mean();
    t.VAR_sue = m.var[0].mean();
    t.VAR_tha = m.var[1].mean();
    t.MGW_sue = m.mgw[0].mean();
    t.MGW_tha = m.mgw[1].mean();
    t.DM2 = m.dm2.mean();
    t.FST = m.fst.mean();
    t.SDHET_sue = standardDeviation(scratch.hetOf[0]);
    t.SDHET_tha = standardDeviation(scratch.hetOf[1]);
    t.SDVAR_sue = standardDeviation(scratch.varOf[0]);
    t.SDVAR_tha = standardDeviation(scratch.varOf[1]);
    t.GAP_sue = m.gap[0].mean();
    t.GAP_tha = m.gap[1].mean();
    return t;
}
