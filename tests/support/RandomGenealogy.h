#pragma once

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "sim/Genealogy.h"

// A random valid genealogy of `startLines` leaves stopped at `endLines` lines:
// each event joins two lines picked uniformly among those still separate.
// Waiting times are multiples of 0.25 from 0 to 1 (0 included), so that sums
// are exact and equal cumulative times are frequent. Draws only from `rng`,
// never from the program's generator.
inline std::unique_ptr<Genealogy> randomGenealogy(std::mt19937& rng, int startLines, int endLines) {
    auto g = std::make_unique<Genealogy>(startLines, endLines);
    std::vector<int32_t> active;
    for (int v = 1; v <= startLines; ++v) active.push_back(v);
    std::uniform_int_distribution<int> quarter(0, 4);
    for (int i = 0; i < g->numbEvents; ++i) {
        std::uniform_int_distribution<size_t> pick(0, active.size() - 1);
        size_t p1 = pick(rng);
        size_t p2 = pick(rng);
        while (p2 == p1) p2 = pick(rng);
        const int32_t parent = startLines + i + 1;
        g->events[i] = {parent, active[p1], active[p2]};
        active[p1] = parent;
        active.erase(active.begin() + static_cast<std::ptrdiff_t>(p2));
        g->eventTimes[i] = 0.25 * quarter(rng);
    }
    return g;
}

// The `sue` and `tha` genealogies of one random locus: 1 to 12 lines each,
// stopped at a random number of top lines.
struct RandomSamples {
    int s, t;  // sampled lines of A (`sue`) and B (`tha`)
    std::unique_ptr<Genealogy> A, B;
};
inline RandomSamples randomSamples(std::mt19937& rng) {
    const int s = 1 + static_cast<int>(rng() % 12);
    const int t = 1 + static_cast<int>(rng() % 12);
    const int endA = 1 + static_cast<int>(rng() % s);
    const int endB = 1 + static_cast<int>(rng() % t);
    auto A = randomGenealogy(rng, s, endA);
    auto B = randomGenealogy(rng, t, endB);
    return {s, t, std::move(A), std::move(B)};
}

// Cumulative time of each event, summed in index order.
inline std::vector<double> cumulativeTimes(const Genealogy& g) {
    std::vector<double> cum;
    double sum = 0.0;
    for (double t : g.eventTimes) cum.push_back(sum += t);
    return cum;
}

// The leaves below each node as a bit mask (bit v - 1 for leaf v), indexed by
// node number. REQUIRES: startLines <= 64 and a valid record.
inline std::vector<uint64_t> leafMasks(const Genealogy& g) {
    std::vector<uint64_t> mask(static_cast<size_t>(g.startLines + g.numbEvents) + 1, 0);
    for (int v = 1; v <= g.startLines; ++v) mask[v] = uint64_t{1} << (v - 1);
    for (const auto& e : g.events) mask[e[0]] = mask[e[1]] | mask[e[2]];
    return mask;
}
