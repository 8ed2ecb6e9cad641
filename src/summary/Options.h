#pragma once

#include <cstddef>
#include <string>

// Checks of the values given to foundabc-summary's options. Each returns an
// empty string and sets its result when the text is acceptable, or returns
// the reason it is not, to be printed after the option's name and value.

// `--run K`: a whole number of decimal digits from 1 up that fits a size_t.
std::string parseRunNumber(const std::string& text, std::size_t& number);

// `--bandwidth H`: a finite number above 0 (decimal, with an optional
// exponent; "nan", "inf" and hexadecimal numbers are refused).
std::string parseBandwidth(const std::string& text, double& h);
