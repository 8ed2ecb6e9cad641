#include "sim/Topology.h"

#include <gsl/gsl_rng.h>

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

namespace {

int32_t takeUniformly(std::vector<int32_t>& active) {
    const double u = gsl_rng_uniform_pos(r);
    const int p = pick(u, static_cast<int>(active.size()));
    const int32_t node = active[p];
    active.erase(active.begin() + p);
    return node;
}

}  // namespace

void createTopologyInto(int n, int m, std::vector<Genealogy::Triple>& triples,
                        std::vector<int32_t>& active) {
    triples.resize(static_cast<size_t>(n - m));
    active.clear();
    for (int32_t leaf = 1; leaf <= n; ++leaf) active.push_back(leaf);

    for (int i = 0; i < n - m; ++i) {
        const int32_t parent = n + i + 1;
        const int32_t first = takeUniformly(active);
        const int32_t second = takeUniformly(active);
        active.push_back(parent);
        triples[i] = {parent, first, second};
    }
}

std::vector<Genealogy::Triple> createTopology(int n, int m) {
    std::vector<Genealogy::Triple> triples;
    std::vector<int32_t> active;
    active.reserve(static_cast<size_t>(n));
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
