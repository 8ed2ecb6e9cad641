// foundabc-study as a user runs it: on a copy of the shipped study with
// small tables, it resumes without redoing a step, redoes only what a
// change reaches, gives the same bytes on any number of threads, and its
// numbers are foundabc-summary's own.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

#include "sim/Columns.h"
#include "study/SavedResult.h"
#include "support/ChildProcess.h"

namespace {

std::string shipped(const std::string& name) {
    std::ifstream in(std::string(FOUNDABC_SOURCE_DIR) + "/examples/" + name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

// The shipped study in `dir` (study/ beside the Genepop and units files),
// with tables of `simulations` and forests of 50 trees.
void writeStudy(const TempDir& dir, const std::string& extra = "",
                const std::string& simulations = "400") {
    dir.write("field.gen", shipped("field.gen"));
    dir.write("units.txt", shipped("units.txt"));
    runProgram({"mkdir", "-p", dir.file("study")});
    dir.write("study/base.txt", shipped("study/base.txt"));
    std::string toml = replaced(shipped("study/study.toml"), "simulations = 3000", "simulations = " + simulations);
    toml = replaced(toml, "trees = 200", "trees = 50");
    dir.write("study/study.toml", replaced(toml, "[run]", extra + "[run]"));
}

ChildResult study(const TempDir& dir, std::vector<std::string> args = {}) {
    args.insert(args.begin(), {FOUNDABC_STUDY_BIN, dir.file("study/study.toml")});
    return runProgram(args, dir.path(), dir.file("err.txt"));
}

SavedResult saved(const TempDir& dir, const std::string& step) {
    SavedResult r;
    EXPECT_TRUE(readSavedResult(dir.read("study/work/" + step + ".result"), r)) << step;
    return r;
}

std::string g9(double x) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", x);
    return text;
}

// The fields of line `row` (from 0, the header) of a TSV text.
std::vector<std::string> fields(const std::string& tsv, std::size_t row) {
    std::istringstream lines(tsv);
    std::string line;
    for (std::size_t i = 0; i <= row; ++i) std::getline(lines, line);
    std::vector<std::string> out;
    std::istringstream cells(line);
    for (std::string cell; std::getline(cells, cell, '\t');) out.push_back(cell);
    return out;
}

TEST(StudyProgram, ResumesUnchangedAndRedoesOnlyWhatAChangeReaches) {
    TempDir dir;
    writeStudy(dir);
    ASSERT_EQ(study(dir).exitStatus, 0) << dir.read("err.txt");
    const std::string report = dir.read("study/report/report.md");
    const std::string plainTable = dir.read("study/work/plain.table.tsv");
    const ChildResult again = study(dir);
    ASSERT_EQ(again.exitStatus, 0);
    for (const char* step : {"1/8 import", "2/8 tables", "3/8 choice", "4/8 estimate",
                             "5/8 calibration", "6/8 enough", "7/8 fit"}) {
        const std::size_t at = again.out.find(step);
        ASSERT_NE(at, std::string::npos) << again.out;
        EXPECT_NE(again.out.substr(at, again.out.find('\n', at) - at).find("unchanged"), std::string::npos)
            << again.out;
    }
    EXPECT_EQ(dir.read("study/report/report.md"), report);
    // Tables of 400 leave the fit check too few neighbours: said, not failed.
    EXPECT_NE(again.out.find("; fit check not measured"), std::string::npos) << again.out;
    // A prior of one model: its table and what follows, not the other table.
    writeStudy(dir, "[models.k2.x]\n");  // an unknown table is refused before any work
    EXPECT_EQ(study(dir).exitStatus, 1);
    writeStudy(dir);
    dir.write("study/study.toml",
              replaced(dir.read("study/study.toml"), "CONDITIONAL_NUMBER_OF_ORIGINS = 2",
                       "CONDITIONAL_NUMBER_OF_ORIGINS = 2\nMY_UPPER = 0.03"));
    const ChildResult changed = study(dir);
    ASSERT_EQ(changed.exitStatus, 0) << dir.read("err.txt");
    EXPECT_NE(changed.out.find("plain kept, k2 made"), std::string::npos) << changed.out;
    EXPECT_EQ(changed.out.find("unchanged", changed.out.find("3/8 choice")), std::string::npos)
        << changed.out;
    EXPECT_EQ(dir.read("study/work/plain.table.tsv"), plainTable);
    // --redo redoes a step whose inputs are unchanged.
    const ChildResult redo = study(dir, {"--redo", "fit"});
    EXPECT_NE(redo.out.find("7/8 fit"), std::string::npos);
    EXPECT_EQ(redo.out.find("unchanged", redo.out.find("7/8 fit")), std::string::npos) << redo.out;
}

TEST(StudyProgram, AnyNumberOfThreadsGivesTheSameBytes) {
    TempDir one, two;
    writeStudy(one);
    writeStudy(two);
    ASSERT_EQ(study(one, {"--threads", "1"}).exitStatus, 0) << one.read("err.txt");
    ASSERT_EQ(study(two, {"--threads", "2"}).exitStatus, 0) << two.read("err.txt");
    for (const char* file : {"work/plain.table.tsv", "work/k2.table.tsv", "work/choice.result",
                             "work/estimate.result", "work/calibration.result", "work/enough.result",
                             "work/fit.result", "report/report.md"})
        EXPECT_EQ(one.read(std::string("study/") + file), two.read(std::string("study/") + file)) << file;
}

TEST(StudyProgram, NumbersAreThoseOfTheCommandLineTools) {
    TempDir dir;
    writeStudy(dir);
    ASSERT_EQ(study(dir).exitStatus, 0) << dir.read("err.txt");
    const std::string work = dir.file("study/work");
    // The table is foundabc's, from the model's parameter file and its seed.
    runProgram({FOUNDABC_BIN, "k2.params.txt", "--seed", "2027", "--table", dir.file("k2.tsv")}, work);
    EXPECT_EQ(dir.read("k2.tsv"), dir.read("study/work/k2.table.tsv"));
    // The model choice.
    const ChildResult choose =
        runProgram({FOUNDABC_SUMMARY_BIN, "--choose", "plain.table.tsv", "k2.table.tsv", "--names",
                    "plain", "k2", "--method", "forest", "--trees", "50", "--seed", "2026", "--tsv"},
                   work);
    const SavedResult choice = saved(dir, "choice");
    for (std::size_t m = 0; m < 2; ++m) {
        const std::vector<std::string> row = fields(choose.out, m + 1);
        ASSERT_GE(row.size(), 7u) << choose.out;
        EXPECT_EQ(row[0], choice.choice.models[m]);
        EXPECT_EQ(row[4] == "1", choice.choice.chosen == row[0]);
        EXPECT_EQ(row[6], g9(choice.choice.priorErrorRate));
        EXPECT_EQ(row[5], row[4] == "1" ? g9(choice.choice.chosenProbability) : "NA");
    }
    // The estimates under the chosen model.
    const SavedResult estimate = saved(dir, "estimate");
    const EstimateSection& e = estimate.estimates.at(0);
    const ChildResult table =
        runProgram({FOUNDABC_SUMMARY_BIN, "--table", e.model + ".table.tsv", "--method", "forest",
                    "--trees", "50", "--seed", "2026", "--tsv"},
                   work);
    const std::vector<std::string> header = fields(table.out, 0);
    for (std::size_t c = 0; c < e.lines.size(); ++c) {
        const std::vector<std::string> row = fields(table.out, c + 1);
        ASSERT_EQ(row.size(), header.size()) << table.out;
        for (std::size_t k = 0; k < header.size(); ++k) {
            const EstimateLine& l = e.lines[c];
            const std::vector<std::pair<std::string, std::string>> expected = {
                {"column", l.parameter}, {"median", g9(l.median)}, {"q2.5", g9(l.q025)},
                {"q97.5", g9(l.q975)},   {"mean", g9(l.mean)},     {"oob_error", l.oobError == l.oobError ? g9(l.oobError) : "NA"}};
            for (const auto& [name, value] : expected)
                if (header[k] == name) {
                    EXPECT_EQ(row[k], value) << l.parameter << " " << name;
                }
        }
    }
}

// Tables of 2000 simulations: the fit check's neighbourhood, a twentieth
// of the table, must hold five simulations a statistic.
TEST(StudyProgram, FitChecksAreThoseOfTheCommandLineTools) {
    TempDir dir;
    writeStudy(dir, "", "2000");
    dir.write("study/study.toml", replaced(dir.read("study/study.toml"), "[run]", "[run]\nppc_simulations = 200"));
    ASSERT_EQ(study(dir).exitStatus, 0) << dir.read("err.txt");
    const std::string work = dir.file("study/work");
    const FitSection fit = saved(dir, "fit").fit.at(0);
    const std::string model = fit.model;
    // The sample of the estimate, and the table simulated from it with the
    // seed after the models' own (model k's own is seed + k).
    runProgram({FOUNDABC_SUMMARY_BIN, "--table", model + ".table.tsv", "--method", "forest", "--trees",
                "50", "--seed", "2026", "--sample", dir.file("s.tsv")},
               work);
    EXPECT_EQ(dir.read("s.tsv"), dir.read("study/work/" + model + ".sample.tsv"));
    const std::string seed = std::to_string(2026 + 2 + (model == "plain" ? 0 : 1));
    runProgram({FOUNDABC_BIN, model + ".ppc.params.txt", "--from-sample", model + ".sample.tsv", "--seed",
                seed, "--table", dir.file("p.tsv")},
               work);
    EXPECT_EQ(dir.read("p.tsv"), dir.read("study/work/" + model + ".ppc.tsv"));
    const ChildResult ppc = runProgram({FOUNDABC_SUMMARY_BIN, "--ppc", model + ".ppc.tsv", "--tsv"}, work);
    ASSERT_EQ(fit.ppc.size(), numbTableStats);
    for (std::size_t j = 0; j < fit.ppc.size(); ++j) {
        const std::vector<std::string> row = fields(ppc.out, j + 1);
        ASSERT_GE(row.size(), 7u) << ppc.out;
        EXPECT_EQ(row[0], fit.ppc[j].statistic);
        EXPECT_EQ(row[4], g9(fit.ppc[j].predictiveLower)) << row[0];
        EXPECT_EQ(row[5], g9(fit.ppc[j].predictiveUpper)) << row[0];
        EXPECT_EQ(row[6], g9(fit.ppc[j].pValue)) << row[0];
    }
    // The fit check on as many simulations as the goodness of fit scores.
    const std::string replicates = std::to_string(fit.gfitReplicates);
    const ChildResult check = runProgram({FOUNDABC_SUMMARY_BIN, "--table", model + ".table.tsv", "--fit-check",
                                          replicates, "--seed", "2026", "--tsv"},
                                         work);
    const std::vector<std::string> row = fields(check.out, 1);
    ASSERT_EQ(row.size(), 6u) << check.out;
    EXPECT_EQ(row[0], g9(fit.checkStatistic));
    EXPECT_EQ(row[4], std::to_string(fit.checkReplicates));
    EXPECT_EQ(row[5], g9(fit.checkPValue));
}

// A stand-in for `sbatch --wait --parsable`: logs the --array list, prints a
// job id, and runs each task of the list in turn, as Slurm would, except task
// $FAIL_TASK, whose failure is its exit status.
const char* const kFakeSbatch = R"(#!/bin/sh
array=
while [ $# -gt 0 ]; do
    case $1 in --array=*) array=${1#--array=} ;; --*) ;; *) break ;; esac
    shift
done
echo "$array" >>sbatch.log
echo "77;cluster"
script=$1
shift
status=0
for range in $(echo "$array" | tr , ' '); do
    k=${range%-*}
    while [ "$k" -le "${range#*-}" ]; do
        if [ "$k" = "${FAIL_TASK:-0}" ]; then status=3
        else SLURM_ARRAY_TASK_ID=$k sh "$script" "$@" >/dev/null 2>&1 || status=1
        fi
        k=$((k + 1))
    done
done
exit $status
)";

TEST(StudyProgram, SlurmArraysGiveTheTablesMadeHereAndResubmitOnlyWhatFailed) {
    TempDir here, there;
    // The models draw GsmP, which their tables carry made here as merged.
    for (const TempDir* dir : {&here, &there}) {
        writeStudy(*dir);
        dir->write("study/base.txt", dir->read("study/base.txt") + "GSM_P_LOWER 0 #\nGSM_P_UPPER 0.5 #\n");
    }
    runProgram({"mkdir", there.file("bin")});
    there.write("bin/sbatch", kFakeSbatch);
    runProgram({"chmod", "+x", there.file("bin/sbatch")});
    const std::string path = "PATH=" + there.file("bin") + ":" + std::getenv("PATH");
    // Each line: environment, arguments, exit status, what standard error says.
    const std::vector<std::tuple<std::vector<std::string>, std::vector<std::string>, int, std::string>> runs = {
        {{path}, {"--tasks", "3"}, 1, "--tasks requires --slurm"},
        {{path}, {"--slurm"}, 1, "--slurm needs the number of tasks"},
        {{"PATH=/nowhere"}, {"--slurm", "--tasks", "3"}, 1, "sbatch is not on PATH"},
        {{path, "FOUNDABC_BIN=/nowhere/foundabc"}, {"--slurm", "--tasks", "3"}, 1, "set it to foundabc's full path"},
        {{path, "FAIL_TASK=2"}, {"--slurm", "--tasks", "3"}, 1,
         "model plain: Slurm job 77 failed (status 3): 1 shard of 3 missing (task 2;"},
        {{path}, {"--slurm", "--tasks", "3"}, 0, "model k2: Slurm job 77, 1 task of 3 submitted"},
        {{path}, {"--slurm"}, 0, ""},  // [slurm] tasks, with nothing left to make
    };
    for (const auto& [env, args, status, message] : runs) {
        std::vector<std::string> argv = {"env"};
        argv.insert(argv.end(), env.begin(), env.end());
        argv.insert(argv.end(), {FOUNDABC_STUDY_BIN, there.file("study/study.toml")});
        argv.insert(argv.end(), args.begin(), args.end());
        const ChildResult r = runProgram(argv, there.path(), there.file("err.txt"));
        EXPECT_EQ(r.exitStatus, status) << message << "\n" << there.read("err.txt");
        EXPECT_NE(there.read("err.txt").find(message), std::string::npos) << there.read("err.txt");
        if (args.size() == 1 && status == 0) {  // nothing to redo: every step but the report kept
            std::size_t kept = 0;
            for (std::size_t at = r.out.find("unchanged"); at != std::string::npos; at = r.out.find("unchanged", at + 1)) ++kept;
            EXPECT_EQ(kept, 7u) << r.out;
        }
        if (args.size() == 1 && status == 1)  // the study file's tasks from now on, in both studies
            for (const TempDir* dir : {&here, &there})
                dir->write("study/study.toml", dir->read("study/study.toml") +
                                                   "[slurm]\ntasks = 3\nsbatch = [\"--time=5\"]\n");
    }
    EXPECT_EQ(there.read("study/work/sbatch.log"), "1-3\n1-3\n2\n2\n");
    ASSERT_EQ(study(here).exitStatus, 0) << here.read("err.txt");
    for (const char* file : {"work/plain.table.tsv", "work/k2.table.tsv", "work/k2.table.tsv.priors.tsv",
                             "work/plain.results.txt", "report/report.md", "report/estimates.tsv"})
        EXPECT_EQ(here.read(std::string("study/") + file), there.read(std::string("study/") + file)) << file;
}

// A model of the generalised stepwise model: its GsmP is estimated, checked
// and shown last, with its prior, as foundabc-summary estimates it; the
// strict models show no GsmP.
TEST(StudyProgram, AModelWithGsmPShowsItLastInEveryTable) {
    TempDir dir;
    writeStudy(dir, "[models.gsm]\nCONDITIONAL_NUMBER_OF_ORIGINS = 0\nGSM_P_LOWER = 0\n"
                    "GSM_P_UPPER = 0.5\n\n");
    dir.write("study/study.toml",
              replaced(dir.read("study/study.toml"), "[run]", "[run]\nestimate = \"all\""));
    ASSERT_EQ(study(dir).exitStatus, 0) << dir.read("err.txt");
    for (const char* name : {"estimates.tsv", "calibration.tsv"}) {
        const std::string tsv = dir.read(std::string("study/report/") + name);
        EXPECT_EQ(tsv.find("\tGsmP\t"), tsv.rfind("\ngsm\tGsmP\t") + 4) << tsv;
        EXPECT_EQ(tsv.find("\tGsmP\t"), tsv.rfind("\tGsmP\t")) << tsv;
        EXPECT_EQ(tsv.rfind('\n', tsv.size() - 2), tsv.rfind("\ngsm\tGsmP\t")) << name;
    }
    const std::string report = dir.read("study/report/report.md");
    EXPECT_NE(report.find("| GsmP | uniform | 0 | 0.5 |"), std::string::npos);
    const std::string sample = dir.read("study/work/gsm.sample.tsv");
    EXPECT_EQ(sample.substr(sample.find('\n') - 5, 6), "\tGsmP\n");
    // GsmP's estimate is foundabc-summary's.
    const ChildResult table =
        runProgram({FOUNDABC_SUMMARY_BIN, "--table", "gsm.table.tsv", "--trees", "50", "--seed",
                    "2026", "--tsv"},
                   dir.file("study/work"));
    const EstimateLine l = saved(dir, "estimate").estimates.at(2).lines.at(numbParamColumns);
    const std::vector<std::string> row = fields(table.out, numbParamColumns + 1);
    ASSERT_EQ(row.at(0), "GsmP") << table.out;
    EXPECT_EQ(l.parameter, "GsmP");
    EXPECT_EQ(row.at(7), g9(l.median));
}

TEST(StudyProgram, InitWritesAStudyThatRunsAndErrorsNameTheirCause) {
    TempDir dir;
    dir.write("lab.gen", shipped("field.gen"));
    const ChildResult init = runProgram({FOUNDABC_STUDY_BIN, "--init", "new", "--genepop", "lab.gen",
                                         "--sue", "ISL01", "--tha", "MAI01", "--repeat-unit", "2"},
                                        dir.path(), dir.file("err.txt"));
    ASSERT_EQ(init.exitStatus, 0) << dir.read("err.txt");
    std::string toml = replaced(dir.read("new/study.toml"), "simulations = 20000", "simulations = 300");
    dir.write("new/study.toml", replaced(toml, "[run]", "[run]\ntrees = 20"));
    // The mutation settings it leaves commented are settings once uncommented.
    std::string base = dir.read("new/base.txt");
    for (const char* key : {"GSM_P_LOWER", "GSM_P_UPPER", "LOCUS_RATE_SHAPE"})
        base = replaced(base, std::string("# ") + key, key);
    dir.write("new/base.txt", base);
    const ChildResult run = runProgram({FOUNDABC_STUDY_BIN, "new/study.toml"}, dir.path(), dir.file("err.txt"));
    EXPECT_EQ(run.exitStatus, 0) << dir.read("err.txt");
    EXPECT_NE(dir.read("new/report/report.md").find("| GsmP | uniform | 0 | 0.5 |"), std::string::npos);
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--init", "new", "--genepop", "lab.gen", "--sue", "ISL01", "--tha", "MAI01"},
         "new/study.toml already exists"},
        {{"--init", "x", "--genepop", "lab.gen", "--sue", "NOPE", "--tha", "MAI01"}, "NOPE"},
        {{"--init", "y", "--genepop", "new", "--sue", "ISL01", "--tha", "MAI01"},
         "new: is a directory"},
        {{"missing.toml"}, "missing.toml: cannot be read"},
        {{"new/study.toml", "--redo", "choise"}, "choise"},
    };
    for (const auto& [args, message] : cases) {
        std::vector<std::string> argv = args;
        argv.insert(argv.begin(), FOUNDABC_STUDY_BIN);
        EXPECT_EQ(runProgram(argv, dir.path(), dir.file("err.txt")).exitStatus, 1) << message;
        EXPECT_NE(dir.read("err.txt").find(message), std::string::npos) << dir.read("err.txt");
    }
}

}  // namespace
