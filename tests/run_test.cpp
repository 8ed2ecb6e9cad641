// Whole-program runs of the rejection loop seeded by a fixed clock
// (--clock-seed), the draws of earlier versions.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "support/ParamsFileText.h"

namespace {

const char* kClock = "2024-01-01 00:00:00";

// Small samples and wide priors; tests change single settings.
std::string paramFile(const std::vector<std::pair<std::string, std::string>>& changes = {}) {
    ParamsFileText text;
    text.set("NUMBER_OF_THA_LINES", "6").set("NUMBER_OF_SUE_LINES", "4").set("NUMBER_OF_LOCI", "3");
    text.set("TIME_TO_ORIGIN_UPPER", "500").set("POPSIZE_ORIGIN_THA_UPPER", "1000");
    text.set("POPSIZE_PRESENT_THA_UPPER", "10000").set("POPSIZE_ORIGIN_SUE_UPPER", "100");
    text.set("POPSIZE_PRESENT_SUE_UPPER", "5000").set("REPEATS", "200");
    for (const auto& [key, value] : changes) text.set(key, value);
    return "test run\n" + text.str();
}

const char* kData =
    "sue1 sue2 sue3 sue4 tha1 tha2 tha3 tha4 tha5 tha6\n"
    "12 13 12 14 15 18 12 20 16 14\n"
    "20 21 21 -9 22 25 19 23 18 24\n"
    "8 8 9 8 10 12 9 11 13 10\n";

struct RunOutcome {
    ChildResult result;
    std::string results;  // the results file ("" if absent)
    bool resultsExist;
};

RunOutcome runWith(const TempDir& dir, const std::string& params, const char* clock = kClock) {
    dir.write("params.txt", params);
    dir.write("data.txt", kData);
    RunOutcome run;
    run.result = runFoundabc({"--clock-seed", "params.txt"}, dir.path(), clock);
    run.resultsExist = dir.exists("results.txt");
    run.results = dir.read("results.txt");
    return run;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

const std::string kHeader =
    "Rep#    My             TimeToOri      PopSizeOriTha  PopSizePreTha  PopSizeOriSue  "
    "PopSizePreSue  FracSueMono    DS             ";

// Rows are fixed-width: 8 + 8 x 15 characters.
bool isCompleteRow(const std::string& line) { return line.size() == 128; }

}  // namespace

TEST(RejectionRun, SameClockGivesIdenticalBytesAndAnotherClockDiffers) {
    TempDir a, b, c;
    RunOutcome first = runWith(a, paramFile());
    RunOutcome second = runWith(b, paramFile());
    RunOutcome later = runWith(c, paramFile(), "2024-01-01 00:00:01");
    ASSERT_EQ(first.result.exitStatus, 0) << first.result.out;
    ASSERT_TRUE(first.resultsExist);
    EXPECT_EQ(first.result.out, second.result.out);
    EXPECT_EQ(first.results, second.results);
    EXPECT_NE(first.results, later.results);
}

TEST(RejectionRun, ResultsFileHasHeaderEmptyLineAndRowsNumberedFromOne) {
    TempDir dir;
    RunOutcome run = runWith(dir, paramFile({{"EPSILON", "1000"}, {"REPEATS", "25"}}));
    ASSERT_EQ(run.result.exitStatus, 0) << run.result.out;
    auto rows = lines(run.results);
    ASSERT_EQ(rows.size(), 27u);  // every repeat is accepted
    EXPECT_EQ(rows[0], kHeader);
    EXPECT_EQ(rows[1], "");
    for (int i = 2; i < 27; ++i) {
        EXPECT_TRUE(isCompleteRow(rows[i])) << rows[i];
        EXPECT_EQ(std::stoi(rows[i].substr(0, 8)), i - 1);
    }
}

TEST(RejectionRun, StandardOutputEndsWithTheBannerAndNothingAfterIt) {
    TempDir dir;
    RunOutcome run = runWith(dir, paramFile({{"REPEATS", "20"}}));
    ASSERT_EQ(run.result.exitStatus, 0);
    const std::string tail = "-------------------\n\nRunning... \n\n";
    ASSERT_GE(run.result.out.size(), tail.size());
    EXPECT_EQ(run.result.out.substr(run.result.out.size() - tail.size()), tail);
}

TEST(RejectionRun, TwoRunsAppendTwoHeadersEachWithRowsFromOne) {
    TempDir dir;
    std::string params = paramFile({{"EPSILON", "1000"}, {"REPEATS", "3"}});
    runWith(dir, params);
    RunOutcome second = runWith(dir, params, "2024-01-02 00:00:00");
    auto rows = lines(second.results);
    ASSERT_EQ(rows.size(), 10u);
    EXPECT_EQ(rows[0], kHeader);
    EXPECT_EQ(rows[5], kHeader);
    EXPECT_EQ(rows[6], "");
    EXPECT_EQ(std::stoi(rows[7].substr(0, 8)), 1);
    EXPECT_EQ(std::stoi(rows[9].substr(0, 8)), 3);
}

TEST(RejectionRun, NothingAcceptedLeavesNoResultsFile) {
    for (const char* setting : {"REPEATS", "EPSILON"}) {
        TempDir dir;
        RunOutcome run = runWith(dir, paramFile({{setting, "0"}}));
        EXPECT_EQ(run.result.exitStatus, 0) << setting;
        EXPECT_FALSE(run.resultsExist) << setting;
    }
}

TEST(RejectionRun, EveryFoundingModelRunsToTheEnd) {
    const std::vector<std::vector<std::pair<std::string, std::string>>> models = {
        {{"CONDITIONAL_NUMBER_OF_ORIGINS", "1"}},
        {{"CONDITIONAL_NUMBER_OF_ORIGINS", "3"}},
        {{"CONDITIONAL_NUMBER_OF_ORIGINS", "2"}, {"UNEQUAL_FOUNDING_FRACTIONS", "0.3"}},
        {{"PRIOR_DISTRIBUTION", "1"},
         {"MY_LOWER", "-4"},
         {"MY_UPPER", "-2"},
         {"TIME_TO_ORIGIN_LOWER", "1"},
         {"TIME_TO_ORIGIN_UPPER", "2.5"},
         {"POPSIZE_ORIGIN_THA_LOWER", "2"},
         {"POPSIZE_ORIGIN_THA_UPPER", "3"},
         {"POPSIZE_PRESENT_THA_LOWER", "3"},
         {"POPSIZE_PRESENT_THA_UPPER", "4"},
         {"POPSIZE_ORIGIN_SUE_LOWER", "1"},
         {"POPSIZE_ORIGIN_SUE_UPPER", "2"},
         {"POPSIZE_PRESENT_SUE_LOWER", "2"},
         {"POPSIZE_PRESENT_SUE_UPPER", "3.5"}},
    };
    for (auto settings : models) {
        settings.push_back({"EPSILON", "1000"});
        settings.push_back({"REPEATS", "30"});
        TempDir dir;
        RunOutcome run = runWith(dir, paramFile(settings));
        EXPECT_EQ(run.result.exitStatus, 0) << run.result.out;
        EXPECT_EQ(lines(run.results).size(), 32u);
    }
}

TEST(RejectionRun, FractionWithoutTwoFoundersEndsBeforeAnyRow) {
    TempDir dir;
    RunOutcome run = runWith(dir, paramFile({{"UNEQUAL_FOUNDING_FRACTIONS", "0.3"},
                                             {"CONDITIONAL_NUMBER_OF_ORIGINS", "1"},
                                             {"EPSILON", "1000"}}));
    EXPECT_EQ(run.result.exitStatus, 1);
    const std::string message = "if fracF2 > 0 conditional_origins must be 2\n";
    ASSERT_GE(run.result.out.size(), message.size());
    EXPECT_EQ(run.result.out.substr(run.result.out.size() - message.size()), message);
    EXPECT_FALSE(run.resultsExist);
}

TEST(RejectionRun, PriorErrorMidRunKeepsEarlierRowsComplete) {
    // The founding size of `tha` may be drawn above the present upper bound;
    // the first repeat that does so ends the run.
    TempDir dir;
    RunOutcome run = runWith(dir, paramFile({{"POPSIZE_ORIGIN_THA_UPPER", "4100"},
                                             {"POPSIZE_PRESENT_THA_UPPER", "4000"},
                                             {"REPEATS", "100000"},
                                             {"EPSILON", "1000"}}));
    EXPECT_EQ(run.result.exitStatus, 1);
    const std::string message =
        "error: parameters: popsize_present_tha_upper <= popsize_present_tha_lower\n";
    ASSERT_GE(run.result.out.size(), message.size());
    EXPECT_EQ(run.result.out.substr(run.result.out.size() - message.size()), message);
    auto rows = lines(run.results);
    ASSERT_GE(rows.size(), 3u) << "the clock should give at least one accepted row first";
    EXPECT_EQ(rows[0], kHeader);
    for (size_t i = 2; i < rows.size(); ++i) EXPECT_TRUE(isCompleteRow(rows[i])) << rows[i];
    EXPECT_EQ(run.results.back(), '\n');
}

TEST(RejectionRun, OneSueLineCompletesWithoutAcceptingAnything) {
    TempDir dir;
    dir.write("data.txt", "h\n12 15 18 12 20 16 14\n");
    std::string params = paramFile({{"NUMBER_OF_SUE_LINES", "1"},
                                    {"NUMBER_OF_LOCI", "1"},
                                    {"EPSILON", "1000"},
                                    {"REPEATS", "20"}});
    dir.write("params.txt", params);
    ChildResult result = runFoundabc({"params.txt"}, dir.path());
    EXPECT_EQ(result.exitStatus, 0) << result.out;
    EXPECT_FALSE(dir.exists("results.txt"));
}
