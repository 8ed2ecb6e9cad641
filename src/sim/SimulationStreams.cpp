#include "sim/SimulationStreams.h"

#include <cstring>

uint64_t splitMix64(uint64_t& state) {
    uint64_t z = (state += 0x9e3779b97f4a7c15ull);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
}

namespace {

// The stream of (seed, simulation) in the family `salt`: 0 is the main
// stream; another salt moves the mixed seed, mixed again, to an unrelated
// start, so that the two families of one seed share no stretch of output.
void seedStream(gsl_rng* g, uint64_t seed, uint64_t simulation, uint64_t salt) {
    // The seed is mixed once, and the simulation number then moves the mixer
    // along an odd step: distinct simulations of one seed start SplitMix64 at
    // distinct states, whose outputs are distinct.
    uint64_t base = seed;
    uint64_t mixed = splitMix64(base);
    if (salt != 0) {
        mixed ^= salt;
        mixed = splitMix64(mixed);
    }
    uint64_t state = mixed + simulation * 0xd1b54a32d192ed03ull;
    // The taus generator keeps three words of which it uses the low 32 bits;
    // each word must lie above its lower limit (2, 8 and 16), below which its
    // component generator degenerates.
    unsigned long words[3];
    static const unsigned long lowest[3] = {2, 8, 16};
    for (int k = 0; k < 3; ++k) {
        unsigned long w = static_cast<unsigned long>(splitMix64(state) >> 32);
        if (w < lowest[k]) w += lowest[k];
        words[k] = w;
    }
    static_assert(sizeof(words) == 3 * sizeof(unsigned long), "taus state is three words");
    std::memcpy(gsl_rng_state(g), words, sizeof(words));
    // As gsl_rng_set does, run the generator a few steps before use, so that
    // the first outputs depend on all three words.
    for (int k = 0; k < 6; ++k) gsl_rng_get(g);
}

}  // namespace

void seedSimulationStream(gsl_rng* g, uint64_t seed, uint64_t simulation) {
    seedStream(g, seed, simulation, 0);
}

void seedMutationStream(gsl_rng* g, uint64_t seed, uint64_t simulation) {
    seedStream(g, seed, simulation, 0x6d75746174696f6eull);
}
