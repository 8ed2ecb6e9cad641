// What a finished file does to what its name already holds: a link is
// followed and kept, a FIFO or device is written through, what is neither a
// file nor one of those is refused, and nothing is left behind by a refusal
// or a signal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>

#include "io/FinishedFile.h"
#include "support/ChildProcess.h"

namespace {

// The names in `dir` that start with a dot: stray temporary files.
int hiddenFiles(const TempDir& dir) {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        count += entry.path().filename().string()[0] == '.';
    return count;
}

bool isLink(const std::string& path) {
    struct stat info;
    return lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

void makeSocket(const std::string& path) {
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    close(fd);
}

// Dates the file `path` an hour back.
void makeOld(const std::string& path) {
    timespec times[2];
    times[0].tv_sec = times[1].tv_sec = time(nullptr) - 3600;
    times[0].tv_nsec = times[1].tv_nsec = 0;
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

}  // namespace

TEST(FinishedFile, WhatTheNameHoldsDecidesHowItIsWritten) {
    struct Case {
        const char* what;
        std::function<void(const TempDir&)> setUp;  // makes "out" (and what it leads to)
        const char* error;                          // "": written
        const char* target;                         // the file that then holds "new\n"
    };
    const Case cases[] = {
        {"nothing", [](const TempDir&) {}, "", "out"},
        {"a file", [](const TempDir& d) { d.write("out", "old\n"); }, "", "out"},
        {"a link to a file",
         [](const TempDir& d) {
             d.write("kept", "old\n");
             ASSERT_EQ(symlink("kept", d.file("out").c_str()), 0);
         },
         "", "kept"},
        {"a link to a link to a file in another folder",
         [](const TempDir& d) {
             std::filesystem::create_directory(d.file("sub"));
             d.write("sub/kept", "old\n");
             ASSERT_EQ(symlink("sub/kept", d.file("mid").c_str()), 0);
             ASSERT_EQ(symlink("mid", d.file("out").c_str()), 0);
         },
         "", "sub/kept"},
        {"a dangling link",
         [](const TempDir& d) { ASSERT_EQ(symlink("gone", d.file("out").c_str()), 0); },
         "it is a symbolic link to 'gone', which does not exist", nullptr},
        {"a link loop",
         [](const TempDir& d) {
             ASSERT_EQ(symlink("back", d.file("out").c_str()), 0);
             ASSERT_EQ(symlink("out", d.file("back").c_str()), 0);
         },
         "it is a symbolic link that leads round in a loop", nullptr},
        {"a chain of 41 links to a file",
         [](const TempDir& d) {
             d.write("kept", "old\n");
             for (int i = 41; i >= 1; --i)
                 ASSERT_EQ(symlink(i == 41 ? "kept" : ("l" + std::to_string(i + 1)).c_str(),
                                   d.file(i == 1 ? "out" : "l" + std::to_string(i)).c_str()),
                           0);
         },
         "it is a chain of 41 symbolic links: too many links for the system to follow (Too many "
         "levels of symbolic links)",
         nullptr},
        {"a directory", [](const TempDir& d) { std::filesystem::create_directory(d.file("out")); },
         "it is a directory, not a file", nullptr},
        {"a link to a directory",
         [](const TempDir& d) {
             std::filesystem::create_directory(d.file("dir"));
             ASSERT_EQ(symlink("dir", d.file("out").c_str()), 0);
         },
         "it is a directory, not a file", nullptr},
        {"a socket", [](const TempDir& d) { makeSocket(d.file("out")); },
         "it is a socket, not a file", nullptr},
        {"a link to /dev/null",
         [](const TempDir& d) { ASSERT_EQ(symlink("/dev/null", d.file("out").c_str()), 0); }, "",
         nullptr},
    };
    for (const Case& c : cases) {
        TempDir dir;
        c.setUp(dir);
        struct stat before {};
        lstat(dir.file("out").c_str(), &before);
        {
            FinishedFile file(dir.file("out"));
            EXPECT_EQ(file.error(), c.error) << c.what;
            EXPECT_EQ(file.write("new\n") && file.commit(true), c.error[0] == '\0') << c.what;
        }
        EXPECT_EQ(hiddenFiles(dir), 0) << c.what;
        struct stat after {};
        lstat(dir.file("out").c_str(), &after);
        if (before.st_mode != 0 && (c.error[0] != '\0' || !S_ISREG(before.st_mode))) {
            EXPECT_EQ(after.st_mode & S_IFMT, before.st_mode & S_IFMT) << c.what;
        }
        if (c.target != nullptr) {
            EXPECT_EQ(dir.read(c.target), "new\n") << c.what;
            EXPECT_EQ(isLink(dir.file("out")), std::string(c.target) != "out") << c.what;
        }
    }
    struct stat null {};
    ASSERT_EQ(stat("/dev/null", &null), 0);
    EXPECT_TRUE(S_ISCHR(null.st_mode));
}

// What waits in the pipe read from `fd` (non-blocking, its writer gone);
// closes it.
std::string drainPipe(int fd) {
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<std::size_t>(n));
    close(fd);
    return text;
}

// A FIFO is written through at commit, without a temporary file, and stays a
// FIFO; without `replace` it counts as an existing file and gets nothing.
TEST(FinishedFile, AFifoIsWrittenThroughAndKept) {
    for (bool replace : {true, false}) {
        TempDir dir;
        const std::string fifo = dir.file("pipe");
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
        // A reader is there before the file is opened (one without is
        // refused); what is written waits in the pipe, read afterwards.
        const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
        ASSERT_GE(reader, 0);
        {
            FinishedFile file(fifo);
            EXPECT_EQ(file.error(), "");
            EXPECT_TRUE(file.writesThrough());
            EXPECT_EQ(hiddenFiles(dir), 0);
            EXPECT_TRUE(file.write("through\n"));
            EXPECT_EQ(file.commit(replace), replace);
            EXPECT_EQ(file.alreadyExists(), !replace);
        }
        const std::string received = drainPipe(reader);
        EXPECT_EQ(received, replace ? "through\n" : "");
        struct stat info;
        ASSERT_EQ(lstat(fifo.c_str(), &info), 0);
        EXPECT_TRUE(S_ISFIFO(info.st_mode));
    }
    // No reader: refused at once rather than waited on for ever.
    TempDir dir;
    ASSERT_EQ(mkfifo(dir.file("unread").c_str(), 0600), 0);
    const FinishedFile unread(dir.file("unread"));
    EXPECT_EQ(unread.error(), "it is a named pipe (FIFO) that no program reads; start its reader first");
}

// What takes the name after the file was begun is not renamed over either.
TEST(FinishedFile, ADirectoryThatTookTheNameMeanwhileIsKept) {
    TempDir dir;
    FinishedFile file(dir.file("out"));
    ASSERT_TRUE(file.write("x"));
    std::filesystem::create_directory(dir.file("out"));
    EXPECT_FALSE(file.commit(true));
    EXPECT_EQ(file.error(), "it is now a directory, not a file");
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("out")));
}

