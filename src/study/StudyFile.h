#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// A study: the data, the models compared and how the analysis runs, read
// from a TOML file. Paths are made absolute against the study file's folder,
// so that the study runs the same from wherever it is started.

// A parameter-file key and its value as the study file writes it (a string,
// or a number in its shortest form), to be set in the model's parameter file.
using SettingOverride = std::pair<std::string, std::string>;

struct StudyModel {
    std::string name;                     // the [models.NAME] key
    std::vector<SettingOverride> settings;  // its own keys, in file order
};

// The most tasks of a table's job array: the most shards of a run.
inline constexpr int kMostSlurmTasks = 1000000;

// [slurm]: how `--slurm` splits each table over a Slurm job array.
struct SlurmSettings {
    int tasks = 0;                    // the array's tasks per table; 0: not given
    std::vector<std::string> sbatch;  // further arguments of sbatch, as given
};

struct StudySettings {
    std::string path;    // the study file, absolute
    std::string folder;  // its folder, absolute
    std::string text;    // its bytes, for the report's provenance

    // [data]: a Genepop file (with sue, tha and the repeat units) or a data file.
    std::string genepop, data;
    std::string sue, tha;      // population names or numbers, as foundabc-import takes them
    int repeatUnit = 0;        // every locus's repeat unit; 0: codes are counts
    std::string repeatUnits;   // or a repeat-units file

    // [model]: the shared parameter file, the simulations per model and the
    // keys that override the file for every model.
    std::string parameters;
    long simulations = 0;  // 0: the parameter file's REPEATS
    std::vector<SettingOverride> shared;
    std::vector<StudyModel> models;  // in file order; at least one

    // [run]
    uint64_t seed = 1;
    int threads = 0;           // 0: every core
    bool estimateAll = false;  // estimate = "all"; default "chosen"
    int trees = 500;           // trees of every forest
    long ppcSimulations = 1000;  // simulations of the posterior predictive check

    SlurmSettings slurm;
};

// Reads the study file at `path`. Returns "" and fills `study`, or the first
// problem as "FILE: [TABLE] KEY: what is wrong" (an unknown key or table gets
// the nearest known name as a hint).
std::string readStudyFile(const std::string& path, StudySettings& study);

// Reads a study from `text` as if it were the file `path` (for tests).
std::string parseStudyText(const std::string& text, const std::string& path,
                           StudySettings& study);

// The keys of a parameter file that a study may set ([model] and
// [models.NAME]); the data's shape and the file names are set by the study.
const std::vector<std::string>& studySettingKeys();
