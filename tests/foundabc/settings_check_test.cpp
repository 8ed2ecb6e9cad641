// The settings check (`foundabc --check`): the real program on files that hold
// one kind of problem each; every problem is named with its line and a fix.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "base/EditDistance.h"
#include "foundabc/SettingsCheck.h"
#include "support/ChildProcess.h"
#include "support/ParamsFileText.h"

namespace {

// 2 sue and 3 tha lines at 2 loci, as ParamsFileText asks.
const char* kData = "sue sue tha tha tha\n1 2 3 4 5\n6 7 8 9 10\n";

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

// The usable settings of ParamsFileText changed by "KEY=VALUE ..." pairs.
ParamsFileText changed(const std::string& pairs) {
    ParamsFileText p;
    std::istringstream in(pairs);
    for (std::string pair; in >> pair;)
        p.set(pair.substr(0, pair.find('=')), pair.substr(pair.find('=') + 1));
    return p;
}

// Sensible base-10 logarithmic bounds (PRIOR_DISTRIBUTION 1).
const std::string kLog10Priors =
    "PRIOR_DISTRIBUTION=1 MY_LOWER=-4 MY_UPPER=-2 TIME_TO_ORIGIN_LOWER=1 TIME_TO_ORIGIN_UPPER=2 "
    "POPSIZE_ORIGIN_THA_LOWER=2 POPSIZE_ORIGIN_THA_UPPER=2.3 POPSIZE_PRESENT_THA_LOWER=3 "
    "POPSIZE_PRESENT_THA_UPPER=3.3 POPSIZE_ORIGIN_SUE_LOWER=1 POPSIZE_ORIGIN_SUE_UPPER=1.3 "
    "POPSIZE_PRESENT_SUE_LOWER=2 POPSIZE_PRESENT_SUE_UPPER=3.7 ";

struct Case {
    const char* name;
    std::string params;
    const char* data;  // nullptr: no data file
    int status;
    std::vector<std::string> fragments;  // in the report; DIR stands for the folder
    std::string paramsPath = "params.txt";
};

}  // namespace

