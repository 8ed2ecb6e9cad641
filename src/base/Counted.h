#pragma once

#include <cstddef>
#include <string>

// A count with its noun: "1 tree", "500 trees"; `plural` for a noun whose
// plural is not the singular with an "s" ("1 statistic", "2 statistics" need
// none; "1 child", "2 children" would).
inline std::string counted(std::size_t n, const std::string& singular,
                           const std::string& plural = "") {
    return std::to_string(n) + " " + (n == 1 ? singular : plural.empty() ? singular + "s" : plural);
}
