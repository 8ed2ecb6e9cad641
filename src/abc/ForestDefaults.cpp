#include "abc/ForestDefaults.h"

#include <algorithm>
#include <cmath>
#include <thread>

ForestSettings forestSettingsFor(int trees, int threads, unsigned long seed, std::size_t features,
                                 int minNodeSize) {
    ForestSettings s;
    s.trees = trees;
    s.seed = seed;
    s.minNodeSize = minNodeSize;
    s.mtry = std::max(1, static_cast<int>(std::floor(std::sqrt(static_cast<double>(features)))));
    const unsigned cores = std::thread::hardware_concurrency();
    s.threads = threads > 0 ? threads : static_cast<int>(cores > 0 ? cores : 1);
    return s;
}
