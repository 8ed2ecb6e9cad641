#pragma once

#include <cstddef>
#include <string>

// The number of single-character insertions, deletions and substitutions that
// turn `a` into `b` (Levenshtein distance); used to name the key nearest to a
// misspelt one.
std::size_t editDistance(const std::string& a, const std::string& b);
