#pragma once

#include <iosfwd>
#include <string>

#include "foundabc/CommandLine.h"

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

// As above for the parameter file of `command`, and checks the options of the
// run given with --check by the run's own rules (a sample of --from-sample,
// the files of --table, the values and the file of --simulate-data, and
// --allow-many-mutations for the number of mutations the priors allow),
// reporting each problem under its option.
int checkSettings(const CommandLine& command, std::ostream& out);
