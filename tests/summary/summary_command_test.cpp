#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>

#include "io/ParameterFile.h"
#include "io/ResultsFile.h"
#include "plot/Plot.h"
#include "sim/Columns.h"
#include "sim/PriorBounds.h"
#include "summary/Command.h"
#include "support/ChildProcess.h"
#include "support/ParamsFileText.h"
#include "support/ResultsText.h"

namespace {

// Row i (1..n) holds i times these; DS is i / 100.
const std::array<double, 7> scale = {1e-4, 10, 100, 1000, 10, 100, 0.25};

struct Outcome {
    int status;
    std::string out, err;
};

Outcome summarise(SummaryOptions options) {
    std::ostringstream out, err;
    int status = runSummary(options, out, err);
    return {status, out.str(), err.str()};
}

SummaryOptions optionsFor(const std::string& path) {
    SummaryOptions options;
    options.resultsPath = path;
    return options;
}

// The value of `column` in the TSV line of the row named `name`.
std::string tsvCell(const std::string& tsv, const std::string& name, std::size_t column) {
    std::istringstream lines(tsv);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind(name + "\t", 0) != 0) continue;
        std::istringstream cells(line);
        std::string cell;
        for (std::size_t j = 0; j <= column; ++j) std::getline(cells, cell, '\t');
        return cell;
    }
    return "";
}

}  // namespace

TEST(SummaryCommand, TsvHoldsTheExactStatisticsOfEachColumn) {
    TempDir dir;
    SummaryOptions options = optionsFor(dir.write("results.txt", resultsRun(4, scale)));
    options.tsv = true;
    Outcome r = summarise(options);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    std::istringstream lines(r.out);
    std::string header, my;
    std::getline(lines, header);
    std::getline(lines, my);
    EXPECT_EQ(header, "column\tn\tmean\tsd\tq2.5\tq25\tmedian\tq75\tq97.5\tmode");
    // 1..4 (times 1e-4): sd sqrt(5/3); quantiles 1 + 3p; the density of four
    // evenly spaced values peaks in their middle.
    EXPECT_EQ(my, "My\t4\t0.00025\t0.000129099445\t0.0001075\t0.000175\t0.00025\t0.000325\t"
              "0.0003925\t0.00025");
    EXPECT_EQ(tsvCell(r.out, "FracSueMono", 6), "0.625");
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 8);
}

// The rows of runs that drew GsmP have it summarised last, with its prior
// from the parameter file's GSM keys; rows of a run without it leave it out.
TEST(SummaryCommand, RunsThatDrewGsmPHaveItSummarisedLast) {
    TempDir dir;
    std::string gsm;
    for (int i = 1; i <= 4; ++i) {
        const double p = 0.1 * i;
        gsm += formatResultsRow(1e-3, 50, 1e3, 2e4, 30, 400, 0.75, 0.01 * i, i, &p);
    }
    SummaryOptions options = optionsFor(dir.write("results.txt", resultsRun(3, scale) + gsm));
    options.tsv = true;
    for (const auto& [runs, gsmPLine] :
         {std::pair{RunChoice{}, true}, std::pair{RunChoice{RunChoice::all, 0}, false}}) {
        options.runs = runs;
        const Outcome r = summarise(options);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out.find("\nGsmP\t") != std::string::npos, gsmPLine) << r.out;
        EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), gsmPLine ? 9 : 8);
    }
    options.runs = RunChoice{};
    EXPECT_EQ(tsvCell(summarise(options).out, "GsmP", 6), "0.25");
    for (const auto& [params, known] :
         {std::pair{ParamsFileText().set("GSM_P_LOWER", "0.1").set("GSM_P_UPPER", "0.5"), true},
          std::pair{ParamsFileText(), false},
          std::pair{ParamsFileText().set("GSM_P_LOWER", "0.2").set("GSM_P_UPPER", "0.2"), false}}) {
        const PriorSettings priors = readPriorSettings(dir.write("p.txt", params.str()));
        ASSERT_EQ(priors.error, "");
        EXPECT_EQ(priors.gsmP.known, known);
        EXPECT_EQ(priors.gsmP.upper, known ? 0.5 : 0.0);
    }
}

