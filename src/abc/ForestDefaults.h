#pragma once

#include <cstddef>

#include "abc/Forest.h"

// The forests' settings of a command: `trees`, `threads` (0: every core; the
// result does not depend on it), `seed`, ⌊√features⌋ features tried per
// split (at least 1) and `minNodeSize`.
ForestSettings forestSettingsFor(int trees, int threads, unsigned long seed, std::size_t features,
                                 int minNodeSize);
