// The progress line: shown on a terminal only, never on standard output.
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "app/Progress.h"
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
    EXPECT_EQ(formatProgress(0, 10, 0, 0.0), "0/10 repeats (0.0%), 0 accepted, 0 repeats/s, ? left");
}

TEST(Progress, NothingOnStandardErrorWhenItIsNotATerminal) {
    TempDir dir;
    dir.write("params.txt", longRun());
    dir.write("data.txt", kData);
    ChildResult r = runFoundabc({"params.txt"}, dir.path(), "2024-01-01 00:00:00", dir.file("err"));
    ASSERT_EQ(r.exitStatus, 0) << r.out;
    EXPECT_EQ(dir.read("err"), "");
    EXPECT_EQ(r.out.find("repeats"), std::string::npos);
}

TEST(Progress, OnATerminalTheLineIsDrawnAndClearedAtTheEnd) {
    TempDir dir;
    dir.write("params.txt", longRun());
    dir.write("data.txt", kData);
    int master = -1, slave = -1;
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    std::vector<std::string> argv = foundabcCommand({"params.txt"});
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
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
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_NE(screen.find("/4000 repeats ("), std::string::npos) << screen;
    const std::string clearLine = "\r\x1b[K";
    ASSERT_GE(screen.size(), clearLine.size());
    EXPECT_EQ(screen.substr(screen.size() - clearLine.size()), clearLine);
}
