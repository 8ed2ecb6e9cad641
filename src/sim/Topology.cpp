#include "sim/Topology.h"

#include <gsl/gsl_rng.h>

#include "sim/Random.h"

namespace {

// Above this many entries the thresholds are walked rather than kept: the
// tables of all smaller lists take k (k + 1) / 2 doubles together.
constexpr int kMaxTabled = 1024;

// thresholds(k)[p] is t(p + 1) for a list of k entries: the running sum of
// 1.0 / k formed exactly as the walk forms it. Built on first use and kept.
const double* thresholds(int k) {
    static std::vector<std::vector<double>> tables;
    if (static_cast<int>(tables.size()) <= k) tables.resize(static_cast<size_t>(k) + 1);
    std::vector<double>& t = tables[k];
    if (t.empty()) {
        t.resize(static_cast<size_t>(k));
        double threshold = 0.0;
        for (int p = 0; p < k; ++p) {
            threshold += 1.0 / k;
            t[p] = threshold;
        }
    }
    return t.data();
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
    // differ by rounding, and the thresholds are the reproducible rule. They
    // lie within rounding of (p + 1) / k and increase strictly, so the
    // position next to u * k is the place to start looking for the smallest
    // p with u <= t(p + 1); past t(k) the last position is kept.
    if (k > kMaxTabled) return walkThresholds(u, k);
    const double* t = thresholds(k);
    int p = static_cast<int>(u * k);
    if (p > k - 1) p = k - 1;
    if (p < 0) p = 0;
    while (p > 0 && u <= t[p - 1]) --p;
    while (p < k - 1 && u > t[p]) ++p;
    return p;
}

namespace {

int32_t takeUniformly(std::vector<int32_t>& active) {
    const double u = gsl_rng_uniform_pos(r);
    const int p = pickPosition(u, static_cast<int>(active.size()));
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
