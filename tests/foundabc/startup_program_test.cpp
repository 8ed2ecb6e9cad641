// Whole-program tests of the start of a run: the real executable, its exact
// standard output and exit status (seeded by the clock, whose echo shows no
// seed).
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <new>
#include <string>

#include "run/StartUp.h"
#include "support/ChildProcess.h"
#include "support/ParamsFileText.h"

namespace {

// 2 sue and 2 tha lines at one locus: S_obs_sue = 2, S_obs_tha = 4.
const char* kData = "sue sue tha tha\n10 12 10 14\n";

const std::string kEcho =
    "\n"
    "-------------------\n"
    "DATAFILE_NAME = data.txt\n"
    "OUTFILE_NAME = results.txt\n"
    "NUMBER_OF_THA_LINES = 2\n"
    "NUMBER_OF_SUE_LINES = 2\n"
    "ALPHA = 0.5\n"
    "MY_LOWER = 0.0001\n"
    "MY_UPPER = 0.01\n"
    "TIME_TO_ORIGIN_LOWER = 10\n"
    "TIME_TO_ORIGIN_UPPER = 100\n"
    "POPSIZE_ORIGIN_THA_LOWER = 100\n"
    "POPSIZE_ORIGIN_THA_UPPER = 200\n"
    "POPSIZE_PRESENT_THA_LOWER = 1000\n"
    "POPSIZE_PRESENT_THA_UPPER = 2000\n"
    "POPSIZE_ORIGIN_SUE_LOWER = 10\n"
    "POPSIZE_ORIGIN_SUE_UPPER = 20\n"
    "POPSIZE_PRESENT_SUE_LOWER = 100\n"
    "POPSIZE_PRESENT_SUE_UPPER = 1.23457e+06\n"
    "PRIOR_DISTRIBUTION = 0\n"
    "CONDITIONAL_NUMBER_OF_ORIGINS = 0\n"
    "UNEQUAL_FOUNDING_FRACTIONS = 0\n"
    "REPEATS = 10\n"
    "EPSILON = 0.5\n"
    "-------------------\n";

ParamsFileText smallRun() {
    return ParamsFileText().set("NUMBER_OF_THA_LINES", "2").set("NUMBER_OF_LOCI", "1");
}

ChildResult runWith(const TempDir& dir, const ParamsFileText& p, const char* data = kData) {
    dir.write("params.txt", p.str());
    if (data != nullptr) dir.write("data.txt", data);
    return runFoundabc({"--clock-seed", "params.txt"}, dir.path());
}

}  // namespace

TEST(StartUp, EveryArgumentCountButOneIsRefused) {
    TempDir dir;
    dir.write("params.txt", smallRun().str());
    dir.write("data.txt", kData);
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{}, ": give the parameter file, as in foundabc params.txt\n"},
        {{"params.txt", "data.txt"},
         ": one parameter file is read, but 2 files were given (params.txt data.txt); give only "
         "the parameter file, which names the data file (DATAFILE_NAME)\n"},
    };
    for (const auto& [args, then] : cases) {
        ChildResult r = runFoundabc(args, dir.path());
        EXPECT_EQ(r.exitStatus, 1);
        EXPECT_EQ(r.out, "Not enough arguments (infile)" + then);
    }
}

TEST(StartUp, EchoesSettingsThenObservedStatisticsAndBanner) {
    TempDir dir;
    ChildResult r = runWith(dir, smallRun());
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.out, kEcho +
                         "S_obs_sue = 2\n"
                         "S_obs_tha = 4\n"
                         "S_obs_x_epsilon = 3\n"
                         "-------------------\n"
                         "\n"
                         "Running... \n"
                         "\n");
}

TEST(StartUp, ReaderErrorsEndTheRunWithTheirMessages) {
    // Standard output is a pipe here, so each error is also the last line of
    // standard error; data errors come after the echo, which stays in place.
    struct Case {
        const char* name;
        ParamsFileText params;
        const char* data;     // nullptr: no data file; "DIR": a directory in its place
        std::string out;      // all of standard output
        std::string errLine;  // the line standard error ends with
    };
    const std::string noFile = "Error opening datafile data.txt: No such file or directory\n";
    const std::string unassigned =
        "error: readInfile: all parameters are not assigned (missing: ALPHA, EPSILON); "
        "foundabc --check params.txt shows why\n";
    const std::string shortLine = "error: readDataFile: 3 values (of 4) read for loci# 1.\n";
    const Case cases[] = {
        {"unassigned", smallRun().drop("ALPHA").drop("EPSILON"), kData, unassigned, unassigned},
        {"no data file", smallRun(), nullptr, kEcho + noFile, noFile},
        {"data file a directory", smallRun(), "DIR",
         kEcho + "Error opening datafile data.txt: is a directory\n",
         "Error opening datafile data.txt: is a directory\n"},
        {"short line", smallRun(), "h\n10 12 10\n", kEcho + shortLine, shortLine},
    };
    for (const Case& c : cases) {
        TempDir dir;
        dir.write("params.txt", c.params.str());
        if (c.data != nullptr && std::string(c.data) == "DIR")
            mkdir(dir.file("data.txt").c_str(), 0755);
        else if (c.data != nullptr)
            dir.write("data.txt", c.data);
        const ChildResult r = runFoundabc({"--clock-seed", "params.txt"}, dir.path(),
                                          "2024-01-01 00:00:00", dir.file("err.txt"));
        EXPECT_EQ(r.exitStatus, 1) << c.name;
        EXPECT_EQ(r.out, c.out) << c.name;
        const std::string err = dir.read("err.txt");
        ASSERT_GE(err.size(), c.errLine.size()) << c.name;
        EXPECT_EQ(err.substr(err.size() - c.errLine.size()), c.errLine) << c.name;
    }

    TempDir dir;
    ChildResult noInfile = runFoundabc({"missing.txt"}, dir.path());
    EXPECT_EQ(noInfile.exitStatus, 1);
    EXPECT_EQ(noInfile.out,
              "Error opening infile missing.txt (No such file or directory): give the path of the "
              "parameter file, as in foundabc params.txt\n");
    // Standard error on the same file as standard output gets the message once.
    dir.write("params.txt", smallRun().str());
    ChildResult together = runProgram(
        {"/bin/sh", "-c", std::string(FOUNDABC_BIN) + " --clock-seed params.txt 2>&1"}, dir.path());
    EXPECT_EQ(together.exitStatus, 1);
    EXPECT_EQ(together.out.find(noFile), together.out.size() - noFile.size()) << together.out;
}

