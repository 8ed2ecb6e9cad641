#include "sim/Topology.h"

#include <gsl/gsl_rng.h>

#include <algorithm>

#include "sim/Random.h"

namespace {

// Above this many entries every pick walks the thresholds.
constexpr int kMaxDirect = 1024;
// How far u * k must lie from a whole number for the direct answer to hold.
constexpr double kMargin = 1e-9;

// The rule itself: walk the running-sum thresholds.
int walkThresholds(double u, int k) {
    double threshold = 0.0;
    for (int p = 0; p < k; ++p) {
        threshold += 1.0 / k;
        if (u <= threshold) return p;
    }
    return k - 1;
}

// The walk's position, mostly without walking. The running sum t(j) of
// fl(1/k) differs from j / k by at most (k + 1) 2^-53 (each of the j
// additions rounds by at most 2^-53 as t <= 1, and fl(1/k) by at most
// 2^-53 / k), that is by at most k (k + 1) 2^-53 < 1.3e-10 on the scale of
// u * k for k <= 1024, and fl(u * k) is off by less than k 2^-53. So when
// u * k lies more than kMargin from every whole number, comparing u with the
// thresholds is comparing u * k with whole numbers, and the walk stops at
// floor(u * k). Only near a threshold (a chance of about 2e-9 per pick), for
// ties, and for the fallback past t(k) does the walk itself decide.
inline int pick(double u, int k) {
    if (k <= kMaxDirect) {
        const double q = u * k;
        const int p = static_cast<int>(q);
        const double frac = q - p;
        if (frac > kMargin && frac < 1 - kMargin) return p;
    }
    return walkThresholds(u, k);
}

}  // namespace

int pickPosition(double u, int k) {
    // The running-sum thresholds rather than ceil(u * k) - 1: the two can
    // differ by rounding, and the thresholds are the reproducible rule.
    return pick(u, k);
}

void createTopologyInto(int n, int m, std::vector<Genealogy::Triple>& triples,
                        std::vector<int32_t>& active) {
    triples.resize(static_cast<size_t>(n - m));
    active.resize(static_cast<size_t>(n));
    for (int32_t leaf = 1; leaf <= n; ++leaf) active[leaf - 1] = leaf;
    int32_t* lines = active.data();
    int size = n;

    for (int i = 0; i < n - m; ++i) {
        const int32_t parent = n + i + 1;
        // The second pick depends only on how many lines remain after the
        // first, so both positions are drawn before the list changes; the
        // second, counted without the first line, is then mapped back.
        const int p1 = pick(gsl_rng_uniform_pos(r), size);
        const int p2 = pick(gsl_rng_uniform_pos(r), size - 1);
        const int at2 = p2 < p1 ? p2 : p2 + 1;
        const int32_t first = lines[p1];
        const int32_t second = lines[at2];
        // Both removed in one pass keeping the order of the others: the lines
        // between the two move down one place, those after both two places.
        const int lo = p1 < at2 ? p1 : at2;
        const int hi = p1 < at2 ? at2 : p1;
        std::copy(lines + lo + 1, lines + hi, lines + lo);
        std::copy(lines + hi + 1, lines + size, lines + hi - 1);
        lines[size - 2] = parent;
        --size;
        triples[i] = {parent, first, second};
    }
}

std::vector<Genealogy::Triple> createTopology(int n, int m) {
    std::vector<Genealogy::Triple> triples;
    std::vector<int32_t> active;
    createTopologyInto(n, m, triples, active);
    return triples;
}

std::unique_ptr<Genealogy> buildGenealogy(int numbLines, int endLines,
                                          std::vector<double> eventTimes) {
    auto gen = std::make_unique<Genealogy>(numbLines, endLines);
    std::vector<int32_t> active;
    createTopologyInto(numbLines, endLines, gen->events, active);
    gen->eventTimes = std::move(eventTimes);
    return gen;
}

void buildGenealogyInto(Genealogy& out, int numbLines, int endLines,
                        const std::vector<double>& eventTimes, std::vector<int32_t>& active) {
    out.startLines = numbLines;
    out.endLines = endLines;
    out.numbEvents = numbLines - endLines;
    createTopologyInto(numbLines, endLines, out.events, active);
    out.eventTimes.assign(eventTimes.begin(), eventTimes.end());
}
