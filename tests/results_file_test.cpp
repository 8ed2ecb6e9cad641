#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
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

TEST(ResultsFile, APartlyWrittenRowIsTakenBack) {
    TempDir dir;
    std::string path = dir.file("results.txt");
    writeRows(path, 1);
    const std::string before = dir.read("results.txt");
    // Allow the file to grow by only a part of a row, as a nearly full disk would.
    ChildResult r = runInChild([&] {
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        limit.rlim_cur = limit.rlim_max = before.size() + 40;
        setrlimit(RLIMIT_FSIZE, &limit);
        printOutfile(1, 2, 3, 4, 5, 6, 0.5, 1, 2, path.c_str());
    });
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(r.out, "error: printOutfile: cannot write " + path + "\n");
    EXPECT_EQ(dir.read("results.txt"), before);
}
