#include <gtest/gtest.h>

#include <sstream>

#include "io/ResultsFile.h"
#include "sim/Columns.h"
#include "support/ResultsText.h"

namespace {

const std::array<double, 7> ones = {1, 1, 1, 1, 1, 1, 0.01};

ResultsFile parse(const std::string& text) {
    std::istringstream in(text);
    return parseResults(in);
}

}  // namespace

TEST(SummaryResultsFile, ReadsRowsAsWrittenByARun) {
    std::string text = resultsHeader() +
                       resultsRow(1, {1.23e-4, 50, 1e3, 2e4, 30, 400, 0.75}, 0.0125) +
                       resultsRow(2, {2e-4, 60, 1e3, 2e4, 30, 400, 0.5}, 0.02);
    ResultsFile file = parse(text);
    ASSERT_TRUE(file.error.empty()) << file.error;
    ASSERT_EQ(file.runs.size(), 1u);
    const ResultsRun& run = file.runs[0];
    EXPECT_EQ(run.headerLine, 1u);
    EXPECT_TRUE(run.skipped.empty());
    ASSERT_EQ(run.rows.size(), 2u);
    EXPECT_EQ(run.rows[0].rep, 1);
    EXPECT_DOUBLE_EQ(run.rows[0].values[0], 1.23e-4);
    EXPECT_DOUBLE_EQ(run.rows[0].values[fracSueMonoColumn], 0.75);
    EXPECT_DOUBLE_EQ(run.rows[0].ds, 1.25e-2);
    EXPECT_DOUBLE_EQ(run.rows[1].values[1], 60);
}

// A run that draws P ends its header and rows in GsmP: every other column
// keeps its place, and the reader takes P from the end.
TEST(SummaryResultsFile, RowsOfARunThatDrawsPEndInGsmP) {
    const double p1 = 0.125, p2 = 0.5;
    const std::string withP = formatResultsRow(1e-3, 50, 1e3, 2e4, 30, 400, 0.75, 0.0125, 1, &p1) +
                              formatResultsRow(2e-3, 60, 1e3, 2e4, 30, 400, 0.5, 0.02, 2, &p2);
    const std::string strict = formatResultsRow(1e-3, 50, 1e3, 2e4, 30, 400, 0.75, 0.0125, 1);
    // The strict row is a prefix of the same row with P, up to its line end.
    const std::string firstRowWithP = withP.substr(withP.find("\n\n") + 2);
    const std::string firstRow = strict.substr(strict.find("\n\n") + 2);
    EXPECT_EQ(firstRowWithP.compare(0, firstRow.size() - 1, firstRow, 0, firstRow.size() - 1), 0);
    EXPECT_NE(withP.find("DS             GsmP           \n"), std::string::npos);

    ResultsFile file = parse(strict + withP + firstRow);
    ASSERT_TRUE(file.error.empty()) << file.error;
    ASSERT_EQ(file.runs.size(), 2u);
    EXPECT_FALSE(file.runs[0].withGsmP);
    ASSERT_TRUE(file.runs[1].withGsmP);
    ASSERT_EQ(file.runs[1].rows.size(), 2u);
    EXPECT_DOUBLE_EQ(file.runs[1].rows[1].gsmP, 0.5);
    EXPECT_DOUBLE_EQ(file.runs[1].rows[1].values[fracSueMonoColumn], 0.5);
    EXPECT_DOUBLE_EQ(file.runs[1].rows[1].ds, 0.02);
    // A row without P in a run with it is cut short.
    ASSERT_EQ(file.runs[1].skipped.size(), 1u);
    EXPECT_EQ(file.runs[1].skipped[0].reason, "row has 9 of 10 fields (cut short?)");
}

