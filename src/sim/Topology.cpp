#include "sim/Topology.h"

#include <gsl/gsl_rng.h>

#include "sim/Random.h"

namespace {

// Above this many entries the thresholds are walked rather than kept: the
// tables of all smaller lists take k (k + 1) / 2 doubles together.
constexpr int kMaxTabled = 1024;

// The thresholds of every list length 1..built, one after the other: those
// of length k start at k (k - 1) / 2, and entry p of them is t(p + 1), the
// running sum of 1.0 / k formed exactly as the walk forms it. Built on first
// use and kept for the run.
std::vector<double> thresholdTables;
int built = 0;

// The thresholds of a list of k <= kMaxTabled entries.
inline const double* thresholds(int k) {
    if (k > built) {
        thresholdTables.resize(static_cast<size_t>(k) * (k + 1) / 2);
        for (int len = built + 1; len <= k; ++len) {
            double* t = thresholdTables.data() + static_cast<size_t>(len) * (len - 1) / 2;
            double threshold = 0.0;
            for (int p = 0; p < len; ++p) {
                threshold += 1.0 / len;
                t[p] = threshold;
            }
        }
        built = k;
    }
    return thresholdTables.data() + static_cast<size_t>(k) * (k - 1) / 2;
}

// The smallest p with u <= t[p], or k - 1 when there is none. The thresholds
// lie within rounding of (p + 1) / k and increase strictly, so the position
// next to u * k is the place to start looking.
inline int searchThresholds(const double* t, double u, int k) {
    int p = static_cast<int>(u * k);
    if (p > k - 1) p = k - 1;
    if (p < 0) p = 0;
    while (p > 0 && u <= t[p - 1]) --p;
    while (p < k - 1 && u > t[p]) ++p;
    return p;
}

// The rule itself: walk the running-sum thresholds.
int walkThresholds(double u, int k) {
    double threshold = 0.0;
    for (int p = 0; p < k; ++p) {
        threshold += 1.0 / k;
        if (u <= threshold) return p;
    }
    return k - 1;
}

}  // namespace

int pickPosition(double u, int k) {
    // The running-sum thresholds rather than ceil(u * k) - 1: the two can
    // differ by rounding, and the thresholds are the reproducible rule.
    if (k > kMaxTabled) return walkThresholds(u, k);
    return searchThresholds(thresholds(k), u, k);
}

namespace {

int32_t takeUniformly(std::vector<int32_t>& active) {
    const double u = gsl_rng_uniform_pos(r);
    const int k = static_cast<int>(active.size());
    const int p = k > kMaxTabled ? walkThresholds(u, k) : searchThresholds(thresholds(k), u, k);
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
