#pragma once

#include <string>
#include <vector>

#include "study/StudyFile.h"

// The first step of a study: the data as a data file in STUDY/work/
// (converted from the Genepop file as foundabc-import converts it, or the
// data file copied), and each model's parameter file beside it: the shared
// parameter file with the study's keys set, the data's shape, the file names
// and the simulations. Every model's settings are checked here, so that a
// problem stops the study before any simulation.

struct StudyData {
    std::string dataFile;                 // STUDY/work/data.txt
    int sueLines = 0, thaLines = 0, loci = 0;
    long missingValues = 0;               // missing allele values (-9) of the data file
    std::vector<std::string> modelFiles;  // per model: STUDY/work/NAME.params.txt
    bool changed = false;                 // some file's bytes differ from the last run's
};

// The parameter file's name of model `name` in the work folder (relative to
// it, as the run reads its files from there).
std::string modelParametersName(const std::string& name);
std::string modelResultsName(const std::string& name);

// `base`, a parameter file's text, with the value of each key of `settings`
// replaced on the key's first line (its comment kept); an optional key of
// the mutation model that `base` lacks gets a line of its own at the end.
// Returns "" and sets `out`, or names the key that `base` lacks.
std::string overrideSettings(const std::string& base, const std::vector<SettingOverride>& settings,
                             std::string& out);

// Runs the step: returns "" or the problem (naming the file and the key).
std::string prepareStudyData(const StudySettings& study, const std::string& workFolder,
                             StudyData& data);
