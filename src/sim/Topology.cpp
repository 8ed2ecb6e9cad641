#include "sim/Topology.h"

#include <gsl/gsl_rng.h>

#include "sim/Random.h"

int pickPosition(double u, int k) {
    // Walk the running-sum thresholds rather than computing ceil(u * k) - 1:
    // the two can differ by rounding, and the walk is the reproducible rule.
    double threshold = 0.0;
    for (int p = 0; p < k; ++p) {
        threshold += 1.0 / k;
        if (u <= threshold) return p;
    }
    return k - 1;
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

std::vector<Genealogy::Triple> createTopology(int n, int m) {
    std::vector<Genealogy::Triple> triples(static_cast<size_t>(n - m), Genealogy::Triple{0, 0, 0});
    std::vector<int32_t> active;
    active.reserve(static_cast<size_t>(n));
    for (int32_t leaf = 1; leaf <= n; ++leaf) active.push_back(leaf);

    for (int i = 0; i < n - m; ++i) {
        const int32_t parent = n + i + 1;
        const int32_t first = takeUniformly(active);
        const int32_t second = takeUniformly(active);
        active.push_back(parent);
        triples[i] = {parent, first, second};
    }
    return triples;
}

std::unique_ptr<Genealogy> buildGenealogy(int numbLines, int endLines,
                                          std::vector<double> eventTimes) {
    auto gen = std::make_unique<Genealogy>(numbLines, endLines);
    gen->events = createTopology(numbLines, endLines);
    gen->eventTimes = std::move(eventTimes);
    return gen;
}
