#include <gtest/gtest.h>

#include <sstream>

#include "summary/TableCommand.h"
#include "support/ChildProcess.h"
#include "support/ReferenceTableText.h"

namespace {

struct Outcome {
    int status;
    std::string out, err;
};

Outcome run(const TableOptions& options) {
    std::ostringstream out, err;
    int status = runTableSummary(options, out, err);
    return {status, out.str(), err.str()};
}

bool endsWithGz(const std::string& name) {
    return name.size() > 3 && name.compare(name.size() - 3, 3, ".gz") == 0;
}

// The toy table (n rows) in `dir` under `name`, gzipped when the name ends in
// .gz, with its observed statistics beside it; returns the table's path.
std::string writeToy(const TempDir& dir, const std::string& name, std::size_t n,
                     const std::array<double, 12>& observed) {
    std::string text = tableText(toyRows(n, 7));
    if (endsWithGz(name)) {
        EXPECT_TRUE(writeGzip(dir.file(name), text));
    } else {
        dir.write(name, text);
    }
    dir.write(name.substr(0, name.size() - (endsWithGz(name) ? 3 : 0)) + ".observed.tsv",
              observedText(observed));
    return dir.file(name);
}

TableOptions toyOptions(const std::string& path) {
    TableOptions options;
    options.tablePath = path;
    options.tolerance = 0.05;
    options.stats = {"S_sue", "S_tha", "NAL_sue", "NAL_tha"};
    return options;
}

// The cells of the TSV line of `name`.
std::vector<std::string> tsvLine(const std::string& tsv, const std::string& name) {
    std::istringstream lines(tsv);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind(name + "\t", 0) != 0) continue;
        std::vector<std::string> cells;
        std::istringstream in(line);
        for (std::string cell; std::getline(in, cell, '\t');) cells.push_back(cell);
        return cells;
    }
    return {};
}

}  // namespace

TEST(TableCommand, PrintsTheSummaryTableWithTheMethodInItsHeading) {
    TempDir dir;
    TableOptions options = toyOptions(writeToy(dir, "ref.tsv.gz", 4000, toyObserved));
    Outcome adjusted = run(options);
    ASSERT_EQ(adjusted.status, 0) << adjusted.err;
    EXPECT_EQ(adjusted.err,
              "foundabc-summary: warning: parameter TimeToOri has values <= 0 among "
              "the accepted simulations, so it is adjusted on its own scale rather "
              "than the log scale\n");
    for (std::string part : {": 4000 simulations, 200 accepted (tolerance 0.05, distance <= ",
                             "\nstatistics (scaled by their median absolute deviation): S_sue "
                             "S_tha NAL_sue NAL_tha\nmethod: local-linear regression adjustment, "
                             "Epanechnikov weights 1 - (d/h)^2, h = ",
                             "\nadjusted on the log scale: My PopSizeOriTha PopSizePreTha "
                             "PopSizeOriSue PopSizePreSue; on their own scale: TimeToOri; not "
                             "adjusted: FracSueMono\n\nColumn           N    ESS    Mean"})
        EXPECT_NE(adjusted.out.find(part), std::string::npos) << part << "\n" << adjusted.out;

    options.tsv = true;
    Outcome adjustedTsv = run(options);
    options.adjust = false;
    Outcome rejection = run(options);
    EXPECT_EQ(rejection.err, "");  // nothing is adjusted, so nothing goes to a log scale
    EXPECT_EQ(rejection.out.substr(0, rejection.out.find('\n')),
              "column\tn\tess\tmean\tsd\tq2.5\tmedian\tq97.5\tmode");
    // One row sits at the cut-off and has weight 0; adjusting moves the values.
    EXPECT_EQ(tsvLine(adjustedTsv.out, "My")[1], "199");
    EXPECT_NE(tsvLine(adjustedTsv.out, "My")[3], tsvLine(rejection.out, "My")[3]);
    EXPECT_EQ(tsvLine(adjustedTsv.out, "FracSueMono"), tsvLine(rejection.out, "FracSueMono"));
}

