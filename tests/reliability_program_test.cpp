// Whole-program runs under faults (results file that cannot be written, a run
// killed part-way) and under extreme settings: each run either does what its
// settings ask or stops with a clear message, and never loses a written row.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/ChildProcess.h"
#include "support/ParamsFileText.h"

namespace {

const char* kData =
    "sue1 sue2 tha1 tha2 tha3\n"
    "10 12 11 13 9\n"
    "20 20 21 19 22\n";

const std::string kHeader =
    "Rep#    My             TimeToOri      PopSizeOriTha  PopSizePreTha  PopSizeOriSue  "
    "PopSizePreSue  FracSueMono    DS             \n\n";

// Every repeat is accepted: the threshold is far above any distance.
ParamsFileText acceptAll() { return ParamsFileText().set("EPSILON", "1e6").set("REPEATS", "50"); }

// Runs the program (with a time limit, so that a hang fails the test rather
// than stalling it) in `dir`, after `wrapper` (e.g. a resource limit).
ChildResult runLimited(const TempDir& dir, const ParamsFileText& params,
                       std::vector<std::string> wrapper = {}, const char* data = kData) {
    dir.write("params.txt", params.str());
    dir.write("data.txt", data);
    std::vector<std::string> argv = {"timeout", "60"};
    argv.insert(argv.end(), wrapper.begin(), wrapper.end());
    argv.insert(argv.end(), {FOUNDABC_BIN, "params.txt"});
    return runProgram(argv, dir.path());
}

bool endsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Number of rows when `text` is a header, an empty line and complete rows
// numbered from 1 (or nothing at all); -1 otherwise.
int completeRows(const std::string& text) {
    if (text.empty()) return 0;
    if (text.compare(0, kHeader.size(), kHeader) != 0) return -1;
    std::istringstream in(text.substr(kHeader.size()));
    int numbRows = 0;
    for (std::string line; std::getline(in, line);) {
        // Fixed width: 8 + 8 x 15 characters, starting with the row number.
        if (line.size() != 128 || std::stoi(line.substr(0, 8)) != numbRows + 1) return -1;
        ++numbRows;
    }
    return text.back() == '\n' ? numbRows : -1;
}

}  // namespace

