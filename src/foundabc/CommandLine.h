#pragma once

#include <cstdint>
#include <string>

#include "base/Version.h"
#include "sim/ModelVersion.h"

// What the command line asks of a run.
struct CommandLine {
    std::string infile;  // the parameter file
    ModelVersion model = ModelVersion::current;

    // Seeded mode, every run but --clock-seed and --merge: simulation i draws
    // from its own stream of the seed (given with --seed, else a fresh one),
    // so the output does not depend on how the work is split.
    bool seeded = false;
    bool seedGiven = false;
    uint64_t seed = 0;
    // --clock-seed: one generator seeded with the clock in whole seconds, as
    // earlier versions ran, to reproduce their results. Excludes --seed,
    // --threads, --shard and --merge.
    bool clockSeed = false;
    int threads = 1;     // worker threads; 0 on the command line means every core allowed
    int shardIndex = 0;  // K of --shard K/M (1-based); 0 when not sharded
    int shardCount = 0;  // M

    bool merge = false;  // --merge: join the shards of a seeded run
    std::string table;   // --table FILE: the reference table; empty for none

    bool check = false;  // --check: check the settings instead of running
    // --allow-many-mutations: run priors whose worst branch expects more than
    // kMutationsPerBranchLimit mutations.
    bool allowManyMutations = false;

    // --simulate-data OUT --at LIST [--missing P]: write a pseudo-observed
    // data set instead of running (see PseudoData.h).
    std::string simulateData;
    bool genepop = false;  // --format genepop: the pseudo-observed data as Genepop
    std::string at;
    double missing = 0.0;
    // --from-sample FILE: draw the parameters from a sample (seeded mode).
    std::string fromSample;
};

// Reads the command line: options first, then exactly one parameter file.
// Prints the help or the version and exits with status 0 when asked; prints
// a message and exits with status 1 on an unknown or malformed option, and
// prints "Not enough arguments (infile): " with the files given and what to
// do, and exits with status 1, unless exactly one parameter file is given, or
// when --clock-seed is combined with an option it excludes. --threads 0 is
// resolved to the number of cores the process may run on.
CommandLine parseCommandLine(int argc, char* argv[]);

// Number of cores this process may run on (its CPU affinity), at least 1.
int allowedCores();