TEST(SettingsCheck, EveryProblemIsNamedWithItsLineAndAFix) {
    const std::string full = ParamsFileText().str();
    const std::string notAssigned =
        "the run stops with \"error: readInfile: all parameters are not assigned\"";
    const Case cases[] = {
        {"usable", full, kData, 0, {"data file: DIR/data.txt (2 loci of 5 values)\nsettings OK\n"}},
        {"mutation keys before and after the last assignment",
         "GSM_P_LOWER 0 #\n" + full + "GSM_P_UPPER 0.5 #\nLOCUS_RATE_SHAPE 2 #\n",
         kData,
         0,
         {"settings OK"}},
        {"one bound of P alone",
         full + "GSM_P_UPPER 0.5 #\n",
         kData,
         1,
         {"params.txt, line 24: the run stops with \"error: parameters: GSM_P_UPPER is given "
          "without GSM_P_LOWER",
          "fix: add a line \"GSM_P_LOWER VALUE #\""}},
        {"P bound at the limit",
         full + "GSM_P_LOWER 0.1 #\nGSM_P_UPPER 0.95 #\n",
         kData,
         1,
         {"line 25: the run stops with \"error: parameters: GSM_P_UPPER = 0.95 is outside [0, "
          "0.95)",
          "fix: give a chance from 0 up to but not including 0.95"}},
        {"P bounds inverted",
         full + "GSM_P_LOWER 0.5 #\nGSM_P_UPPER 0.1 #\n",
         kData,
         1,
         {"line 25: the run stops with \"error: parameters: GSM_P_UPPER < GSM_P_LOWER\"",
          "fix: swap the two bounds"}},
        {"negative rate shape, written with a stray letter",
         full + "LOCUS_RATE_SHAPE -2x #\n",
         kData,
         1,
         {"line 24: \"-2x\" is not a number: the run reads -2",
          "line 24: the run stops with \"error: parameters: LOCUS_RATE_SHAPE = -2 is not a number "
          "at or above 0",
          "2 problems found"}},
        {"log-scale bounds may be negative",
         changed(kLog10Priors + "POPSIZE_ORIGIN_SUE_LOWER=-1").str(),
         kData,
         0,
         {"settings OK"}},
        {"missing key",
         ParamsFileText().drop("ALPHA").str(),
         kData,
         1,
         {"params.txt: missing key ALPHA: " + notAssigned, "fix: add a line \"ALPHA VALUE #\"",
          "1 problem found"}},
        {"misspelt key",
         replaced(full, "EPSILON 0.5", "EPSILLON 0.5"),
         kData,
         1,
         {"params.txt, line 21: unknown key EPSILLON", "fix: did you mean EPSILON?",
          "missing key EPSILON", "fix: see line 21"}},
        {"setting without #",
         ParamsFileText().drop("REPEATS").str() + "REPEATS 10\n",
         kData,
         1,
         {"line 23: \"REPEATS 10\" looks like a setting but has no '#'", "fix: end the line with",
          "missing key REPEATS", "fix: see line 23"}},
        {"inverted bounds",
         ParamsFileText().set("MY_UPPER", "0.00001").str(),
         kData,
         1,
         {"line 8: MY_UPPER 0.00001 is not above MY_LOWER 0.0001 (line 7): the first repeat "
          "stops the run with \"error: parameters: my_upper <= my_lower\"",
          "fix: swap the two bounds"}},
        {"equal bounds",
         ParamsFileText().set("TIME_TO_ORIGIN_UPPER", "10").str(),
         kData,
         1,
         {"line 10: TIME_TO_ORIGIN_UPPER 10 is not above TIME_TO_ORIGIN_LOWER 10 (line 9)",
          "fix: give a range whose upper bound is above its lower one"}},
        {"founding size can reach the present bound",
         ParamsFileText().set("POPSIZE_ORIGIN_THA_UPPER", "2000").str(),
         kData,
         1,
         {"line 12: POPSIZE_ORIGIN_THA_UPPER 2000 is not below POPSIZE_PRESENT_THA_UPPER 2000 "
          "(line 14): a repeat that draws a founding size of 2000 or more stops the run with "
          "\"error: parameters: popsize_present_tha_upper <= popsize_present_tha_lower\"",
          "fix: lower POPSIZE_ORIGIN_THA_UPPER below 2000"}},
        {"count mismatch on two loci",
         full,
         "h\n1 2 3 4\n1 2 3\n",
         1,
         {"data file DIR/data.txt, line 2 (locus 1): 4 values, but the settings ask for 5 "
          "(NUMBER_OF_SUE_LINES 2 + NUMBER_OF_THA_LINES 3)",
          "data file DIR/data.txt, line 3 (locus 2): 3 values", "fix: give every locus 5 values",
          "2 problems found"}},
        {"data file shorter than the loci",
         ParamsFileText().set("NUMBER_OF_LOCI", "4").str(),
         kData,
         1,
         {"data file DIR/data.txt, line 4: the file ends before locus 3: it holds 2 loci, but "
          "NUMBER_OF_LOCI 4 (line 5) asks for 4",
          "fix: set NUMBER_OF_LOCI to 2"}},
        {"sample sizes swapped against the lines the header names",
         full,
         "locus sue1..sue3 tha1..tha2\n1 2 3 4 5\n6 7 8 9 10\n",
         1,
         {"data file DIR/data.txt, line 1: the header names 3 sue lines, but NUMBER_OF_SUE_LINES "
          "2 (line 4) asks for 2: the run stops with \"error: readDataFile: the header of "
          "data.txt names 3 sue lines, but NUMBER_OF_SUE_LINES is 2.\"",
          "fix: set NUMBER_OF_SUE_LINES to 3",
          "data file DIR/data.txt, line 1: the header names 2 tha lines, but NUMBER_OF_THA_LINES "
          "3 (line 3) asks for 3",
          "2 problems found"}},
        {"more loci and values in the data file than asked for: a note",
         ParamsFileText().set("NUMBER_OF_LOCI", "1").str(),
         "h\n1 2 3 4 5 6 7\n6 7 8 9 10\n\n",
         0,
         {"data file: DIR/data.txt (1 loci of 5 values)\ndata file DIR/data.txt: note: 1 line "
          "after the last locus (NUMBER_OF_LOCI 1 (line 5)), and 2 fields after the 5 values of 1 "
          "locus line are ignored; the run says so on standard error\nsettings OK\n"}},
        {"data file beside the parameter file, not in the folder of the run",
         full,
         kData,
         1,
         {"examples/params.txt, line 1: the data file data.txt cannot be opened: looked for at "
          "DIR/data.txt",
          "fix: file names are taken from the folder the program is started in (DIR)",
          "DIR/examples/data.txt exists: start the program in DIR/examples"},
         "examples/params.txt"},
        {"no founding model",
         ParamsFileText().set("UNEQUAL_FOUNDING_FRACTIONS", "0.3").str(),
         kData,
         1,
         {"line 23: UNEQUAL_FOUNDING_FRACTIONS 0.3 asks for two founders, but "
          "CONDITIONAL_NUMBER_OF_ORIGINS 0 (line 22) is not 2",
          "fix: set CONDITIONAL_NUMBER_OF_ORIGINS 2"}},
        {"share of the second founder above 1",
         ParamsFileText()
             .set("CONDITIONAL_NUMBER_OF_ORIGINS", "2")
             .set("UNEQUAL_FOUNDING_FRACTIONS", "1.5")
             .str(),
         kData,
         1,
         {"line 23: the run stops with \"error: parameters: unequal_founding_fractions > 1\"",
          "fix: give the share of the second founder, above 0 and at most 1", "1 problem found"}},
        {"negative founder count",
         ParamsFileText().set("CONDITIONAL_NUMBER_OF_ORIGINS", "-1").str(),
         kData,
         1,
         {"line 22: the run stops with \"error: parameters: conditional_number_of_origins < 0\""}},
        {"key given twice",
         ParamsFileText().drop("EPSILON").str() + "REPEATS 77 #\n",
         kData,
         1,
         {"line 23: REPEATS is given again (first on line 20)", "so EPSILON is not read",
          "fix: keep only one REPEATS line",
          "missing key EPSILON: the run goes on with its default (-1, or no name)"}},
        {"key given twice pushes the last key past the end of reading",
         "REPEATS 5 #\n" + full,
         kData,
         1,
         {"line 21: REPEATS is given again (first on line 1)",
          "line 24: UNEQUAL_FOUNDING_FRACTIONS is never read: reading stops at the 23rd "
          "assignment, on line 23"}},
        {"byte-order mark",
         "\xEF\xBB\xBF" + full,
         kData,
         1,
         {"line 1: a byte-order mark", "hides the key DATAFILE_NAME",
          "fix: save the file as UTF-8 without a byte-order mark", "missing key DATAFILE_NAME"}},
        {"non-breaking space hiding a key",
         replaced(full, "EPSILON 0.5",
                  "EPSILON\xC2\xA0"
                  "0.5"),
         kData,
         1,
         {"line 21: a non-breaking space hides the key EPSILON",
          "fix: replace the non-breaking space with an ordinary blank"}},
        {"non-breaking space in a value",
         replaced(full, "EPSILON 0.5",
                  "EPSILON \xC2\xA0"
                  "0.5"),
         kData,
         1,
         {"line 21: a non-breaking space in the value of EPSILON: the run reads"}},
        {"blank in a file name",
         ParamsFileText().set("OUTFILE_NAME", "my results.txt").str(),
         kData,
         1,
         {"line 2: the blank in the file name \"my results.txt\" cuts it short: the run uses "
          "\"my\"",
          "fix: use a file name without blanks, for example my_results.txt"}},
        {"negative size and time on the natural scale",
         ParamsFileText()
             .set("POPSIZE_ORIGIN_SUE_LOWER", "-5")
             .set("TIME_TO_ORIGIN_LOWER", "-1")
             .str(),
         kData,
         1,
         {"line 9: TIME_TO_ORIGIN_LOWER -1 is negative",
          "line 15: POPSIZE_ORIGIN_SUE_LOWER -5 is negative: on the natural scale "
          "(PRIOR_DISTRIBUTION is not 1) no size is below 0",
          "2 problems found"}},
        {"sample of one line",
         ParamsFileText().set("NUMBER_OF_SUE_LINES", "1").str(),
         "h\n1 2 3 4\n5 6 7 8\n",
         1,
         {"line 4: a sample of one line has no pair of lines: the statistic S of sue is "
          "undefined",
          "fix: sample at least two lines"}},
        {"values read otherwise than written",
         ParamsFileText().set("REPEATS", "1e5").set("EPSILON", "0.1x").str(),
         kData,
         1,
         {"line 20: \"1e5\" is not a whole number: the run reads 1",
          "line 21: \"0.1x\" is not a number: the run reads 0.1"}},
        {"nothing can be accepted",
         ParamsFileText().set("EPSILON", "0").set("ALPHA", "0").str(),
         kData,
         1,
         {"line 6: ALPHA 0 is not above 0", "line 21: EPSILON 0 makes the threshold 0 or less"}},
        {"errors of the reader",
         ParamsFileText()
             .set("OUTFILE_NAME", std::string(30, 'n'))
             .set("REPEATS", "9999999999")
             .str(),
         kData,
         1,
         {"line 2: the run stops with \"error: readInfile: line 2: value of OUTFILE_NAME is too "
          "long\"",
          "line 20: the run stops with \"error: readInfile: line 20: value of REPEATS is outside "
          "the 32-bit integer range\""}},
        {"results folder missing",
         ParamsFileText().set("OUTFILE_NAME", "out/results.txt").str(),
         kData,
         1,
         {"line 2: the results file DIR/out/results.txt is in a folder that does not exist"}},
        {"no parameter file",
         "",
         nullptr,
         1,
         {"nope.txt: the parameter file cannot be opened"},
         "nope.txt"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        // The data file lies beside the parameter file.
        const std::string folder = c.paramsPath.substr(0, c.paramsPath.rfind('/') + 1);
        if (!folder.empty()) mkdir(dir.file(folder).c_str(), 0755);
        if (c.paramsPath != "nope.txt") dir.write(c.paramsPath, c.params);
        if (c.data != nullptr) dir.write(folder + "data.txt", c.data);
        const ChildResult r = runFoundabc({"--check", c.paramsPath}, dir.path());
        EXPECT_EQ(r.exitStatus, c.status) << c.name << '\n' << r.out;
        for (std::string fragment : c.fragments) {
            for (std::size_t at; (at = fragment.find("DIR")) != std::string::npos;)
                fragment.replace(at, 3, dir.path());
            EXPECT_NE(r.out.find(fragment), std::string::npos) << c.name << ": " << fragment << "\n"
                                                               << r.out;
        }
        const std::string last = c.status == 0 ? "settings OK\n" : " found\n";
        EXPECT_EQ(r.out.substr(r.out.size() - std::min(r.out.size(), last.size())), last) << c.name;
        // Nothing is drawn or written.
        EXPECT_FALSE(dir.exists("results.txt")) << c.name;
    }
}

// The check reports a problem exactly when the run fails (or hangs), writes
// into its own input, or can accept nothing, so that "settings OK" can be
// trusted. The run refuses a results file that is one of its inputs.
TEST(SettingsCheck, ReportsAProblemExactlyWhenTheRunFailsOrCanAcceptNothing) {
    struct Agreement {
        const char* name;
        ParamsFileText params;
        std::string data;
        const char* setup;   // shell command run in the folder first, or nullptr
        const char* report;  // a part of the check's report; nullptr: settings OK
        std::vector<std::string> options = {};  // given to both, before the parameter file
    };
    auto with = [](const std::string& pairs) { return changed("EPSILON=50 " + pairs); };
    const std::string mono = "h\n5 5 7 7 7\n3 3 3 -9 3\n", none = "h\n-9 -9 -9 -9 -9\n";
    const char* tooMany = "expected number of mutations on a branch is too large";
    const char* infinite = "10^400 is not a finite number";
    // A sample estimated from the table of a run with another prior.
    const std::string otherSample =
        "sed 's/^MY_UPPER .*/MY_UPPER 0.02 #/; s/^OUTFILE_NAME .*/OUTFILE_NAME o.txt #/' "
        "params.txt > other.txt && " + std::string(FOUNDABC_BIN) +
        " --seed 1 --table t.tsv other.txt >/dev/null 2>&1 && " + FOUNDABC_SUMMARY_BIN +
        " --table t.tsv --method rejection --tol 0.5 --sample s.tsv >/dev/null";
    const char* nothing = "so nothing can be accepted";
    const Agreement cases[] = {
        {"usable", with(""), kData, nullptr, nullptr},
        {"log10 priors", with(kLog10Priors), kData, nullptr, nullptr},
        {"tiny log10 rate", with(kLog10Priors + "MY_LOWER=-400"), kData, nullptr, nullptr},
        {"huge present size", with("POPSIZE_PRESENT_SUE_UPPER=1e300"), kData, nullptr, nullptr},
        {"results /dev/null", with("OUTFILE_NAME=/dev/null"), kData, nullptr, nullptr},
        {"rate 1e9", with("MY_UPPER=1e9"), kData, nullptr, tooMany},
        {"time 1e300", with("TIME_TO_ORIGIN_UPPER=1e300"), kData, nullptr, tooMany},
        {"log10 rate", with(kLog10Priors + "MY_UPPER=400"), kData, nullptr, infinite},
        {"log10 size", with(kLog10Priors + "POPSIZE_PRESENT_SUE_UPPER=400"), kData, nullptr,
         infinite},
        {"results a FIFO", with(""), kData, "mkfifo results.txt", "is a named pipe (FIFO)"},
        {"link to nothing", with(""), kData, "ln -s gone/r.txt results.txt", "does not exist"},
        {"results /dev/full", with("OUTFILE_NAME=/dev/full"), kData, nullptr, "takes no bytes"},
        {"monomorphic", with(""), mono, nullptr, nothing},
        {"all missing", with("NUMBER_OF_LOCI=1"), none, nullptr, nothing},
        {"no loci", with("NUMBER_OF_LOCI=0"), "h\n", nullptr, nothing},
        {"no repeats", with("REPEATS=0"), kData, nullptr, nothing},
        {"sample sizes swapped", with(""), "locus sue1 sue2 sue3 tha1 tha2\n1 2 3 4 5\n1 1 2 2 3\n",
         nullptr, "the header names 3 sue lines"},
        {"more loci than asked", with("NUMBER_OF_LOCI=1"), kData, nullptr,
         "1 line after the last locus"},
        {"rate 1e6", with("MY_UPPER=1e6"), kData, nullptr, "more than the limit of 10^6"},
        {"time 1e300, many mutations allowed",
         with("TIME_TO_ORIGIN_UPPER=1e300"),
         kData,
         nullptr,
         "more than the 2^31 the run can draw",
         {"--allow-many-mutations"}},
        {"table over the parameters",
         with(""),
         kData,
         nullptr,
         "the reference table params.txt is the parameter file",
         {"--table", "params.txt"}},
        {"sample of one row of weight 0",
         with(""),
         kData,
         "printf 'My\\tTimeToOri\\tPopSizeOriTha\\tPopSizePreTha\\tPopSizeOriSue\\t"
         "PopSizePreSue\\tweight\\n0.005\\t20\\t150\\t1500\\t15\\t150\\t0\\n' > s.tsv",
         "no row of positive weight", {"--from-sample", "s.tsv", "--table", "pred.tsv"}},
        {"sample with GsmP for a run without the GSM keys",
         with(""),
         kData,
         "printf 'My\\tTimeToOri\\tPopSizeOriTha\\tPopSizePreTha\\tPopSizeOriSue\\t"
         "PopSizePreSue\\tweight\\tGsmP\\n0.005\\t20\\t150\\t1500\\t15\\t150\\t1\\t0.2\\n' > s.tsv",
         "s.tsv has a column GsmP", {"--from-sample", "s.tsv", "--table", "pred.tsv"}},
        {"sample from a table of other priors", with(""), kData, otherSample.c_str(),
         "was made from the table t.tsv, simulated with other settings",
         {"--from-sample", "s.tsv", "--table", "pred.tsv"}},
        {"sample without a table", with(""), kData, otherSample.c_str(),
         "--from-sample needs --table", {"--from-sample", "s.tsv"}},
        {"simulated data over the data file", with(""), kData, nullptr,
         "data.txt is the data file of the parameter file",
         {"--simulate-data", "data.txt", "--at",
          "My=0.005,TimeToOri=20,PopSizeOriTha=150,PopSizePreTha=1500,PopSizeOriSue=15,"
          "PopSizePreSue=150"}},
        {"second founder's share above 1",
         with("CONDITIONAL_NUMBER_OF_ORIGINS=2 UNEQUAL_FOUNDING_FRACTIONS=1.5"), kData, nullptr,
         "unequal_founding_fractions > 1"},
        {"the data file", with("OUTFILE_NAME=./data.txt"), kData, nullptr, "is the data file"},
        {"the parameters", with("OUTFILE_NAME=params.txt"), kData, nullptr,
         "is the parameter file"},
        {"a link to the data", with("OUTFILE_NAME=copy.txt"), kData, "ln data.txt copy.txt",
         "is the data file"},
    };
    for (const Agreement& c : cases) {
        TempDir dir;
        const std::string params = c.params.str();
        dir.write("params.txt", params);
        dir.write("data.txt", c.data);
        if (c.setup != nullptr) {
            ASSERT_EQ(runProgram({"sh", "-c", c.setup}, dir.path()).exitStatus, 0);
        }
        std::vector<std::string> checkArgs = {"timeout", "30", FOUNDABC_BIN, "--check"};
        std::vector<std::string> runArgs = {"timeout", "30", FOUNDABC_BIN, "--seed", "1"};
        for (auto* args : {&checkArgs, &runArgs}) {
            args->insert(args->end(), c.options.begin(), c.options.end());
            args->push_back("params.txt");
        }
        const ChildResult check = runProgram(checkArgs, dir.path());
        const ChildResult run = runProgram(runArgs, dir.path());
        const bool inputsKept = dir.read("params.txt") == params && dir.read("data.txt") == c.data;
        // Rows went to a device, or to a regular results file (a named pipe
        // is not read: that would wait for a writer).
        struct stat results;
        const bool accepted = params.find("/dev/") != std::string::npos ||
                              (stat(dir.file("results.txt").c_str(), &results) == 0 &&
                               S_ISREG(results.st_mode) && !dir.read("results.txt").empty());
        EXPECT_EQ(check.exitStatus != 0, run.exitStatus != 0 || !inputsKept || !accepted)
            << c.name << "\n"
            << check.out << run.out;
        const std::string report = c.report != nullptr ? c.report : "settings OK";
        EXPECT_NE(check.out.find(report), std::string::npos) << c.name << ": " << check.out;
        EXPECT_TRUE(inputsKept) << c.name;
        if (report.rfind("is the ", 0) == 0) {
            const std::string refusal = report + "; give OUTFILE_NAME a name of its own\n";
            EXPECT_TRUE(run.exitStatus == 1 && run.out.find(refusal) != std::string::npos)
                << run.out;
        }
    }
}

TEST(SettingsCheck, NearestKeyByEditDistance) {
    struct Pair {
        const char* a;
        const char* b;
        std::size_t distance;
    };
    for (const Pair& p : std::vector<Pair>{{"EPSILLON", "EPSILON", 1},
                                           {"REPEAT", "REPEATS", 1},
                                           {"MY_LOWR", "MY_LOWER", 1},
                                           {"ALHPA", "ALPHA", 2},
                                           {"", "ALPHA", 5},
                                           {"SAME", "SAME", 0}})
        EXPECT_EQ(editDistance(p.a, p.b), p.distance) << p.a;
}
