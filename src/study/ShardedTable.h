#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One model's reference table made in M shards by other processes (the tasks
// of a cluster job array), each running `foundabc PARAMS --seed SEED --shard
// K/M --table TABLE` in the current folder, and then merged here into the
// very bytes that makeModelTable writes (ModelTable.h) for the same seed.
// Errors end the process as the run's own do.

// The shards of 1..M still to run: those without a complete, sound shard
// file of this very run (seed, settings, data and table). Every other file
// named as a shard of the model's results file (another split, an earlier
// seed or settings, a killed task's unfinished file) is removed, so that
// the merge finds only the shards of this run.
std::vector<int> shardsToRun(const std::string& paramsFile, const std::string& tableFile,
                             uint64_t seed, int M);

// Merges the shards into the table `tableFile` (with its observed statistics
// and priors files) and the results file that the parameter file names, both
// written afresh, and removes the shard files.
void mergeModelTable(const std::string& paramsFile, const std::string& tableFile);