TEST(SummaryResultsFile, EveryHeaderOpensARunAndSelectionPicksRuns) {
    ResultsFile file =
        parse(resultsRun(3, ones) + "\n\n" + resultsRun(5, ones) + resultsRun(2, ones));
    ASSERT_TRUE(file.error.empty()) << file.error;
    ASSERT_EQ(file.runs.size(), 3u);
    EXPECT_EQ(file.runs[1].headerLine, 8u);  // 1 + 2 + 3 rows, 2 blank lines

    RowSelection last = selectRows(file, {});
    EXPECT_EQ(last.rows.size(), 2u);
    EXPECT_EQ(last.description, "run 3 of 3");
    RowSelection second = selectRows(file, {RunChoice::numbered, 2});
    EXPECT_EQ(second.rows.size(), 5u);
    EXPECT_EQ(second.description, "run 2 of 3");
    RowSelection all = selectRows(file, {RunChoice::all, 0});
    EXPECT_EQ(all.rows.size(), 10u);
    EXPECT_EQ(all.rows[3].rep, 1);  // file order: run 2 starts after run 1's three rows
    EXPECT_EQ(all.description, "all 3 runs");

    for (std::size_t k : {0u, 4u}) {
        RowSelection bad = selectRows(file, {RunChoice::numbered, k});
        EXPECT_NE(bad.error.find("holds 3 runs"), std::string::npos) << bad.error;
        EXPECT_TRUE(bad.rows.empty());
    }
}

TEST(SummaryResultsFile, RowsCutShortAreSkippedWithTheirLineNumber) {
    std::string row = resultsRow(2, {2e-4, 60, 1e3, 2e4, 30, 400, 0.5}, 0.02);
    std::string text = resultsHeader() + resultsRow(1, {1e-4, 50, 1e3, 2e4, 30, 400, 0.75}, 0.01) +
                       row.substr(0, 40) + "\n" +  // line 4: too few fields
                       "3       1.0e-04        abc            " +
                       row.substr(38) +                  // line 5: not a number
                       "4       nan" + row.substr(11) +  // line 6: not finite
                       "x" + row.substr(1);              // line 7: no row number
    ResultsFile file = parse(text);
    ASSERT_TRUE(file.error.empty()) << file.error;
    const ResultsRun& run = file.runs[0];
    EXPECT_EQ(run.rows.size(), 1u);
    ASSERT_EQ(run.skipped.size(), 4u);
    EXPECT_EQ(run.skipped[0].lineNumber, 4u);
    EXPECT_NE(run.skipped[0].reason.find("fields"), std::string::npos);
    EXPECT_EQ(run.skipped[1].lineNumber, 5u);
    EXPECT_NE(run.skipped[1].reason.find("'abc'"), std::string::npos);
    EXPECT_EQ(run.skipped[2].lineNumber, 6u);
    EXPECT_EQ(run.skipped[3].lineNumber, 7u);
}

TEST(SummaryResultsFile, KilledRowGluedToTheNextHeaderStartsANewRun) {
    // The killed run stopped inside a number, without a line end; the next
    // run's header follows on the same line.
    std::string text = resultsRun(2, ones) + "3       1.2e-04        3.4" + resultsRun(4, ones);
    ResultsFile file = parse(text);
    ASSERT_TRUE(file.error.empty()) << file.error;
    ASSERT_EQ(file.runs.size(), 2u);
    EXPECT_EQ(file.runs[0].rows.size(), 2u);
    ASSERT_EQ(file.runs[0].skipped.size(), 1u);
    EXPECT_EQ(file.runs[0].skipped[0].lineNumber, 5u);
    EXPECT_EQ(file.runs[1].headerLine, 5u);
    EXPECT_EQ(file.runs[1].rows.size(), 4u);
}

TEST(SummaryResultsFile, MalformedHeadersAndMissingRowsAreErrors) {
    std::string header = resultsHeader();
    std::string renamed = header;
    renamed.replace(renamed.find("DS"), 2, "Dx");
    for (const std::string& bad :
         {renamed, header.substr(0, 50) + "\n", resultsRow(1, ones, 0.1),
          std::string("Rep# My TimeToOri PopSizeOriTha PopSizePreTha PopSizeOriSue PopSizePreSue "
                      "FracSueMono DS extra\n")}) {
        ResultsFile file = parse(bad + resultsRow(1, ones, 0.1));
        EXPECT_TRUE(file.runs.empty());
        EXPECT_NE(file.error.find("line 1: "), std::string::npos) << file.error;
        EXPECT_NE(file.error.find("Rep# My TimeToOri"), std::string::npos) << file.error;
    }
    // A bad header after good runs makes the whole file unusable.
    ResultsFile late = parse(resultsRun(2, ones) + renamed);
    EXPECT_NE(late.error.find("line 5: malformed header"), std::string::npos) << late.error;

    for (const std::string& empty : {std::string(""), std::string("\n  \n\t\n")}) {
        RowSelection none = selectRows(parse(empty), {});
        EXPECT_NE(none.error.find("empty results file"), std::string::npos) << none.error;
    }
    RowSelection headerOnly = selectRows(parse(resultsRun(3, ones) + resultsHeader()), {});
    EXPECT_EQ(headerOnly.error, "no rows to summarise in run 2 of 2");
    EXPECT_TRUE(selectRows(parse(resultsRun(3, ones) + resultsHeader()), {RunChoice::numbered, 1})
                    .error.empty());
}

