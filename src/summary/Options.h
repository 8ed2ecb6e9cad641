#pragma once

#include <cstddef>
#include <string>

#include "abc/Forest.h"

// Checks of the values given to foundabc-summary's options. Each returns an
// empty string and sets its result when the text is acceptable, or returns
// the reason it is not, to be printed after the option's name and value.

// `--run K`: a whole number of decimal digits from 1 up that fits a size_t.
std::string parseRunNumber(const std::string& text, std::size_t& number);

// `--bandwidth H`: a finite number above 0 (decimal, with an optional
// exponent; "nan", "inf" and hexadecimal numbers are refused).
std::string parseBandwidth(const std::string& text, double& h);

// `--trees N` (lowest 1) and `--threads N` (lowest 0: every core): a whole
// number up to 100000. The reason names the option and its value.
std::string parseForestCount(const std::string& option, const std::string& text, int lowest,
                             int& count);

// The forests' settings of a command: `trees`, `threads` (0: every core; the
// result does not depend on it), `seed`, ⌊√features⌋ features tried per
// split (at least 1) and `minNodeSize`.
ForestSettings forestSettingsFor(int trees, int threads, unsigned long seed, std::size_t features,
                                 int minNodeSize);
