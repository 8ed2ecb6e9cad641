#pragma once

#include <iosfwd>
#include <string>

// The settings check (`foundabc --check PARAMS_FILE`): reads the parameter
// file, and the data file it names, by the rules of the run's own readers,
// draws nothing and writes nothing but its report. The report, on `out`,
// lists every problem found, each with where it is (file and line) and a
// suggested fix, and ends with "settings OK" or the number of problems.
// Problems are what would stop the run or make it silently do something other
// than the file seems to say. File names are taken from the current folder,
// as the run takes them.
//
// Returns the exit status: 0 when nothing was found, 1 otherwise.
int checkSettings(const std::string& paramsFile, std::ostream& out);

// The number of single-character insertions, deletions and substitutions that
// turn `a` into `b` (Levenshtein distance); used to name the key nearest to a
// misspelt one.
std::size_t editDistance(const std::string& a, const std::string& b);