TEST(SummaryCommand, TextTableIsAlignedAndNamesTheRun) {
    TempDir dir;
    Outcome r = summarise(optionsFor(dir.write("results.txt", resultsRun(4, scale))));
    ASSERT_EQ(r.status, 0) << r.err;
    std::istringstream lines(r.out);
    std::string first, blank, header, row;
    std::getline(lines, first);
    std::getline(lines, blank);
    std::getline(lines, header);
    EXPECT_EQ(first, dir.file("results.txt") + ": run 1 of 1, 4 rows");
    EXPECT_EQ(blank, "");
    EXPECT_EQ(header.rfind("Column", 0), 0u);
    std::size_t width = header.size();
    int rows = 0;
    while (std::getline(lines, row)) {
        ++rows;
        EXPECT_EQ(row.size(), width) << row;
    }
    EXPECT_EQ(rows, 7);
    EXPECT_NE(r.out.find("TimeToOri      4       25      12.91"), std::string::npos) << r.out;
}

TEST(SummaryCommand, ChoosesTheLastRunTheKthOrAll) {
    TempDir dir;
    std::string path = dir.write("results.txt", resultsRun(3, scale) + resultsRun(5, scale));
    SummaryOptions options = optionsFor(path);
    options.tsv = true;
    EXPECT_EQ(tsvCell(summarise(options).out, "My", 1), "5");
    options.runs = {RunChoice::numbered, 1};
    EXPECT_EQ(tsvCell(summarise(options).out, "My", 1), "3");
    options.runs = {RunChoice::all, 0};
    Outcome all = summarise(options);
    EXPECT_EQ(tsvCell(all.out, "My", 1), "8");
    // Mean of 1, 2, 3, 1, ..., 5 times 10.
    EXPECT_EQ(tsvCell(all.out, "TimeToOri", 2), "26.25");

    options.runs = {RunChoice::numbered, 3};
    Outcome missing = summarise(options);
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, "");
    EXPECT_NE(missing.err.find("run 3 asked for, but the file holds 2 runs"), std::string::npos)
        << missing.err;
}

TEST(SummaryCommand, KernelWeightsOnDistance) {
    TempDir dir;
    SummaryOptions options = optionsFor(dir.write("results.txt", resultsRun(4, scale)));
    options.tsv = true;
    options.weighted = true;
    // Default h = largest DS = 0.04: weights 15/16, 3/4, 7/16 and 0 for the last row.
    Outcome byDefault = summarise(options);
    ASSERT_EQ(byDefault.status, 0) << byDefault.err;
    EXPECT_EQ(byDefault.out.substr(0, byDefault.out.find('\n')),
              "column\tn\tess\tmean\tsd\tq2.5\tq25\tmedian\tq75\tq97.5\tmode");
    EXPECT_EQ(tsvCell(byDefault.out, "TimeToOri", 1), "3");
    EXPECT_EQ(tsvCell(byDefault.out, "TimeToOri", 3), "17.6470588");  // 37.5 / 2.125
    // h = 0.08: weights 63, 60, 55, 48 (over 64), so every row counts.
    options.bandwidth = 0.08;
    Outcome wide = summarise(options);
    EXPECT_EQ(tsvCell(wide.out, "TimeToOri", 1), "4");
    EXPECT_EQ(tsvCell(wide.out, "TimeToOri", 3), "23.8938053");  // 5400 / 226
    options.tsv = false;
    EXPECT_NE(summarise(options).out.find("weights: Epanechnikov kernel on DS, h = 0.08; 0 of 4"),
              std::string::npos);

    // One row: the default bandwidth is its own distance, which leaves no weight.
    options = optionsFor(dir.write("one.txt", resultsRun(1, scale)));
    options.weighted = true;
    Outcome single = summarise(options);
    EXPECT_EQ(single.status, 1);
    EXPECT_NE(single.err.find("every weight is 0; give a larger --bandwidth"), std::string::npos)
        << single.err;
}