TEST(TableCommand, BadInputGetsAMessageAndStatusOne) {
    TempDir dir;
    writeToy(dir, "ref.tsv", 1000, toyObserved);
    std::array<double, 12> allNaN;
    allNaN.fill(std::nan(""));
    writeToy(dir, "nan.tsv", 50, allNaN);
    // S_tha a copy of S_sue: the regression on both is singular.
    std::vector<TableRow> rows = toyRows(500, 2);
    for (TableRow& row : rows) row.stats[1] = row.stats[0];
    dir.write("twin.tsv", tableText(rows));
    dir.write("twin.tsv.observed.tsv", observedText(toyObserved));
    dir.write("lonely.tsv", tableText(rows));
    struct Case {
        std::string table;
        double tolerance;
        std::string stats, message;
    };
    for (const Case& c : std::vector<Case>{
             {"lonely.tsv", 0.1, "",
              "cannot open observed statistics '" + dir.file("lonely.tsv.observed.tsv") +
                  "': No such file or directory (the observed statistics of the table '" +
                  dir.file("lonely.tsv") + "')"},
             {"none.tsv", 0.1, "", "cannot open reference table"},
             {"ref.tsv", 0.1, "S_sue,HET", "unknown statistic 'HET'"},
             {"ref.tsv", 0, "",
              "--tol must lie in (0, 1], the share of simulations to accept; got 0"},
             {"ref.tsv", 1.5, "", "--tol must lie in (0, 1]"},
             {"ref.tsv", std::nan(""), "", "--tol must lie in (0, 1]"},
             {"ref.tsv", 0.004, "S_sue,S_tha,NAL_sue,NAL_tha",
              "too few accepted simulations for the regression: 3 have positive weight, but 5 "
              "coefficients need more than 5; choose fewer or other statistics with --stats"},
             {"ref.tsv", 0.001, "", "all 1 accepted simulations lie at the cut-off distance"},
             {"twin.tsv", 0.2, "S_sue,S_tha", "singular or nearly so"},
             {"nan.tsv", 0.5, "", "no statistic is left to compare"}}) {
        TableOptions options;
        options.tablePath = dir.file(c.table);
        options.tolerance = c.tolerance;
        std::istringstream names(c.stats);
        for (std::string name; std::getline(names, name, ',');) options.stats.push_back(name);
        Outcome r = run(options);
        EXPECT_EQ(r.status, 1) << c.message;
        EXPECT_EQ(r.out, "") << c.message;
        EXPECT_NE(r.err.find("foundabc-summary: "), std::string::npos) << c.message;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
}

TEST(TableCommand, CrossValidationTable) {
    TempDir dir;
    TableOptions options = toyOptions(writeToy(dir, "ref.tsv", 3000, toyObserved));
    options.crossValidations = 30;
    options.seed = 5;
    Outcome text = run(options);
    ASSERT_EQ(text.status, 0) << text.err;
    EXPECT_NE(text.out.find("cross-validation on 30 of 3000 simulations (seed 5), tolerance 0.05"),
              std::string::npos)
        << text.out;
    options.tsv = true;
    Outcome tsv = run(options);
    EXPECT_EQ(tsv.out.substr(0, tsv.out.find('\n')), "parameter\trejection\tloclinear\tverdict");
    EXPECT_EQ(tsvLine(tsv.out, "TimeToOri")[3], "informed by the data");
    EXPECT_EQ(tsvLine(tsv.out, "PopSizePreTha")[3], "not informed by the data");
    EXPECT_EQ(tsvLine(tsv.out, "FracSueMono")[3], "not informed by the data (not adjusted)");
}

TEST(TableCommand, DrawsAdjustedAndRejectionHistogramsTogether) {
    TempDir dir;
    TableOptions options = toyOptions(writeToy(dir, "ref.tsv", 2000, toyObserved));
    // The name chooses the format; no picture under a name of no format.
    options.plotPath = dir.file("abc.jpg");
    EXPECT_EQ(run(options).status, 1);
    EXPECT_FALSE(dir.exists("abc.jpg"));
    options.plotPath = dir.file("abc.png");
    options.gnuplotProgram = "no-such-gnuplot-program";
    Outcome missing = run(options);
    EXPECT_EQ(missing.status, 0);
    EXPECT_NE(missing.err.find("gnuplot not found"), std::string::npos);
    if (system("command -v gnuplot >/dev/null 2>&1") != 0) GTEST_SKIP() << "gnuplot not installed";
    options.gnuplotProgram = "gnuplot";
    Outcome drawn = run(options);
    ASSERT_EQ(drawn.status, 0) << drawn.err;
    EXPECT_EQ(dir.read("abc.png").substr(0, 8), "\x89PNG\r\n\x1a\n");
}

TEST(TableProgram, CommandLine) {
    TempDir dir;
    const std::string toy = writeToy(dir, "ref.tsv", 600, toyObserved);
    ChildResult help = runProgram({FOUNDABC_SUMMARY_BIN, "--table", toy, "--help"});
    EXPECT_EQ(help.exitStatus, 0);
    for (const char* option : {"--tol", "--stats", "--adjust", "--plot", "--tsv", "--cv", "--seed"})
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    EXPECT_NE(runProgram({FOUNDABC_SUMMARY_BIN, "--help"}).out.find("--table FILE --cv N"),
              std::string::npos);
    ChildResult tsv = runProgram({FOUNDABC_SUMMARY_BIN, "--table=" + toy, "--tol", "0.2", "--stats",
                                  "S_sue,NAL_sue", "--adjust", "none", "--tsv"});
    EXPECT_EQ(tsv.exitStatus, 0);
    EXPECT_EQ(tsvLine(tsv.out, "My")[1], "119");  // 120 accepted, one at the cut-off
    ChildResult cv = runProgram({FOUNDABC_SUMMARY_BIN, "--table", toy, "--cv", "5", "--seed", "3",
                                 "--tol", "0.2", "--stats", "S_sue, NAL_sue"});
    EXPECT_EQ(cv.exitStatus, 0);
    EXPECT_NE(cv.out.find("statistics (scaled by their median absolute deviation): S_sue NAL_sue"),
              std::string::npos);

    for (std::vector<std::string> bad :
         std::vector<std::vector<std::string>>{{"--adjust", "quadratic"},
                                               {"--seed", "3"},
                                               {"--cv", "5", "--plot", "x.png"},
                                               {"--cv", "0"},
                                               {"--tol", "0"},
                                               {"--tol", "abc"},
                                               {"--cv", "600"},
                                               {"--stats"}}) {
        bad.insert(bad.begin(), {FOUNDABC_SUMMARY_BIN, "--table", toy});
        EXPECT_EQ(runProgram(bad).exitStatus, 1) << bad.back();
    }
    EXPECT_EQ(runProgram({FOUNDABC_SUMMARY_BIN, "--table"}).exitStatus, 1);
}
