#pragma once

#include <cstdint>
#include <vector>

// Allele values (repeat counts) of every sampled line at every locus: one row
// per locus, in locus order; within a row the `sue` lines come first
// (positions 0..sueLines-1), then the `tha` lines. In observed data -9 marks a
// missing value; simulated values are distances from the ancestral allele 0.
using AlleleMatrix = std::vector<std::vector<int32_t>>;