// A process ended by SIGTERM or SIGHUP while a file is unfinished removes its
// temporary file, and still ends by that signal.
TEST(FinishedFile, ASignalRemovesTheTemporaryFile) {
    for (int sig : {SIGTERM, SIGHUP, SIGINT}) {
        TempDir dir;
        const ChildResult r = runInChild([&] {
            FinishedFile file(dir.file("out"));
            file.write("part");
            if (hiddenFiles(dir) != 1) _exit(3);
            raise(sig);
            _exit(4);
        });
        EXPECT_EQ(r.exitStatus, -1) << sig;
        EXPECT_EQ(hiddenFiles(dir), 0) << sig;
        EXPECT_FALSE(dir.exists("out")) << sig;
    }
}

// A temporary file left by a killed process is removed by the next file of
// its name; one that a live file holds, a fresh one, and files of other names
// are kept.
TEST(FinishedFile, TemporariesLeftByAKilledProcessAreRemovedByTheNext) {
    struct Case {
        const char* name;
        bool old, removed;
    };
    const Case cases[] = {
        {".out.aB3dE9", true, true},  {".out.aB3dE9", false, false},  {".out.aB3dE", true, false},
        {".out.aB3-E9", true, false}, {".other.aB3dE9", true, false}, {"out.aB3dE9x", true, false},
    };
    for (const Case& c : cases) {
        TempDir dir;
        dir.write(c.name, "left");
        if (c.old) makeOld(dir.file(c.name));
        FinishedFile next(dir.file("out"));
        EXPECT_EQ(dir.exists(c.name), !c.removed) << c.name;
    }
    // Killed while writing: its temporary file stays until the next run.
    TempDir dir;
    const ChildResult killed = runInChild([&] {
        FinishedFile file(dir.file("out"));
        file.write("part");
        makeOld(file.temporaryPath());
        raise(SIGKILL);
    });
    EXPECT_EQ(killed.exitStatus, -1);
    ASSERT_EQ(hiddenFiles(dir), 1);
    {
        FinishedFile live(dir.file("out"));
        EXPECT_EQ(hiddenFiles(dir), 1);  // its own
        makeOld(live.temporaryPath());
        FinishedFile other(dir.file("out"));
        EXPECT_EQ(hiddenFiles(dir), 2);  // the live one is held
        ASSERT_TRUE(live.write("whole\n") && live.commit(true));
    }
    EXPECT_EQ(dir.read("out"), "whole\n");
    EXPECT_EQ(hiddenFiles(dir), 0);
}
