#pragma once

#include <gsl/gsl_rng.h>

#include <cstdint>

// Random streams of a seeded run: simulation i (counted from 0 over the whole
// run) draws every random number from a gsl_rng_taus generator whose state is
// a fixed function of the run's seed and i alone, so that what a simulation
// draws does not depend on the thread, process or machine that runs it.
//
// The three 32-bit state words are set directly from a 64-bit mix of (seed,
// i) (SplitMix64), not through gsl_rng_set, whose seeding passes a 32-bit
// value and so offers only 2^32 streams: a run of a million simulations would
// then repeat about a hundred of them.

// Sets `g`, which must be a gsl_rng_taus generator, to the start of the
// stream of simulation `simulation` of the run seeded with `seed`.
void seedSimulationStream(gsl_rng* g, uint64_t seed, uint64_t simulation);

// Sets `g` (gsl_rng_taus) to the start of the second stream of simulation
// `simulation`: the draws of the mutation model's optional parts (the data
// set's P, the locus rates, the step sizes). It is apart from the main stream,
// so a run with the mutation keys draws the same parameters and genealogies as
// a run of the same seed without them.
void seedMutationStream(gsl_rng* g, uint64_t seed, uint64_t simulation);

// One step of SplitMix64: advances `state` and returns the next output.
uint64_t splitMix64(uint64_t& state);