TEST(ProgramFaults, ResultsFileThatCannotBeOpenedOrWrittenEndsTheRun) {
    struct Case {
        const char* outfile;
        const char* message;
    };
    const Case cases[] = {
        {".", "Error opening outfile\n"},           // a folder
        {"data.txt/x", "Error opening outfile\n"},  // a path through a regular file
        {"/dev/full", "error: printOutfile: cannot write /dev/full\n"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        ChildResult r = runLimited(dir, acceptAll().set("OUTFILE_NAME", c.outfile));
        EXPECT_EQ(r.exitStatus, 1) << c.outfile;
        EXPECT_TRUE(endsWith(r.out, std::string("Running... \n\n") + c.message))
            << c.outfile << ": " << r.out;
        EXPECT_EQ(dir.read("data.txt"), kData) << c.outfile;
    }
}

TEST(ProgramFaults, AWriteThatFailsMidRunKeepsEarlierRowsComplete) {
    TempDir dir;
    // Room for the header and two rows and part of a third: the file-size
    // limit makes the third write fail part-way, as a full disk would.
    const std::size_t limit = kHeader.size() + 2 * 129 + 60;
    ChildResult r = runLimited(dir, acceptAll(), {"prlimit", "--fsize=" + std::to_string(limit)});
    EXPECT_EQ(r.exitStatus, 1) << r.out;
    EXPECT_TRUE(endsWith(r.out, "error: printOutfile: cannot write results.txt\n")) << r.out;
    EXPECT_EQ(completeRows(dir.read("results.txt")), 2);
}

TEST(ProgramFaults, RunKilledAtAnyMomentLeavesOnlyCompleteRows) {
    // Kill moments spread over the run, from before the first row to well
    // into it (every repeat writes a row); the last ones are counted from the
    // first row, so that some kills surely come while rows are written
    // however slow the machine.
    struct Moment {
        int delayMs;
        bool fromFirstRow;
    };
    const Moment moments[] = {{1, false},   {3, false},  {6, false},  {10, false},
                              {17, false},  {25, false}, {40, false}, {65, false},
                              {100, false}, {0, true},   {2, true},   {9, true}};
    int mostRows = 0;
    for (const Moment& m : moments) {
        TempDir dir;
        dir.write("params.txt", acceptAll().set("REPEATS", "100000000").str());
        dir.write("data.txt", kData);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            if (chdir(dir.path().c_str()) != 0) _exit(127);
            const int devNull = open("/dev/null", O_WRONLY);
            dup2(devNull, 1);
            dup2(devNull, 2);
            execl(FOUNDABC_BIN, FOUNDABC_BIN, "params.txt", static_cast<char*>(nullptr));
            _exit(127);
        }
        if (m.fromFirstRow)
            for (int i = 0; i < 20000 && !dir.exists("results.txt"); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::this_thread::sleep_for(std::chrono::milliseconds(m.delayMs));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the run ended before it was killed";
        const std::string results = dir.read("results.txt");
        const int numbRows = completeRows(results);
        EXPECT_GE(numbRows, 0) << "killed after " << m.delayMs << " ms:\n" << results;
        mostRows = std::max(mostRows, numbRows);
    }
    EXPECT_GT(mostRows, 0) << "no kill came while rows were written";
}

TEST(ProgramEdges, ExtremeButValidSettingsRunToTheEnd) {
    struct Case {
        std::vector<std::pair<const char*, const char*>> changes;
        int repeats;
    };
    const std::vector<Case> cases = {
        {{{"ALPHA", "5"}}, 50},  // the founding falls inside the growth phase
        {{{"ALPHA", "1e300"}}, 50},
        {{{"ALPHA", "1e-300"}}, 50},
        {{{"TIME_TO_ORIGIN_LOWER", "1e-9"}, {"TIME_TO_ORIGIN_UPPER", "1e-6"}}, 50},
        {{{"TIME_TO_ORIGIN_LOWER", "0"}, {"TIME_TO_ORIGIN_UPPER", "1e-300"}}, 50},
        // Far more founders than lines: costs no more than a few founders.
        {{{"CONDITIONAL_NUMBER_OF_ORIGINS", "2000000000"}}, 200},
        {{{"UNEQUAL_FOUNDING_FRACTIONS", "1e-300"}, {"CONDITIONAL_NUMBER_OF_ORIGINS", "2"}}, 50},
    };
    for (const Case& c : cases) {
        ParamsFileText params = acceptAll().set("REPEATS", std::to_string(c.repeats));
        std::string label;
        for (const auto& [key, value] : c.changes) {
            params.set(key, value);
            label += std::string(key) + "=" + value + " ";
        }
        TempDir dir;
        ChildResult r = runLimited(dir, params);
        EXPECT_EQ(r.exitStatus, 0) << label << r.out;
        EXPECT_TRUE(endsWith(r.out, "Running... \n\n")) << label;
        // Every distance is finite and far below the threshold.
        EXPECT_EQ(completeRows(dir.read("results.txt")), c.repeats) << label;
    }
}

TEST(ProgramEdges, EqualPriorBoundsStopAtTheFirstDraw) {
    const char* ranges[] = {"MY",
                            "TIME_TO_ORIGIN",
                            "POPSIZE_ORIGIN_THA",
                            "POPSIZE_PRESENT_THA",
                            "POPSIZE_ORIGIN_SUE",
                            "POPSIZE_PRESENT_SUE"};
    for (const char* range : ranges) {
        const std::string key = range;
        ParamsFileText params = acceptAll().set(key + "_LOWER", "3000").set(key + "_UPPER", "3000");
        std::string field = key;
        for (char& c : field) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        TempDir dir;
        ChildResult r = runLimited(dir, params);
        EXPECT_EQ(r.exitStatus, 1) << key;
        EXPECT_TRUE(
            endsWith(r.out, "error: parameters: " + field + "_upper <= " + field + "_lower\n"))
            << key << ": " << r.out;
        EXPECT_FALSE(dir.exists("results.txt")) << key;
    }
}

TEST(ProgramEdges, HugeCountsWithAShortDataFileEndWithTheCountMessage) {
    struct Case {
        const char* key;
        const char* value;
        const char* message;
    };
    const Case cases[] = {
        {"NUMBER_OF_LOCI", "2000000000",
         "error: readDataFile: 0 values (of 5) reed for loci# 3.\n"},
        {"NUMBER_OF_THA_LINES", "1000000000",
         "error: readDataFile: 5 values (of 1000000002) reed for loci# 1.\n"},
        {"NUMBER_OF_SUE_LINES", "2147483640",
         "error: readDataFile: 5 values (of 2147483643) reed for loci# 1.\n"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        std::vector<std::string> wrapper;
#if !defined(__SANITIZE_ADDRESS__)
        // Memory for the counts asked for is never taken, only for what the
        // file holds (the sanitizer runtime itself needs a larger space).
        wrapper = {"prlimit", "--as=1000000000"};
#endif
        ChildResult r = runLimited(dir, acceptAll().set(c.key, c.value), wrapper);
        EXPECT_EQ(r.exitStatus, 1) << c.key;
        EXPECT_TRUE(endsWith(r.out, c.message)) << c.key << ": " << r.out;
    }
}

TEST(ProgramEdges, MutationCountBeyondRangeStopsWithAMessage) {
    TempDir dir;
    ChildResult r = runLimited(dir, acceptAll().set("MY_LOWER", "1e299").set("MY_UPPER", "1e300"));
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_TRUE(endsWith(
        r.out,
        "\n error: generateStepMut: expected number of mutations on a branch is too large\n\n"))
        << r.out;
    EXPECT_FALSE(dir.exists("results.txt"));
}