TEST(SummaryCommand, WarnsAboutSkippedRowsAndFailsOnUnusableFiles) {
    TempDir dir;
    std::string cut = resultsRun(3, scale) + resultsRow(4, scale, 0.2).substr(0, 30) + "\n";
    Outcome r = summarise(optionsFor(dir.write("cut.txt", cut)));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "foundabc-summary: warning: " + dir.file("cut.txt") +
                         ":6: row has 3 of 9 fields (cut short?); row skipped\n");
    EXPECT_NE(r.out.find("run 1 of 1, 3 rows"), std::string::npos);
    // The parameter file of another run: its priors do not hold the rows
    // (row 3's My is 3e-4; rows at the bound, to the file's rounding, pass).
    SummaryOptions other = optionsFor(dir.write("three.txt", resultsRun(3, scale)));
    for (const auto& [upper, warning] :
         std::vector<std::pair<std::string, std::string>>{
             {"0.000299", ""},
             {"0.00029", "1 of 3 rows of " + other.resultsPath +
                             " have My outside its prior in " + dir.file("other.txt") +
                             " (0.0001 to 0.00029): is it the parameter file of this run?\n"}}) {
        ParamsFileText params;
        params.set("MY_UPPER", upper).set("POPSIZE_ORIGIN_THA_UPPER", "300");
        params.set("POPSIZE_PRESENT_THA_UPPER", "3000").set("POPSIZE_ORIGIN_SUE_UPPER", "30");
        other.paramsPath = dir.write("other.txt", params.str());
        Outcome checked = summarise(other);
        EXPECT_EQ(checked.status, 0);
        EXPECT_EQ(checked.err, warning.empty() ? "" : "foundabc-summary: warning: " + warning);
    }

    struct Case {
        std::string name, content, message;
    };
    std::string header = resultsHeader();
    for (const Case& c :
         std::vector<Case>{{"empty.txt", "", "no header and no rows (empty results file)"},
                           {"headeronly.txt", header + "\n", "no rows to summarise in run 1 of 1"},
                           {"badheader.txt", "Rep# My DS\n\n" + resultsRow(1, scale, 0.1),
                            "line 1: malformed header"},
                           {"noheader.txt", resultsRow(1, scale, 0.1), "line 1: no header line"}}) {
        Outcome bad = summarise(optionsFor(dir.write(c.name, c.content)));
        EXPECT_EQ(bad.status, 1) << c.name;
        EXPECT_EQ(bad.out, "") << c.name;
        EXPECT_EQ(bad.err.rfind("foundabc-summary: " + dir.file(c.name) + ": " + c.message, 0), 0u)
            << bad.err;
    }
    Outcome missing = summarise(optionsFor(dir.file("nowhere.txt")));
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "foundabc-summary: cannot open results file '" +
                               dir.file("nowhere.txt") + "': No such file or directory\n");

    // A device without line ends is refused after one bounded line, a folder
    // as unreadable.
    Outcome zeros = summarise(optionsFor("/dev/zero"));
    EXPECT_EQ(zeros.status, 1);
    EXPECT_EQ(zeros.err,
              "foundabc-summary: /dev/zero: line 1 is longer than 4096 bytes; this is not a "
              "results file\n");
    Outcome folder = summarise(optionsFor(dir.path()));
    EXPECT_EQ(folder.status, 1);
    EXPECT_EQ(folder.err, "foundabc-summary: " + dir.path() + ": is a directory\n");
}

TEST(SummaryCommand, PlotScriptMarksMedianAndIntervalAndLogScalesWideColumns) {
    TempDir dir;
    // My spreads over three orders of magnitude, TimeToOri over one.
    std::string text = resultsHeader();
    for (int i = 1; i <= 9; ++i) {
        std::array<double, 7> v = {1e-6 * (i == 9 ? 1000 : i), 10.0 * i, 1, 1, 1, 1, 0.5};
        text += resultsRow(i, v, 0.01 * i);
    }
    SummaryOptions options = optionsFor(dir.write("results.txt", text));
    options.tsv = true;
    Outcome table = summarise(options);
    ASSERT_EQ(table.status, 0);
    std::ifstream in(options.resultsPath);
    ResultsFile file = parseResults(in);
    std::vector<double> ones(9, 1.0);
    auto summaries = summariseColumns(file.runs[0].rows, ones);
    std::string script = plotScript(summaries, "it's.png", "title");

    EXPECT_NE(script.find("set output 'it''s.png'"), std::string::npos);
    // A long label keeps its unit on a line of its own.
    EXPECT_NE(script.find("set title 'My'\nset xlabel 'mutation rate'.\"\\n\".'(per locus and "
                          "generation, log scale)'\nset logscale x\n"),
              std::string::npos);
    EXPECT_NE(script.find("set title 'TimeToOri'\nset xlabel 'time since sue was founded "
                          "(generations)'\nunset logscale x\n"),
              std::string::npos);
    EXPECT_NE(script.find("set ylabel 'share of rows'"), std::string::npos);
    EXPECT_NE(script.find("keyentry with lines lw 4 lc rgb '#c00000' title 'median'"),
              std::string::npos);
    EXPECT_EQ(script.find("$prior"), std::string::npos);  // no prior known
    EXPECT_NE(script.find("set arrow 1 from first 50, graph 0 to first 50, graph 1"),
              std::string::npos);  // the median of TimeToOri
    std::size_t panels = 0;
    for (std::size_t at = script.find("\nplot $bars"); at != std::string::npos;
         at = script.find("\nplot $bars", at + 1))
        ++panels;
    EXPECT_EQ(panels, 7u);
}

