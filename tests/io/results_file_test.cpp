#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <memory>
#include <string>

#include "io/ResultsFile.h"
#include "support/ChildProcess.h"

namespace {

const std::string kHeader =
    "Rep#    My             TimeToOri      PopSizeOriTha  PopSizePreTha  PopSizeOriSue  "
    "PopSizePreSue  FracSueMono    DS             \n\n";

void writeRows(const std::string& path, int numbRows) {
    for (int i = 1; i <= numbRows; ++i)
        printOutfile(1.23e-4, 150.0, 123.456, 4567.8, 12.0, 345.0, 0.75, 2.5 * i, i, path.c_str());
}

std::string row(int i, const char* ds) {
    return std::to_string(i) + std::string(8 - std::to_string(i).size(), ' ') +
           "1.23e-04       1.50e+02       1.23e+02       4.57e+03       1.20e+01       "
           "3.45e+02       0.75000        " +
           ds + "       \n";
}

}  // namespace

TEST(ResultsFile, FirstRowOfARunCarriesTheHeaderAndLaterRowsDoNot) {
    TempDir dir;
    std::string path = dir.file("results.txt");
    writeRows(path, 2);
    EXPECT_EQ(dir.read("results.txt"), kHeader + row(1, "2.50e+00") + row(2, "5.00e+00"));
    // The same bytes come from the formatting alone (rows merged later use it).
    EXPECT_EQ(formatResultsRow(1.23e-4, 150.0, 123.456, 4567.8, 12.0, 345.0, 0.75, 2.5, 1) +
                  formatResultsRow(1.23e-4, 150.0, 123.456, 4567.8, 12.0, 345.0, 0.75, 5.0, 2),
              dir.read("results.txt"));
}

TEST(ResultsFile, EveryRunAppendsItsOwnTable) {
    TempDir dir;
    std::string path = dir.write("results.txt", "earlier content\n");
    writeRows(path, 2);
    writeRows(path, 1);
    EXPECT_EQ(dir.read("results.txt"), "earlier content\n" + kHeader + row(1, "2.50e+00") +
                                           row(2, "5.00e+00") + kHeader + row(1, "2.50e+00"));
}

TEST(ResultsFile, WideValuesAreNotCut) {
    TempDir dir;
    std::string path = dir.file("results.txt");
    printOutfile(0, 0, 0, 0, 0, 0, 12345678901234567890.0, -1e300, 123456789, path.c_str());
    std::string zeros;
    for (int i = 0; i < 6; ++i) zeros += "0.00e+00       ";
    EXPECT_EQ(dir.read("results.txt"),
              "123456789" + zeros + "12345678901234567168.00000" + "-1.00e+300     " + "\n");
}

TEST(ResultsFile, FullDiskAndUnopenableFilesEndTheRun) {
    ChildResult full = runInChild([] { printOutfile(1, 2, 3, 4, 5, 6, 0.5, 1, 3, "/dev/full"); });
    EXPECT_EQ(full.exitStatus, 1);
    EXPECT_EQ(full.out, "error: printOutfile: cannot write /dev/full\n");

    TempDir dir;
    std::string folder = dir.path();
    ChildResult isDir =
        runInChild([&] { printOutfile(1, 2, 3, 4, 5, 6, 0.5, 1, 1, folder.c_str()); });
    EXPECT_EQ(isDir.exitStatus, 1);
    EXPECT_EQ(isDir.out, "Error opening outfile\n");

    std::string noFolder = dir.file("missing/results.txt");
    ChildResult missing =
        runInChild([&] { printOutfile(1, 2, 3, 4, 5, 6, 0.5, 1, 1, noFolder.c_str()); });
    EXPECT_EQ(missing.out, "Error opening outfile\n");
}

TEST(ResultsFile, APartlyWrittenRowOrBlockIsTakenBack) {
    std::string block;
    for (int i = 1; i <= 200; ++i) block += formatResultsRow(1, 2, 3, 4, 5, 6, 0.5, 1, i);
    // Room for a part of a row, and for many rows but not all of the block.
    for (std::size_t room : {std::size_t{40}, block.size() - 100}) {
        TempDir dir;
        std::string path = dir.file("results.txt");
        writeRows(path, 1);
        const std::string before = dir.read("results.txt");
        // Allow the file to grow by only `room`, as a nearly full disk would.
        ChildResult r = runInChild([&] {
            signal(SIGXFSZ, SIG_IGN);
            rlimit limit{};
            limit.rlim_cur = limit.rlim_max = before.size() + room;
            setrlimit(RLIMIT_FSIZE, &limit);
            if (room == 40) {
                printOutfile(1, 2, 3, 4, 5, 6, 0.5, 1, 2, path.c_str());
            } else {
                ResultsWriter writer(path);
                writer.appendBlock(block);
            }
        });
        EXPECT_EQ(r.exitStatus, 1) << room;
        EXPECT_EQ(r.out, "error: printOutfile: cannot write " + path + "\n");
        EXPECT_EQ(dir.read("results.txt"), before) << room;
    }
}

