#pragma once

#include <string>

#include "sim/ModelVersion.h"

// Version shown by `foundabc --version`.
inline constexpr const char* foundabcVersion = "0.2.0";

// What the command line asks of a run.
struct CommandLine {
    std::string infile;  // the parameter file
    ModelVersion model = ModelVersion::current;
    bool check = false;  // check the settings instead of running
};

// Reads the command line: options first, then exactly one parameter file.
// Prints the help or the version and exits with status 0 when asked; prints
// a message and exits with status 1 on an unknown or malformed option, and
// prints "Not enough arguments (infile)" and exits with status 1 unless
// exactly one parameter file is given.
CommandLine parseCommandLine(int argc, char* argv[]);