TEST(SummaryCommand, PictureWithoutGnuplotStillPrintsTheTable) {
    TempDir dir;
    SummaryOptions options = optionsFor(dir.write("results.txt", resultsRun(20, scale)));
    options.plotPath = dir.file("posterior.png");
    options.gnuplotProgram = "no-such-gnuplot-program";
    Outcome r = summarise(options);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("FracSueMono"), std::string::npos);
    EXPECT_NE(r.err.find("gnuplot not found, so no picture was drawn"), std::string::npos);
    EXPECT_FALSE(dir.exists("posterior.png"));
}

TEST(SummaryCommand, DrawsAPngWithGnuplot) {
    if (system("command -v gnuplot >/dev/null 2>&1") != 0) GTEST_SKIP() << "gnuplot not installed";
    TempDir dir;
    SummaryOptions options = optionsFor(dir.write("results.txt", resultsRun(50, scale)));
    options.plotPath = dir.file("posterior.png");
    Outcome r = summarise(options);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(dir.read("posterior.png").substr(0, 8), "\x89PNG\r\n\x1a\n");

    // A folder that takes no picture is found before the table is printed.
    options.plotPath = dir.file("no/such/folder/posterior.png");
    Outcome failed = summarise(options);
    EXPECT_EQ(failed.status, 1);
    EXPECT_EQ(failed.out, "");
    EXPECT_NE(failed.err.find("cannot write the picture"), std::string::npos);
}

TEST(SummaryProgram, OptionsHelpVersionAndExitStatus) {
    TempDir dir;
    std::string path = dir.write("results.txt", resultsRun(3, scale) + resultsRun(4, scale));
    ChildResult help = runProgram({FOUNDABC_SUMMARY_BIN, "--help"});
    EXPECT_EQ(help.exitStatus, 0);
    for (const char* option : {"--run", "--all", "--weighted", "--bandwidth", "--tsv", "--plot",
                               "--version", "RESULTS_FILE"})
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    // The three programs, and every command of the summary, print one version.
    const std::vector<std::vector<std::string>> versionCalls = {
        {FOUNDABC_SUMMARY_BIN, "--version"}, {FOUNDABC_SUMMARY_BIN, "--table", "t", "--version"},
        {FOUNDABC_BIN, "--version"}, {FOUNDABC_IMPORT_BIN, "--version"}};
    for (const auto& call : versionCalls) {
        ChildResult version = runProgram(call);
        EXPECT_EQ(version.exitStatus, 0) << call[0];
        const std::string name = call[0].substr(call[0].rfind('/') + 1);
        EXPECT_EQ(version.out, name + " " + foundabcVersion + "\n");
    }
    // Every help, a command's without its file too, explains its options in
    // lines of at most 80 columns (the man pages are made from them).
    const std::vector<std::vector<std::string>> helpCalls = {
        {FOUNDABC_SUMMARY_BIN, "--help"},          {FOUNDABC_SUMMARY_BIN, "--table", "--help"},
        {FOUNDABC_SUMMARY_BIN, "--choose", "--help"}, {FOUNDABC_SUMMARY_BIN, "--ppc", "-h"},
        {FOUNDABC_BIN, "--help"},                  {FOUNDABC_IMPORT_BIN, "--help"}};
    for (const auto& call : helpCalls) {
        ChildResult commandHelp = runProgram(call);
        EXPECT_EQ(commandHelp.exitStatus, 0) << call[1];
        EXPECT_NE(commandHelp.out.find(call.size() == 3 ? call[1] : "--version"),
                  std::string::npos)
            << call[1];
        std::istringstream lines(commandHelp.out);
        for (std::string line; std::getline(lines, line);)
            EXPECT_LE(line.size(), 80u) << call[0] << " " << call[1] << ": " << line;
    }

    ChildResult second = runProgram({FOUNDABC_SUMMARY_BIN, "--run", "1", "--tsv", path});
    EXPECT_EQ(second.exitStatus, 0);
    EXPECT_EQ(tsvCell(second.out, "My", 1), "3");
    EXPECT_NE(runProgram({FOUNDABC_SUMMARY_BIN, "--run", "1", "--all", path}).exitStatus, 0);
    EXPECT_NE(runProgram({FOUNDABC_SUMMARY_BIN, "--bandwidth", "0.1", path}).exitStatus, 0);
    EXPECT_NE(runProgram({FOUNDABC_SUMMARY_BIN, "--run", "0", path}).exitStatus, 0);
    EXPECT_EQ(runProgram({FOUNDABC_SUMMARY_BIN, dir.file("missing.txt")}).exitStatus, 1);
}