TEST(SummaryResultsFile, OnlyRowsOfFullWidthWithTheirLineEndAreRead) {
    const std::string row = resultsRow(2, {2e-4, 60, 1e3, 2e4, 30, 400, 0.5}, 13.0);
    const std::string noEnd = row.substr(0, row.size() - 1);
    const std::string trimmed = row.substr(0, row.find("1.30e+01") + 8);
    struct Case {
        const char* name;
        std::string line;    // the file's last line(s), after one good row
        const char* reason;  // "" when the row is read
        double ds;           // its DS when read
    };
    std::string subnormal = row;
    subnormal.replace(subnormal.find("2.00e-04"), 9, "5.35e-311");
    std::string nul = row;
    nul[row.find("1.30e+01") + 8] = '\0';
    std::string hex = row;
    hex.replace(hex.find("1.30e+01"), 8, "0x1.ap+3");
    const std::vector<Case> cases = {
        {"whole row", row, "", 13.0},
        {"carriage return before the line end", noEnd + "\r\n", "", 13.0},
        {"subnormal value", subnormal, "", 13.0},
        {"no line end", noEnd, "row cut short: no line end", 0},
        {"cut inside DS, no line end", trimmed.substr(0, trimmed.size() - 1),
         "row cut short: no line end", 0},
        {"cut inside DS, ended by the next run", trimmed.substr(0, trimmed.size() - 1) + "\n",
         "row cut short: 120 of its 128 characters", 0},
        {"cut in DS's padding", trimmed + "   \n", "row cut short: 124 of its 128", 0},
        {"blanks in the wrong columns", " " + row, "not in the fixed columns", 0},
        {"NUL byte after DS", nul, "DS '", 0},
        {"hexadecimal number", hex, "DS '0x1.ap+3' is not a finite number", 0},
        {"overflowing number", row.substr(0, row.find("1.30e+01")) + "1.30e+99999    \n",
         "DS '1.30e+99999' is not a finite number", 0},
    };
    for (const Case& c : cases) {
        ResultsFile file = parse(resultsHeader() + resultsRow(1, ones, 0.5) + c.line);
        ASSERT_TRUE(file.error.empty()) << c.name << ": " << file.error;
        const ResultsRun& run = file.runs.at(0);
        if (*c.reason == '\0') {
            ASSERT_EQ(run.rows.size(), 2u) << c.name;
            EXPECT_EQ(run.rows[1].ds, c.ds) << c.name;
            EXPECT_TRUE(run.skipped.empty()) << c.name << ": " << run.skipped[0].reason;
        } else {
            EXPECT_EQ(run.rows.size(), 1u) << c.name;
            ASSERT_EQ(run.skipped.size(), 1u) << c.name;
            EXPECT_EQ(run.skipped[0].lineNumber, 4u) << c.name;
            EXPECT_NE(run.skipped[0].reason.find(c.reason), std::string::npos)
                << c.name << ": " << run.skipped[0].reason;
        }
    }
    ResultsFile tiny = parse(resultsHeader() + subnormal);
    ASSERT_EQ(tiny.runs.at(0).rows.size(), 1u);
    EXPECT_EQ(tiny.runs[0].rows[0].values[0], 5.35e-311);
}

TEST(SummaryResultsFile, OverlongLineIsAnErrorNotAnEndlessRead) {
    for (const std::string& text :
         {std::string(5000, '\0'), resultsRun(2, ones) + std::string(100000, 'x') + "\n"}) {
        ResultsFile file = parse(text);
        EXPECT_TRUE(file.runs.empty());
        EXPECT_NE(file.error.find("is longer than 4096 bytes; this is not a results file"),
                  std::string::npos)
            << file.error;
    }
    std::string longest = resultsHeader() + std::string(4096, ' ') + "\n";
    EXPECT_TRUE(parse(longest).error.empty());
}
