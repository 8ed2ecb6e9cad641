#pragma once

#include <gsl/gsl_rng.h>

#include <memory>
#include <vector>

#include "sim/Random.h"

// Installs a freshly seeded gsl_rng_taus as the global generator `r` for the
// lifetime of the object and restores the previous one afterwards.
class TestRng {
public:
    explicit TestRng(unsigned long seed) : previous_(r), own_(gsl_rng_alloc(gsl_rng_taus)) {
        gsl_rng_set(own_, seed);
        r = own_;
    }
    ~TestRng() {
        r = previous_;
        gsl_rng_free(own_);
    }
    TestRng(const TestRng&) = delete;
    TestRng& operator=(const TestRng&) = delete;

    gsl_rng* get() const { return own_; }

    // A copy of the current generator state, to compare after a call:
    // equal states mean the same number of draws were made.
    std::unique_ptr<gsl_rng, void (*)(gsl_rng*)> snapshot() const {
        return {gsl_rng_clone(own_), gsl_rng_free};
    }

private:
    gsl_rng* previous_;
    gsl_rng* own_;
};

// True when two generators of the same type are in the same state.
inline bool sameState(const gsl_rng* a, const gsl_rng* b) {
    size_t n = gsl_rng_size(a);
    if (n != gsl_rng_size(b)) return false;
    const auto* pa = static_cast<const unsigned char*>(gsl_rng_state(a));
    const auto* pb = static_cast<const unsigned char*>(gsl_rng_state(b));
    for (size_t i = 0; i < n; ++i)
        if (pa[i] != pb[i]) return false;
    return true;
}

// Advances `g` by `count` calls of gsl_rng_get (each GSL variate used here
// consumes whole generator outputs, so this reproduces a draw count).
inline void skipDraws(gsl_rng* g, int count) {
    for (int i = 0; i < count; ++i) gsl_rng_get(g);
}
