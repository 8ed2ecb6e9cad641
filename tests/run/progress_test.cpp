// The progress line: shown on a terminal only, never on standard output.
#include "run/Progress.h"

#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "support/ParamsFileText.h"

namespace {

const char* kData =
    "header\n"
    "12 13 12 14 15 18 12 20 16 14\n"
    "20 21 21 19 22 25 19 23 18 24\n";

// The line is drawn after the first repeat, then at most four times a second.
std::string longRun() {
    return ParamsFileText()
        .set("NUMBER_OF_THA_LINES", "6")
        .set("NUMBER_OF_SUE_LINES", "4")
        .set("REPEATS", "4000")
        .str();
}

}  // namespace

TEST(Progress, LineShowsCountsRateAndTimeLeft) {
    EXPECT_EQ(formatProgress(250, 1000, 7, 2.0),
              "250/1000 repeats (25.0%), 7 accepted, 125 repeats/s, 6s left");
    EXPECT_EQ(formatProgress(100, 100000, 0, 1.0),
              "100/100000 repeats (0.1%), 0 accepted, 100 repeats/s, 16m39s left");
    EXPECT_EQ(formatProgress(0, 10, 0, 0.0),
              "0/10 repeats (0.0%), 0 accepted, 0 repeats/s, ? left");
}

TEST(Progress, FinalLineGivesRepeatsRowsFileAndElapsedTime) {
    struct Case {
        long repeats, accepted;
        double seconds;
        const char* table;
        const char* line;
    };
    const Case cases[] = {
        {20000, 1190, 3.24, "",
         "20000 repeats, 1190 rows accepted and appended to results.txt (3.2s)"},
        {1, 1, 0.04, "", "1 repeat, 1 row accepted and appended to results.txt (0.0s)"},
        {500, 0, 75, "", "500 repeats, no row accepted; no results file written (1m15s)"},
        {0, 0, 59.96, "", "0 repeats, no row accepted; no results file written (1m00s)"},
        {10, 2, 7300, "", "10 repeats, 2 rows accepted and appended to results.txt (2h01m)"},
        {10, 0, 1, "t.tsv.gz",
         "10 repeats, no row accepted; no results file written; every repeat written to the "
         "reference table t.tsv.gz (1.0s)"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(formatFinish(c.repeats, c.accepted, "results.txt", c.table, c.seconds), c.line);
}

TEST(Progress, OnlyTheFinalLineOnStandardErrorWhenItIsNotATerminal) {
    // A log (a batch job's, or 2> file) gets no progress line and no
    // terminal control, but says how the run, or the shard, ended.
    struct Case {
        std::vector<std::string> args;
        const char* finalLine;
    };
    const Case cases[] = {
        {{"--seed", "3", "params.txt"},
         "4000 repeats, 282 rows accepted and appended to results.txt ("},
        {{"--seed", "3", "--shard", "2/2", "params.txt"},
         "2000 repeats, 128 rows accepted, written to the shard results.txt.shard-2-of-2 ("},
    };
    for (const Case& c : cases) {
        TempDir dir;
        dir.write("params.txt", longRun());
        dir.write("data.txt", kData);
        ChildResult r = runFoundabc(c.args, dir.path(), "2024-01-01 00:00:00", dir.file("err"));
        ASSERT_EQ(r.exitStatus, 0) << r.out;
        const std::string err = dir.read("err");
        EXPECT_EQ(err.rfind(c.finalLine, 0), 0u) << err;
        EXPECT_EQ(err.find_first_of("\r\x1b"), std::string::npos) << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_EQ(r.out.find("repeats,"), std::string::npos);
    }
}

// Runs the program in `dir` with standard error on a terminal; returns what
// the terminal showed.
std::string terminalScreen(const TempDir& dir) {
    dir.write("data.txt", kData);
    int master = -1, slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return "openpty failed";
    std::vector<std::string> argv = foundabcCommand({"params.txt"});
    pid_t pid = fork();
    if (pid < 0) return "fork failed";
    if (pid == 0) {
        close(master);
        dup2(slave, STDERR_FILENO);
        FILE* devNull = std::fopen("/dev/null", "w");
        if (devNull != nullptr) dup2(fileno(devNull), STDOUT_FILENO);
        if (chdir(dir.path().c_str()) != 0) _exit(127);
        std::vector<char*> args;
        for (auto& a : argv) args.push_back(a.data());
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    close(slave);
    std::string screen;
    char buf[4096];
    for (ssize_t n; (n = read(master, buf, sizeof buf)) > 0;) screen.append(buf, n);
    close(master);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return "run failed: " + screen;
    return screen;
}

TEST(Progress, OnATerminalTheLineIsDrawnThenReplacedByTheFinalLine) {
    TempDir dir;
    dir.write("params.txt", longRun());
    dir.write("data.txt", kData);
    const std::string screen = terminalScreen(dir);
    EXPECT_NE(screen.find("/4000 repeats ("), std::string::npos) << screen;
    // The terminal turns the line end into a carriage return and a line feed.
    const std::size_t last = screen.rfind("\r4000 repeats, ");
    ASSERT_NE(last, std::string::npos) << screen;
    const std::string tail = screen.substr(last);
    const bool accepted = dir.exists("results.txt");
    EXPECT_NE(tail.find(accepted ? " accepted and appended to results.txt ("
                                 : "no row accepted; no results file written ("),
              std::string::npos)
        << tail;
    const std::string lineEnd = ")\x1b[K\r\n";
    ASSERT_GE(tail.size(), lineEnd.size());
    EXPECT_EQ(tail.substr(tail.size() - lineEnd.size()), lineEnd) << tail;
}

TEST(Progress, OnATerminalARunThatAcceptsNothingSaysSo) {
    TempDir dir;
    dir.write("params.txt", ParamsFileText()
                                .set("NUMBER_OF_THA_LINES", "6")
                                .set("NUMBER_OF_SUE_LINES", "4")
                                .set("REPEATS", "20")
                                .set("EPSILON", "0")
                                .str());
    dir.write("data.txt", kData);
    const std::string screen = terminalScreen(dir);
    EXPECT_NE(screen.find("\r20 repeats, no row accepted; no results file written ("),
              std::string::npos)
        << screen;
    EXPECT_FALSE(dir.exists("results.txt"));
}