TEST(ResultsFile, WriterChecksTheFileAtOnceWithoutCreatingIt) {
    TempDir dir;
    dir.write("plain.txt", "text\n");
    ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0600), 0);
    ASSERT_EQ(symlink("gone/results.txt", dir.file("link").c_str()), 0);
    struct Case {
        std::string name;
        bool usable;
    };
    const Case cases[] = {
        {dir.file("results.txt"), true},  // missing, in a folder that takes it
        {dir.file("plain.txt"), true},
        {"/dev/full", true},  // fails only when written
        {dir.path(), false},
        {dir.file("missing/results.txt"), false},
        {dir.file("plain.txt/results.txt"), false},
        {"", false},
        {dir.file("fifo"), false},  // no program reads it: refused, not waited for
        {dir.file("link"), false},  // a link to nothing
    };
    for (const Case& c : cases) {
        ChildResult r = runInChild([&] { ResultsWriter writer(c.name); });
        EXPECT_EQ(r.exitStatus, c.usable ? 0 : 1) << c.name;
        EXPECT_EQ(r.out, c.usable ? "" : "Error opening outfile\n") << c.name;
    }
    EXPECT_FALSE(dir.exists("results.txt"));
    EXPECT_EQ(dir.read("plain.txt"), "text\n");
}

TEST(ResultsFile, ASecondWriterStopsBeforeItWritesWhileAnotherHoldsTheFile) {
    const std::string kEarlier = "earlier content\n";
    // The file exists when both writers start (the second stops at its
    // check), or it is created by the first writer's first row after both
    // passed their checks (the second stops at its first row).
    for (bool existsAtStart : {true, false}) {
        TempDir dir;
        const std::string path = dir.file("results.txt");
        if (existsAtStart) dir.write("results.txt", kEarlier);
        const std::string busy = "error: results file " + path +
                                 " is being written by another run; give each run its own "
                                 "OUTFILE_NAME\n";

        auto first = std::make_unique<ResultsWriter>(path);
        ChildResult second = runInChild([&] {
            ResultsWriter writer(path);
            first->appendRow(1.23e-4, 150.0, 123.456, 4567.8, 12.0, 345.0, 0.75, 2.5, 1);
            writer.appendRow(1, 2, 3, 4, 5, 6, 0.5, 1, 1);
        });
        EXPECT_EQ(second.exitStatus, 1) << existsAtStart;
        EXPECT_EQ(second.out, busy) << existsAtStart;
        const std::string firstRows = existsAtStart ? kEarlier : kHeader + row(1, "2.50e+00");
        EXPECT_EQ(dir.read("results.txt"), firstRows);

        // Once the first writer is done, the file is free again.
        first->close();
        first.reset();
        writeRows(path, 1);
        EXPECT_EQ(dir.read("results.txt"), firstRows + kHeader + row(1, "2.50e+00"));
    }
}

TEST(ResultsFile, AFileEndingInACutRowGetsALineEndBeforeTheFirstNewBytes) {
    struct Case {
        std::string before;
        std::string joint;  // inserted between the old bytes and the new ones
    };
    const Case cases[] = {
        {"", ""},
        {"earlier content\n", ""},
        {"\n", ""},
        {kHeader + "1       4.78e-04       5.49e+", "\n"},  // a row cut by a kill
        {"Rep#    My  ", "\n"},
        {"x", "\n"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const std::string path = dir.write("results.txt", c.before);
        {
            ResultsWriter writer(path);
            writer.appendBlock("a");  // only the first bytes of a run start a fresh line
            writer.appendBlock("b\n");
            writer.close();
        }
        writeRows(path, 1);
        EXPECT_EQ(dir.read("results.txt"),
                  c.before + c.joint + "ab\n" + kHeader + row(1, "2.50e+00"))
            << c.before;
    }
}
