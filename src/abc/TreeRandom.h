#pragma once

#include <cstdint>
#include <random>

// The random stream of one tree, a function of the forest's seed and the
// tree's index only, so that a tree is the same whichever thread grows it.
// std::mt19937_64's sequence is fixed by the C++ standard; the standard's
// distributions are not, so the draws below are written here.
class TreeRandom {
  public:
    TreeRandom(unsigned long seed, std::uint64_t tree)
        : engine_(mix(mix(static_cast<std::uint64_t>(seed)) ^ (tree + 0x632be59bd9b4e019ULL))) {}

    // A uniform integer in [0, n). REQUIRES: n > 0.
    std::uint64_t below(std::uint64_t n) {
        // Rejecting the top partial block of 2^64 leaves every residue
        // equally likely.
        const std::uint64_t limit = UINT64_MAX - UINT64_MAX % n;
        std::uint64_t x;
        do x = engine_();
        while (x >= limit);
        return x % n;
    }

  private:
    // splitmix64's finaliser: nearby seeds and tree indices give unrelated
    // states.
    static std::uint64_t mix(std::uint64_t z) {
        z += 0x9e3779b97f4a7c15ULL;
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }

    std::mt19937_64 engine_;
};