TEST(SummaryCommand, RowsAtTheEndsOfTheDoublesAreSummarised) {
    TempDir dir;
    std::string text = resultsHeader();
    for (int i = 1; i <= 4; ++i) {
        const double sign = i % 2 ? 1.0 : -1.0;
        text += resultsRow(i, {5.35e-311 * i, sign * 1.7e308, 1.7e308, 1, 2, 3, 0.5}, 0.1);
    }
    SummaryOptions options = optionsFor(dir.write("results.txt", text));
    options.tsv = true;
    Outcome r = summarise(options);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(tsvCell(r.out, "My", 2), "1.33625e-310");
    EXPECT_EQ(tsvCell(r.out, "TimeToOri", 2), "0");
    EXPECT_EQ(tsvCell(r.out, "TimeToOri", 3), "inf");  // a spread beyond the largest double
    EXPECT_EQ(tsvCell(r.out, "TimeToOri", 4), "-1.7e+308");
    EXPECT_EQ(tsvCell(r.out, "PopSizeOriTha", 2), "1.7e+308");
    EXPECT_EQ(tsvCell(r.out, "PopSizeOriTha", 3), "0");
}

TEST(SummaryProgram, EveryOptionErrorIsClearWithStatusOne) {
    TempDir dir;
    const std::string path = dir.write("results.txt", resultsRun(3, scale) + resultsRun(4, scale));
    struct Case {
        std::vector<std::string> args;
        std::string message;  // part of standard error
    };
    const std::string runWanted = "a run number is a whole number from 1 up";
    const std::string bandwidthWanted = "the bandwidth must be a finite number above 0";
    const std::vector<Case> cases = {
        {{"--run", "0", path}, "--run 0: " + runWanted},
        {{"--run", "99999999999999999999999", path},
         "--run 99999999999999999999999: no file holds that many runs"},
        {{"--run", "-1", path}, runWanted},
        {{"--run", "2x", path}, "--run 2x: " + runWanted},
        {{"--run", "3", path}, "run 3 asked for, but the file holds 2 runs"},
        {{"--run", "1", "--all", path}, "excludes"},
        {{"--weighted", "--bandwidth", "nan", path}, "--bandwidth nan: " + bandwidthWanted},
        {{"--weighted", "--bandwidth", "inf", path}, bandwidthWanted},
        {{"--weighted", "--bandwidth", "0", path}, bandwidthWanted},
        {{"--weighted", "--bandwidth", "-0.5", path}, bandwidthWanted},
        {{"--weighted", "--bandwidth", "0x1p3", path}, bandwidthWanted},
        {{"--weighted", "--bandwidth", "1e999", path}, bandwidthWanted},
        {{"--bandwidth", "0.1", path}, "requires --weighted"},
        {{"--no-such-option", path}, "--no-such-option"},
        // A slip of the keyboard names the option meant, in every command.
        {{"--rnu", "2", path}, "unknown option '--rnu'; did you mean --run?\n"},
        {{"--tabel", path}, "unknown option '--tabel'; did you mean --table?\n"},
        {{"--table", path, "--methd", "forest"},
         "unknown option '--methd'; did you mean --method?"},
        {{"--choose", path, path, "--sed", "3"}, "unknown option '--sed'; did you mean --seed?"},
        {{"--ppc", path, "--plt", "p.png"}, "unknown option '--plt'; did you mean --plot?"},
        {{"--table", path, "--trees", "3", "--trees", "5"},
         "--trees is given 2 times (3, 5); give it once\n"},
        {{}, "RESULTS_FILE is required"},
        {{"--plot", dir.file("posterior.jpg"), path}, "must end in .png, .svg or .pdf"},
        {{"--plot", dir.file("png"), path}, "must end in .png, .svg or .pdf"},
        {{"--params", dir.file("missing.txt"), path}, "cannot open parameter file"},
        {{dir.file("missing.txt")}, "cannot open results file"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> argv = {FOUNDABC_SUMMARY_BIN};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        ChildResult r = runProgram(argv, "", dir.file("err.txt"));
        const std::string err = dir.read("err.txt");
        EXPECT_EQ(r.exitStatus, 1) << c.message << ": " << err;
        EXPECT_EQ(r.out, "") << c.message;
        EXPECT_NE(err.find(c.message), std::string::npos) << err;
        EXPECT_EQ(err.rfind("foundabc-summary: ", 0), 0u) << err;
        EXPECT_LT(err.size(), 400u) << err;  // a message, not a 300-digit range
    }
    EXPECT_FALSE(dir.exists("posterior.jpg"));
    ChildResult ok = runProgram(
        {FOUNDABC_SUMMARY_BIN, "--weighted", "--bandwidth", "2.5e-1", "--run", "2", "--tsv", path});
    EXPECT_EQ(ok.exitStatus, 0);
    EXPECT_EQ(tsvCell(ok.out, "My", 1), "4");
}

TEST(SummaryCommand, RowsTableHoldsTheChosenRowsWithTheirRun) {
    TempDir dir;
    // Two runs; the first was killed inside its third row, and the second
    // run ended that row with a line end before its own header.
    const std::string cut = resultsRow(3, {3e-4, 30, 300, 3000, 30, 300, 0.75}, 0.03);
    const std::string text =
        resultsRun(2, scale) + cut.substr(0, cut.size() - 10) + "\n" + resultsRun(3, scale);
    const std::string path = dir.write("results.txt", text);
    struct Case {
        RunChoice runs;
        std::vector<std::string> lines;  // after the header
        bool warned;
    };
    const std::string header =
        "run\trep\tMy\tTimeToOri\tPopSizeOriTha\tPopSizePreTha\tPopSizeOriSue\tPopSizePreSue\t"
        "FracSueMono\tDS";
    const std::vector<Case> cases = {
        {{RunChoice::last, 0},
         {"2\t1\t0.0001\t10\t100\t1000\t10\t100\t0.25\t0.01",
          "2\t2\t0.0002\t20\t200\t2000\t20\t200\t0.5\t0.02",
          "2\t3\t0.0003\t30\t300\t3000\t30\t300\t0.75\t0.03"},
         false},
        {{RunChoice::numbered, 1},
         {"1\t1\t0.0001\t10\t100\t1000\t10\t100\t0.25\t0.01",
          "1\t2\t0.0002\t20\t200\t2000\t20\t200\t0.5\t0.02"},
         true},
    };
    for (const Case& c : cases) {
        SummaryOptions options = optionsFor(path);
        options.runs = c.runs;
        options.rowsPath = dir.file("rows.tsv");
        Outcome r = summarise(options);
        ASSERT_EQ(r.status, 0) << r.err;
        std::string expected = header + "\n";
        for (const std::string& line : c.lines) expected += line + "\n";
        EXPECT_EQ(dir.read("rows.tsv"), expected);
        EXPECT_EQ(r.err.find("row cut short: 119 of its 128 characters; row skipped") !=
                      std::string::npos,
                  c.warned)
            << r.err;
        EXPECT_NE(r.out.find("Column"), std::string::npos);  // the summary as usual
    }
    SummaryOptions all = optionsFor(path);
    all.runs = {RunChoice::all, 0};
    all.rowsPath = dir.file("all.tsv");
    ASSERT_EQ(summarise(all).status, 0);
    const std::string rows = dir.read("all.tsv");
    EXPECT_EQ(std::count(rows.begin(), rows.end(), '\n'), 6);
    EXPECT_EQ(rows.find(" "), std::string::npos);  // no padding anywhere

    // An output named like an input would destroy it: refused, input kept.
    for (const std::string& clash : {path, std::string(dir.path()) + "/./results.txt"}) {
        SummaryOptions same = optionsFor(path);
        same.rowsPath = clash;
        Outcome refused = summarise(same);
        EXPECT_EQ(refused.status, 1);
        EXPECT_NE(refused.err.find("is the input file"), std::string::npos) << refused.err;
        same.rowsPath.clear();
        same.plotPath = dir.file("results.png");
        same.paramsPath = same.plotPath;
        dir.write("results.png", "not a parameter file");
        EXPECT_NE(summarise(same).err.find("--plot '" + same.plotPath + "' is the input file"),
                  std::string::npos);
    }
    EXPECT_EQ(dir.read("results.txt"), text);

    // An output that cannot be written, or that is the other output: status
    // 1 before anything is printed, no file (gnuplot or not).
    struct Nowhere {
        std::string rows, plot, message;
    };
    for (const Nowhere& c : std::vector<Nowhere>{
             {dir.file("no/such/folder/rows.tsv"), "", "cannot write the table of rows"},
             {"", dir.file("no/such/folder/p.png"), "cannot write the picture"},
             {"", dir.file("d.png"), ""},
             {dir.file("r.png"), dir.file("r.png"),
              "--plot '" + dir.file("r.png") + "' is the output of --rows"}}) {
        SummaryOptions nowhere = optionsFor(path);
        nowhere.rowsPath = c.rows;
        nowhere.plotPath = c.plot;
        if (c.message.empty()) {
            ASSERT_EQ(mkdir(c.plot.c_str(), 0700), 0);
        }
        Outcome failed = summarise(nowhere);
        EXPECT_EQ(failed.status, 1) << c.message;
        EXPECT_EQ(failed.out, "") << c.message;
        EXPECT_NE(failed.err.find(c.message.empty() ? "it is a directory" : c.message),
                  std::string::npos)
            << failed.err;
        EXPECT_FALSE(dir.exists("r.png"));
    }
}

TEST(SummaryCommand, PictureFormatFollowsTheExtensionAndAFailureLeavesNoFile) {
    if (system("command -v gnuplot >/dev/null 2>&1") != 0) GTEST_SKIP() << "gnuplot not installed";
    TempDir dir;
    SummaryOptions options = optionsFor(dir.write("results.txt", resultsRun(30, scale)));
    struct Case {
        const char* name;
        std::string magic;  // the format's first bytes
    };
    for (const Case& c : std::vector<Case>{{"posterior.png", "\x89PNG\r\n\x1a\n"},
                                           {"posterior.PNG", "\x89PNG\r\n\x1a\n"},
                                           {"posterior.svg", "<?xml"},
                                           {"posterior.pdf", "%PDF"}}) {
        options.plotPath = dir.file(c.name);
        Outcome r = summarise(options);
        ASSERT_EQ(r.status, 0) << c.name << ": " << r.err;
        EXPECT_EQ(dir.read(c.name).substr(0, c.magic.size()), c.magic) << c.name;
    }
    // The 95 % interval's lines stay dashed in SVG beside the solid median,
    // across each panel and in the legend.
    const std::string svg = dir.read("posterior.svg");
    EXPECT_NE(svg.find("<svg"), std::string::npos);
    std::size_t dashed = 0;
    for (std::size_t at = svg.find("stroke-dasharray"); at != std::string::npos;
         at = svg.find("stroke-dasharray", at + 1))
        ++dashed;
    EXPECT_GE(dashed, numbParamColumns + 1);

    // A gnuplot that writes part of the picture and fails: the earlier
    // picture of that name stays, and no temporary file is left.
    const std::string before = dir.read("posterior.png");
    const std::string fake =
        dir.write("fake-gnuplot",
                  "#!/bin/sh\nout=$(sed -n \"s/^set output '\\(.*\\)'$/\\1/p\" \"$1\")\n"
                  "printf partial > \"$out\"\nexit 1\n");
    chmod(fake.c_str(), 0755);
    options.plotPath = dir.file("posterior.png");
    options.gnuplotProgram = fake;
    Outcome failed = summarise(options);
    EXPECT_EQ(failed.status, 1);
    EXPECT_NE(failed.err.find("gnuplot could not draw the picture"), std::string::npos);
    EXPECT_EQ(dir.read("posterior.png"), before);
    options.plotPath = dir.file("fresh.png");
    EXPECT_EQ(summarise(options).status, 1);
    EXPECT_FALSE(dir.exists("fresh.png"));
    EXPECT_EQ(system(("test -z \"$(ls -A " + dir.path() + " | grep '^\\.')\"").c_str()), 0)
        << "a temporary file was left behind";
}

TEST(SummaryCommand, ParameterFileGivesEachColumnsPriorAndScale) {
    TempDir dir;
    struct Case {
        const char* name;
        ParamsFileText params;
        std::string error;  // part of the error, "" for none
    };
    ParamsFileText logPriors;
    logPriors.set("PRIOR_DISTRIBUTION", "1").set("MY_LOWER", "-4").set("MY_UPPER", "-2");
    logPriors.set("POPSIZE_ORIGIN_THA_LOWER", "2").set("POPSIZE_ORIGIN_THA_UPPER", "3");
    logPriors.set("POPSIZE_PRESENT_THA_LOWER", "3").set("POPSIZE_PRESENT_THA_UPPER", "4");
    logPriors.set("POPSIZE_PRESENT_SUE_LOWER", "15").set("POPSIZE_PRESENT_SUE_UPPER", "25");
    const std::vector<Case> cases = {
        {"linear.txt", ParamsFileText(), ""},
        {"log.txt", logPriors, ""},
        {"missing.txt", ParamsFileText().drop("TIME_TO_ORIGIN_UPPER"),
         "no value for TIME_TO_ORIGIN_UPPER"},
        {"inverted.txt", ParamsFileText().set("MY_LOWER", "0.1"), "MY_LOWER is not below MY_UPPER"},
        {"nodistribution.txt", ParamsFileText().drop("PRIOR_DISTRIBUTION"),
         "no value for PRIOR_DISTRIBUTION"},
        {"hugelog.txt", ParamsFileText().set("PRIOR_DISTRIBUTION", "1"),
         "bounds of POPSIZE_PRESENT_THA are log10 values (PRIOR_DISTRIBUTION 1) beyond"},
    };
    for (const Case& c : cases) {
        PriorSettings priors = readPriorSettings(dir.write(c.name, c.params.str()));
        if (!c.error.empty()) {
            EXPECT_NE(priors.error.find(c.error), std::string::npos) << c.name << priors.error;
            continue;
        }
        ASSERT_EQ(priors.error, "") << c.name;
        const bool log = std::string(c.name) == "log.txt";
        const ColumnPrior& my = priors.columns[0];
        EXPECT_TRUE(my.known);
        EXPECT_EQ(my.logScale, log);
        EXPECT_NEAR(my.lower, log ? 1e-4 : 1e-4, 1e-15);
        EXPECT_NEAR(my.upper, log ? 1e-2 : 0.01, 1e-15);
        EXPECT_TRUE(my.flat);
        // tha's founding size stays below its present size in both files; in
        // the log file sue's founding range (10^10..10^20) reaches into its
        // present range (10^15..10^25), so that prior is not flat.
        EXPECT_TRUE(priors.columns[3].flat) << c.name;
        EXPECT_EQ(priors.columns[5].flat, !log) << c.name;
        EXPECT_FALSE(priors.columns[fracSueMonoColumn].known);
    }
    EXPECT_NE(readPriorSettings(dir.file("none.txt")).error.find("cannot open parameter file"),
              std::string::npos);

    // The scale follows the prior: My's narrow spread is taken on the log
    // scale under a log-uniform prior, a wide one on the linear scale under a
    // uniform prior.
    std::vector<ResultsRow> rows(20);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        rows[i].values = {1e-3 * (1 + 0.05 * i), std::pow(10.0, 0.2 * i), 150, 1500, 15, 500, 1};
        rows[i].ds = 0.1;
    }
    std::vector<double> ones(rows.size(), 1.0);
    auto guessed = summariseColumns(rows, ones);
    EXPECT_FALSE(guessed[0].logScale);
    EXPECT_TRUE(guessed[1].logScale);
    PriorSettings log = readPriorSettings(dir.file("log.txt"));
    PriorSettings linear = readPriorSettings(dir.file("linear.txt"));
    EXPECT_TRUE(summariseColumns(rows, ones, &log.columns)[0].logScale);
    EXPECT_FALSE(summariseColumns(rows, ones, &linear.columns)[1].logScale);

    std::string script = plotScript(summariseColumns(rows, ones, &log.columns), "p.png", "t");
    // The axis spans the prior's bounds and 3 % of its log span beyond
    // each, so that no line lies on the frame; both bounds are labelled.
    double low = 0, high = 0;
    ASSERT_EQ(
        sscanf(script.c_str() + script.find("set xrange ["), "set xrange [%lf:%lf]", &low, &high),
        2);
    EXPECT_NEAR(std::log10(low), -4 - 0.06, 1e-9);
    EXPECT_NEAR(std::log10(high), -2 + 0.06, 1e-9);
    EXPECT_NE(script.find("set xtics ('0.0001' 0.0001, "), std::string::npos);
    EXPECT_NE(script.find(", '0.01' 0.01)"), std::string::npos);
    EXPECT_NE(script.find("$prior1 << EOD\n0.0001 "), std::string::npos);
    EXPECT_NE(script.find("title 'flat prior'"), std::string::npos);
    EXPECT_EQ(script.find("$prior6"), std::string::npos);  // not flat: not drawn
    EXPECT_NE(script.find("set xrange [-0.05:1.05]\nset xtics 0, 0.2, 1"), std::string::npos);
}
