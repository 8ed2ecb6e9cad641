#include <gtest/gtest.h>

#include <string>

#include "io/DataFile.h"
#include "support/ChildProcess.h"

namespace {

const std::string kEndOfBuffer = "error: readDataFile: end of buffer\n";

ChildResult readInChild(const std::string& text, int numbLoci, int numbLines) {
    TempDir dir;
    std::string path = dir.write("data.txt", text);
    return runInChild([&] { readDataFile(path.c_str(), numbLoci, numbLines); });
}

AlleleMatrix readText(const std::string& text, int numbLoci, int numbLines) {
    TempDir dir;
    return readDataFile(dir.write("data.txt", text).c_str(), numbLoci, numbLines);
}

// A locus line of two values whose second value ends at character position
// `lastPosition` (from 1), padded with blanks in between.
std::string twoValuesEndingAt(std::size_t lastPosition) {
    return "1" + std::string(lastPosition - 2, ' ') + "2";
}

}  // namespace

TEST(ReadDataFile, RowsHoldSueThenThaValuesInFileOrder) {
    AlleleMatrix m = readText(
        "10 11 12 13 14\n"  // a header that looks like data is still skipped
        "10 11 12 13 14\n"
        "   20  21 22   23 24 99 98\n"  // leading and repeated blanks, extra fields
        "30 31 32 33 34\n",             // extra line
        2, 5);
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(m[0], (std::vector<int32_t>{10, 11, 12, 13, 14}));
    EXPECT_EQ(m[1], (std::vector<int32_t>{20, 21, 22, 23, 24}));
}

TEST(ReadDataFile, FieldsConvertAsAtoiAndOnlyBlanksSeparate) {
    AlleleMatrix m = readText("header\r\n-9 12x x +7 10\t11 -0 5\r\n", 1, 6);
    EXPECT_EQ(m[0], (std::vector<int32_t>{-9, 12, 0, 7, 10, 0}));
    AlleleMatrix extremes = readText("h\n2147483647 -2147483648\n", 1, 2);
    EXPECT_EQ(extremes[0], (std::vector<int32_t>{INT32_MAX, INT32_MIN}));
}

TEST(ReadDataFile, ShortLineGivesTheCountMessage) {
    ChildResult r = readInChild("h\n1 2 3 4 5\n1 2 3 4\n", 2, 5);
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(r.out, "error: readDataFile: 4 values (of 5) read for loci# 2.\n");
    ChildResult headerOnly = readInChild("h\n", 1, 5);
    EXPECT_EQ(headerOnly.exitStatus, 1);
    EXPECT_EQ(headerOnly.out, "error: readDataFile: 0 values (of 5) read for loci# 1.\n");
}

TEST(ReadDataFile, FieldsLongerThan15CharactersAreRejected) {
    EXPECT_EQ(readText("h\n000000000000012 3\n", 1, 2)[0], (std::vector<int32_t>{12, 3}));
    ChildResult r = readInChild("h\n1 2\n3 0000000000000004\n", 2, 2);
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(r.out, "error: readDataFile: field longer than 15 characters at loci# 2.\n");
}

TEST(ReadDataFile, ValuesOutsideThe32BitRangeAreRejected) {
    ChildResult r = readInChild("h\n1 2147483648\n", 1, 2);
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(r.out, "error: readDataFile: value outside the 32-bit integer range at loci# 1.\n");
}

