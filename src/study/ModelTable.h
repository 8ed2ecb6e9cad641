#pragma once

#include <cstdint>
#include <string>

#include "run/SampleDraw.h"

// One model's reference table, made as `foundabc PARAMS --seed SEED --table
// TABLE` makes it (with `--from-sample` when `sample` is given), in the
// current folder: the same bytes, so that every number the study draws from
// it is what the command-line tools give. Progress goes to standard error on
// a terminal. Errors end the process as the run's own do.

// The settings and data of the parameter file `paramsFile` checked as a run
// checks them at its start; "" or the first problem (a data file the run
// cannot read ends the process with the run's message).
std::string checkModelSettings(const std::string& paramsFile);

// Makes the table `tableFile` (and its observed statistics and priors files)
// on `threads` threads (0: every core). The results file that the parameter
// file names is started afresh.
void makeModelTable(const std::string& paramsFile, const std::string& tableFile, uint64_t seed,
                    int threads, const SampleDraw* sample = nullptr);
