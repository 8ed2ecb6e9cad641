#pragma once

#include <set>
#include <string>

#include "study/StudyFile.h"
#include "study/StudyReport.h"

// The steps of a study, in order, from the data to the report in
// STUDY/report/. Each step prints its line with its time; a step whose
// inputs and settings are those of its last finished run is not redone
// (unless named in `redo`, or "all" is). Errors end the process with a
// message and status 1 before anything is simulated where they can.

struct StudyRunOptions {
    std::set<std::string> redo;  // step names, or "all"
    int threads = -1;            // -1: the study file's
    std::string command;         // the command line that reproduces the study
    std::string shownFolder;     // the study's folder as the user named it, for messages
    // With `slurm`, each table to make is split over the `slurmTasks` tasks of
    // a Slurm job array that run the program `foundabc`, and merged here.
    bool slurm = false;
    int slurmTasks = 0;
    std::string foundabc;
};

// The names of the steps, in order.
const std::vector<std::string>& studyStepNames();

// Runs the study; returns the exit status.
int runStudy(const StudySettings& study, const StudyRunOptions& options);

// The seed of model number `index` (from 0, in the study file's order): the
// study's seed plus the index, so that each model draws its own parameters.
uint64_t modelSeed(uint64_t studySeed, std::size_t index);