TEST(ReadDataFile, ValuesMustBeCompleteWithin1998Positions) {
    // Closed by the line end at position 1998: fine.
    EXPECT_EQ(readText("h\n" + twoValuesEndingAt(1997) + "\n", 1, 2)[0],
              (std::vector<int32_t>{1, 2}));
    // Closed by a blank at position 1998, with more text after it: fine.
    EXPECT_EQ(readText("h\n" + twoValuesEndingAt(1997) + " 3 4 5\n", 1, 2)[0],
              (std::vector<int32_t>{1, 2}));
    // A CR before the line feed is not a character of the line.
    EXPECT_EQ(readText("h\r\n" + twoValuesEndingAt(1997) + "\r\n", 1, 2)[0],
              (std::vector<int32_t>{1, 2}));
    // Closed at position 1999: too late, even though the value is complete.
    ChildResult late = readInChild("h\n" + twoValuesEndingAt(1998) + "\n", 1, 2);
    EXPECT_EQ(late.exitStatus, 1);
    EXPECT_EQ(late.out, kEndOfBuffer);
    // Line end at position 1999 with a value missing: the count message comes first.
    ChildResult missing = readInChild("h\n1" + std::string(1997, ' ') + "\n", 1, 2);
    EXPECT_EQ(missing.out, "error: readDataFile: 1 values (of 2) read for loci# 1.\n");
    // A line that fills the whole buffer never reaches its line end.
    ChildResult full = readInChild("h\n1" + std::string(1998, ' ') + "\n", 1, 2);
    EXPECT_EQ(full.exitStatus, 1);
    EXPECT_EQ(full.out, kEndOfBuffer);
}

TEST(ReadDataFile, LineLongerThanTheBufferSpendsTheRestOfTheFile) {
    // A long header leaves every later line empty.
    ChildResult r = readInChild(std::string(2500, 'h') + "\n1 2\n", 1, 2);
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(r.out, "error: readDataFile: 0 values (of 2) read for loci# 1.\n");
    // A header of 1999 characters is the longest that still leaves the data readable.
    EXPECT_EQ(readText(std::string(1999, 'h') + "\n1 2\n", 1, 2)[0], (std::vector<int32_t>{1, 2}));
}

TEST(ReadDataFile, MissingFileOrDirectoryCannotBeOpened) {
    TempDir dir;
    std::string missing = dir.file("nope.txt");
    ChildResult r = runInChild([&] { readDataFile(missing.c_str(), 1, 2); });
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(r.out, "Error opening datafile " + missing + ": No such file or directory\n");
    ChildResult d = runInChild([&] { readDataFile(dir.path().c_str(), 1, 2); });
    EXPECT_EQ(d.out, "Error opening datafile " + dir.path() + ": is a directory\n");
}

TEST(ReadDataFile, FileEndingEarlyOrWithoutLastLineEnd) {
    // The last locus line needs no line end.
    EXPECT_EQ(readText("h\n1 2\n3 4", 2, 2)[1], (std::vector<int32_t>{3, 4}));
    // Past the end of the file a locus line reads as empty.
    ChildResult early = readInChild("h\r\n1 2 3\r\n4 5 6\r\n", 3, 3);
    EXPECT_EQ(early.exitStatus, 1);
    EXPECT_EQ(early.out, "error: readDataFile: 0 values (of 3) read for loci# 3.\n");
    // A carriage return not followed by a line feed is an ordinary character.
    EXPECT_EQ(readText("h\n1 2\r3 4\n", 1, 3)[0], (std::vector<int32_t>{1, 2, 4}));
}

TEST(ReadDataFile, NulBytesInLinesThatAreReadAreRejectedWithTheirLocus) {
    using namespace std::string_literals;
    struct Case {
        std::string text;
        const char* message;  // nullptr: the file is read
    };
    const Case cases[] = {
        {"h\n1 2\n3\0 4\n"s, "error: readDataFile: NUL byte at loci# 2.\n"},
        {"h\n1 2\0\n3 4\n"s, "error: readDataFile: NUL byte at loci# 1.\n"},   // in the last field
        {"h\n1 2 \0\n3 4\n"s, "error: readDataFile: NUL byte at loci# 1.\n"},  // in an extra field
        {"he\0ader\n1 2\n3 4\n"s, "error: readDataFile: NUL byte in the header line.\n"},
        // Lines after the last locus are never read.
        {"h\n1 2\n3 4\n\0\n"s, nullptr},
    };
    for (const Case& c : cases) {
        ChildResult r = readInChild(c.text, 2, 2);
        EXPECT_EQ(r.exitStatus, c.message ? 1 : 0) << r.out;
        EXPECT_EQ(r.out, c.message ? c.message : "");
    }
}