TEST(StartUp, SettingsThatAllowNoRunAreRefusedBeforeTheDataFileIsRead) {
    struct Case {
        const char* key;
        const char* value;
        const char* message;
    };
    const Case cases[] = {
        {"NUMBER_OF_THA_LINES", "0", "error: parameters: number_of_tha_lines < 1\n"},
        {"NUMBER_OF_SUE_LINES", "-1", "error: parameters: number_of_sue_lines < 1\n"},
        {"NUMBER_OF_LOCI", "-1", "error: parameters: number_of_loci < 0\n"},
        {"REPEATS", "-5", "error: parameters: repeats < 0\n"},
        {"CONDITIONAL_NUMBER_OF_ORIGINS", "-1",
         "error: parameters: conditional_number_of_origins < 0\n"},
        {"ALPHA", "nan", "error: parameters: alpha is not a finite number\n"},
        {"MY_UPPER", "inf", "error: parameters: my_upper is not a finite number\n"},
        {"POPSIZE_PRESENT_SUE_LOWER", "-INF",
         "error: parameters: popsize_present_sue_lower is not a finite number\n"},
        {"EPSILON", "1e999", "error: parameters: epsilon is not a finite number\n"},
        {"UNEQUAL_FOUNDING_FRACTIONS", "NaN",
         "error: parameters: unequal_founding_fractions is not a finite number\n"},
        {"NUMBER_OF_SUE_LINES", "2147483647",
         "error: parameters: number_of_tha_lines + number_of_sue_lines is too large\n"},
    };
    for (const Case& c : cases) {
        TempDir dir;  // no data file: the check must come first
        ChildResult r = runWith(dir, smallRun().set(c.key, c.value), nullptr);
        EXPECT_EQ(r.exitStatus, 1) << c.key;
        ASSERT_GE(r.out.size(), std::string(c.message).size()) << c.key;
        EXPECT_EQ(r.out.substr(r.out.size() - std::string(c.message).size()), c.message) << c.key;
        EXPECT_EQ(r.out.find("Error opening datafile"), std::string::npos) << c.key;
    }
    // Checked in order: both sample sizes wrong reports tha.
    TempDir dir;
    ChildResult both = runWith(
        dir, smallRun().set("NUMBER_OF_THA_LINES", "0").set("NUMBER_OF_SUE_LINES", "0"), nullptr);
    EXPECT_EQ(both.out, std::string(kEcho)
                                .replace(kEcho.find("THA_LINES = 2"), 13, "THA_LINES = 0")
                                .replace(kEcho.find("SUE_LINES = 2"), 13, "SUE_LINES = 0") +
                            "error: parameters: number_of_tha_lines < 1\n");
}

TEST(StartUp, BoundaryValuesThatStillAllowARun) {
    TempDir dir;
    // A negative origin count is harmless when the two-founder model is chosen;
    // one line per sample, no loci and no repeats are all valid.
    ChildResult r = runWith(dir,
                            smallRun()
                                .set("CONDITIONAL_NUMBER_OF_ORIGINS", "-1")
                                .set("UNEQUAL_FOUNDING_FRACTIONS", "0.25")
                                .set("NUMBER_OF_SUE_LINES", "1")
                                .set("NUMBER_OF_THA_LINES", "1")
                                .set("REPEATS", "0"),
                            "h\n7 9\n");
    EXPECT_EQ(r.exitStatus, 0) << r.out;
    EXPECT_NE(r.out.find("S_obs_sue = 0\nS_obs_tha = 0\nS_obs_x_epsilon = 0\n"), std::string::npos);

    ChildResult noLoci = runWith(dir, smallRun().set("NUMBER_OF_LOCI", "0"), "h\n");
    EXPECT_EQ(noLoci.exitStatus, 0) << noLoci.out;
}

#if !defined(__SANITIZE_ADDRESS__)
TEST(StartUp, RunningOutOfMemoryIsReportedNotAborted) {
    ChildResult r = runInChild([] {
        installOutOfMemoryHandler();
        // Capped address space, so that the outcome does not depend on the machine.
        rlimit limit{};
        limit.rlim_cur = limit.rlim_max = rlim_t(1) << 30;
        setrlimit(RLIMIT_AS, &limit);
        void* volatile block = ::operator new(std::size_t(2) << 30);
        ::operator delete(block);
    });
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(r.out, "error: out of memory\n");
}
#endif