TEST(ScanDataFile, ListsTheProblemOfEveryLocusAndStopsWhereTheFileEnds) {
    TempDir dir;
    const std::string path = dir.write("data.txt", "h\n1 2\n1 2 3 4 5\n1 2 3\n");
    // Loci far beyond the file: the scan ends at the first locus past its end.
    const DataFileScan scan = scanDataFile(path.c_str(), INT32_MAX, 5, false);
    ASSERT_EQ(scan.faults.size(), 3u);
    const int loci[] = {1, 3, 4};
    const std::size_t read[] = {2, 3, 0};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(scan.faults[i].kind, DataFileFault::tooFewValues);
        EXPECT_EQ(scan.faults[i].locus, loci[i]);
        EXPECT_EQ(scan.faults[i].valuesRead, read[i]);
        EXPECT_EQ(scan.faults[i].pastEnd, i == 2);
    }
    EXPECT_EQ(scan.faults[0].message, "error: readDataFile: 2 values (of 5) read for loci# 1.\n");
    // Stopping at the first gives readDataFile's problem alone.
    EXPECT_EQ(scanDataFile(path.c_str(), 3, 5, true).faults.size(), 1u);
    const DataFileScan missing = scanDataFile(dir.file("none.txt").c_str(), 1, 5, false);
    ASSERT_EQ(missing.faults.size(), 1u);
    EXPECT_EQ(missing.faults[0].kind, DataFileFault::cannotOpen);
}

TEST(ScanDataFile, HeaderNamesItsLinesOnlyByRangeNameOrCount) {
    struct Case {
        const char* header;
        int sue, tha;  // -1: not named
    };
    const Case cases[] = {
        {"locus sue1..sue20 tha1..tha30", 20, 30},
        {"locus sue1 sue2 tha1 tha2 tha3", 2, 3},
        {"Locus SUE1..20, THA5..THA9", 20, 5},
        {"pseudo-observed data of foundabc --seed 3 --at My=0.1,PopSizeOriSue=5: per locus 7 "
         "sue then 4 tha values",
         7, 4},
        {"observed alleles: sue lines then tha lines", -1, -1},
        {"sue sue tha tha tha", -1, -1},
        {"sue1..sue0 tha1..sue4 sue2x", -1, -1},
        {"only sue1..sue3", 3, -1},
    };
    for (const Case& c : cases) {
        int sue = 0, tha = 0;
        namedLines(c.header, sue, tha);
        EXPECT_EQ(sue, c.sue) << c.header;
        EXPECT_EQ(tha, c.tha) << c.header;
    }
}

TEST(ReadDataFile, ExtraLinesAndFieldsAreIgnoredAndCountedForTheNote) {
    struct Case {
        const char* text;
        int loci;
        std::vector<int32_t> last;  // the last locus read
        const char* note;           // "" when nothing is ignored
    };
    const Case cases[] = {
        {"h\n1 2\n", 1, {1, 2}, ""},
        {"h\n1 2  \n \t\n", 1, {1, 2}, ""},  // trailing blanks and a blank line
        {"h sue1 tha1\n1 2\n3 4\n\n -9 5\nnote\n",
         1,
         {1, 2},
         ": 3 lines after the last locus (NUMBER_OF_LOCI 1) are ignored\n"},
        {"h\n1 2 3\n4 5  6   7\n",
         2,
         {4, 5},
         ": 3 fields after the 2 values of 2 locus lines are ignored\n"},
        {"h\n1 2 x\n3 4\n",
         1,
         {1, 2},
         ": 1 line after the last locus (NUMBER_OF_LOCI 1), and 1 field after the 2 values of 1 "
         "locus line are ignored\n"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const std::string path = dir.write("d.txt", c.text);
        std::string note = "unset";
        const AlleleMatrix m = readDataFile(path.c_str(), c.loci, 1, 1, &note);
        EXPECT_EQ(m.back(), c.last) << c.text;
        EXPECT_EQ(note, c.note == std::string() ? "" : "note: " + path + c.note) << c.text;
    }
}
