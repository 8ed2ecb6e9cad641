#include <gtest/gtest.h>
#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <sstream>
#include <thread>
#include <tuple>

#include "abc/PredictiveCheck.h"
#include "plot/AbcPlot.h"
#include "plot/Plot.h"
#include "plot/PlotFormat.h"
#include "sim/Columns.h"
#include "summary/TableCommand.h"
#include "support/ChildProcess.h"
#include "support/ParamsFileText.h"
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
// .gz, with its observed statistics and (unless not `withPriors`) its priors
// beside it; returns the table's path.
std::string writeToy(const TempDir& dir, const std::string& name, std::size_t n,
                     const std::array<double, 12>& observed, bool withPriors = true) {
    std::string text = tableText(toyRows(n, 7));
    if (endsWithGz(name)) {
        EXPECT_TRUE(writeGzip(dir.file(name), text));
    } else {
        dir.write(name, text);
    }
    const std::string base = name.substr(0, name.size() - (endsWithGz(name) ? 3 : 0));
    dir.write(base + ".observed.tsv", observedText(observed));
    if (withPriors) dir.write(base + ".priors.tsv", toyPriorsText(n));
    return dir.file(name);
}

// The toy's priors file with the record of what made the table (`from`:
// "prior" or "sample HEX") before its closing line.
std::string toyPriorsMadeFrom(std::size_t rows, const std::string& from) {
    const std::string priors = toyPriorsText(rows);
    const std::size_t closing = priors.find("# complete:");
    return priors.substr(0, closing) + "# made from: " + from +
           "\n# settings: 0123456789abcdef\n# data: fedcba9876543210\n" + priors.substr(closing);
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
    const std::string ref = writeToy(dir, "ref.tsv.gz", 4000, toyObserved);
    const std::string old = writeToy(dir, "old.tsv", 4000, toyObserved, false);
    dir.write("cut.tsv.priors.tsv", toyPriorsText(4000).substr(0, toyPriorsText(4000).find('#')));
    dir.write("cut.tsv", dir.read("old.tsv"));
    dir.write("cut.tsv.observed.tsv", dir.read("old.tsv.observed.tsv"));
    const std::string heading = ": 4000 simulations, 200 accepted (tolerance 0.05, distance <= ";
    const std::string statistics =
        "\nstatistics (scaled by their median absolute deviation): S_sue S_tha NAL_sue NAL_tha\n";
    const std::string loclinear =
        "method: local-linear regression adjustment, Epanechnikov weights 1 - (d/h)^2, h = ";
    const std::string adjusted =
        "; heteroscedastic correction: off\nadjusted: My TimeToOri PopSizeOriTha PopSizePreTha "
        "PopSizeOriSue PopSizePreSue; not adjusted: FracSueMono\n\nColumn           N    ESS";
    struct Case {
        std::string table;
        AdjustMethod method;
        bool hcorr;
        std::vector<std::string> parts;
        std::string err;  // start of standard error
    };
    for (const Case& c : std::vector<Case>{
             {ref,
              AdjustMethod::loclinear,
              false,
              {heading, "), 199 of positive weight" + statistics + loclinear,
               "\ntransform: logit of the position within each prior's bounds (of ln x for "
               "log-uniform priors)" +
                   adjusted},
              ""},
             {ref, AdjustMethod::loclinear, true, {"heteroscedastic correction: on\n"}, ""},
             {ref,
              AdjustMethod::weighted,
              false,
              {heading, "method: rejection with Epanechnikov weights 1 - (d/h)^2, h = "},
              ""},
             {ref,
              AdjustMethod::rejection,
              false,
              {heading, ")" + statistics + "method: rejection, unweighted, no adjustment\n"},
              ""},
             // A table of before the priors file: logged where it can be.
             {old,
              AdjustMethod::loclinear,
              false,
              {"\ntransform: log (the table has no priors file)"},
              "foundabc-summary: warning: no priors file '" + dir.file("old.tsv.priors.tsv") +
                  "' beside the table"},
             {dir.file("cut.tsv"),
              AdjustMethod::loclinear,
              false,
              {heading},
              "foundabc-summary: warning: " + dir.file("cut.tsv") +
                  ": the table is incomplete: the run that wrote it did not finish"}}) {
        TableOptions options = toyOptions(c.table);
        options.method = c.method;
        options.hcorr = c.hcorr;
        Outcome r = run(options);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err.substr(0, c.err.size()), c.err);
        for (const std::string& part : c.parts)
            EXPECT_NE(r.out.find(part), std::string::npos) << part << "\n" << r.out;
    }
    EXPECT_NE(run(toyOptions(old))
                  .err.find("TimeToOri has values <= 0, so it is adjusted on its "
                            "own scale"),
              std::string::npos);

    TableOptions options = toyOptions(ref);
    options.tsv = true;
    options.samplePath = dir.file("sample.tsv");
    Outcome adjustedTsv = run(options);
    options.method = AdjustMethod::weighted;
    options.samplePath = dir.file("weighted.tsv");
    Outcome weighted = run(options);
    options.method = AdjustMethod::rejection;
    Outcome rejection = run(options);
    EXPECT_EQ(weighted.err, "");
    EXPECT_EQ(weighted.out.substr(0, weighted.out.find('\n')),
              "column\tn\tess\tmean\tsd\tq2.5\tq25\tmedian\tq75\tq97.5\tmode");
    // One row sits at the cut-off and has weight 0, unless unweighted;
    // adjusting moves the values.
    EXPECT_EQ(tsvLine(adjustedTsv.out, "My")[1], "199");
    EXPECT_EQ(tsvLine(rejection.out, "My")[1], "200");
    EXPECT_NE(tsvLine(adjustedTsv.out, "My")[3], tsvLine(weighted.out, "My")[3]);
    EXPECT_EQ(tsvLine(adjustedTsv.out, "FracSueMono"), tsvLine(weighted.out, "FracSueMono"));

    // The sample: one row per accepted simulation, its values and, when
    // adjusted, the adjusted ones; the weighted means reproduce the summary.
    // The toy's size priors overlap, so the adjustment makes some present
    // sizes fall below their founding sizes where the simulation had them
    // above: those rows are left out, and the warning counts them.
    const std::string sample = dir.read("sample.tsv");
    const std::size_t said = adjustedTsv.err.find("--sample: ");
    ASSERT_NE(said, std::string::npos) << adjustedTsv.err;
    const long dropped = std::stol(adjustedTsv.err.substr(said + 10));
    EXPECT_NE(adjustedTsv.err.find(" of 200 adjusted rows (", said), std::string::npos);
    EXPECT_EQ(sample.substr(0, sample.find('\n')),
              "sim\tdistance\tweight\tMy\tTimeToOri\tPopSizeOriTha\tPopSizePreTha\t"
              "PopSizeOriSue\tPopSizePreSue\tFracSueMono\tMy_adj\tTimeToOri_adj\t"
              "PopSizeOriTha_adj\tPopSizePreTha_adj\tPopSizeOriSue_adj\tPopSizePreSue_adj");
    EXPECT_EQ(std::count(sample.begin(), sample.end(), '\n'), 201 - dropped);
    const std::string plain = dir.read("weighted.tsv");
    EXPECT_EQ(plain.substr(0, plain.find('\n')),
              "sim\tdistance\tweight\tMy\tTimeToOri\tPopSizeOriTha\tPopSizePreTha\t"
              "PopSizeOriSue\tPopSizePreSue\tFracSueMono");
    std::istringstream rows(sample.substr(sample.find('\n') + 1));
    for (std::string line; std::getline(rows, line);) {
        std::vector<std::string> cells = tsvLine(line, line.substr(0, line.find('\t')));
        if (std::stod(cells[5]) < std::stod(cells[6]) && std::stod(cells[7]) < std::stod(cells[8])) {
            EXPECT_TRUE(std::stod(cells[12]) < std::stod(cells[13]) &&
                        std::stod(cells[14]) < std::stod(cells[15]))
                << line;
        }
    }
    std::istringstream plainRows(plain.substr(plain.find('\n') + 1));
    double sumW = 0, sumWx = 0;
    for (std::string line; std::getline(plainRows, line);) {
        std::vector<std::string> cells = tsvLine(line, line.substr(0, line.find('\t')));
        sumW += std::stod(cells[2]);
        sumWx += std::stod(cells[2]) * std::stod(cells[4]);
    }
    EXPECT_NEAR(sumWx / sumW, std::stod(tsvLine(rejection.out, "TimeToOri")[3]), 1e-6);  // written last
}

// Data beyond every simulation: the local-linear adjustment extrapolates, and
// says so, naming the statistics and the parameters it carries away.
TEST(TableCommand, LocalLinearWarnsWhenItExtrapolates) {
    TempDir dir;
    std::array<double, 12> far = toyObserved;
    far[0] = far[1] = 14;  // log My measured beyond its prior's end (10)
    const Outcome inside = run(toyOptions(writeToy(dir, "in.tsv", 2000, toyObserved)));
    const Outcome outside = run(toyOptions(writeToy(dir, "out.tsv", 2000, far)));
    ASSERT_EQ(outside.status, 0) << outside.err;
    EXPECT_EQ(inside.err.find("extrapolates"), std::string::npos) << inside.err;
    EXPECT_NE(outside.err.find("the observed values of S_sue, S_tha lie outside the range of the "
                               "accepted simulations"),
              std::string::npos)
        << outside.err;
    EXPECT_NE(outside.err.find("My: the adjusted median"), std::string::npos) << outside.err;
}

TEST(TableCommand, BadInputGetsAMessageAndStatusOne) {
    TempDir dir;
    writeToy(dir, "ref.tsv", 1000, toyObserved);
    std::array<double, 12> allNaN;
    allNaN.fill(std::nan(""));
    writeToy(dir, "nan.tsv", 50, allNaN);
    dir.write("lonely.tsv", tableText(toyRows(500, 2)));
    writeToy(dir, "badpriors.tsv", 100, toyObserved);
    const std::string priors = toyPriorsText(100);
    dir.write("badpriors.tsv.priors.tsv", priors.substr(0, priors.find("PopSizePreSue")));
    writeToy(dir, "predictive.tsv", 1000, toyObserved);
    dir.write("predictive.tsv.priors.tsv", toyPriorsMadeFrom(1000, "sample 00000000000000ab"));
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
             {"nan.tsv", 0.5, "", "no statistic is left to compare"},
             {"badpriors.tsv", 0.5, "", "badpriors.tsv.priors.tsv: no row for PopSizePreSue"},
             {"predictive.tsv", 0.1, "",
              "predictive.tsv was simulated from a posterior sample (" +
                  dir.file("predictive.tsv.priors.tsv") +
                  " says '# made from: sample'), so its rows are not draws from the prior"}}) {
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

// An output that names an input, another output, or a place that takes no
// file is refused before anything is read, computed or printed: status 1,
// nothing on standard output, every file as it was. A link is written
// through to its file and a FIFO directly, and both stay what they are.
TEST(TableCommand, OutputsAreCheckedAgainstInputsAndFoldersBeforeTheFirstLine) {
    TempDir dir;
    const std::string table = writeToy(dir, "t.tsv", 400, toyObserved);
    const std::string tableText = dir.read("t.tsv");
    ASSERT_EQ(symlink("t.tsv", dir.file("link.tsv").c_str()), 0);
    ASSERT_EQ(symlink("gone", dir.file("dangling.tsv").c_str()), 0);
    ASSERT_EQ(mkdir(dir.file("folder").c_str(), 0700), 0);
    struct Case {
        std::string sample, cvOut, plot, message;
    };
    const std::string missing = dir.file("no/such/folder/");
    for (const Case& c : std::vector<Case>{
             {table, "", "", "--sample '" + table + "' is the reference table '" + table + "'"},
             {dir.file("t.tsv.observed.tsv"), "", "", "is the observed statistics file"},
             {dir.file("t.tsv.priors.tsv"), "", "", "is the priors file"},
             {dir.file("link.tsv"), "", "", "is the reference table"},
             {"", table, "", "--cv-out '" + table + "' is the reference table"},
             {dir.file("x.png"), "", dir.file("./x.png"),
              "--plot '" + dir.file("./x.png") + "' is the output of --sample '" +
                  dir.file("x.png") + "'"},
             {missing + "s.tsv", "", "", "cannot write '" + missing + "s.tsv': No such file"},
             {"", missing + "cv.tsv", "", "cannot write '" + missing + "cv.tsv': No such file"},
             {"", "", missing + "p.png", "cannot write '" + missing + "p.png': No such file"},
             {dir.file("folder"), "", "", "it is a directory, not a file"},
             {dir.file("dangling.tsv"), "", "", "it is a symbolic link to 'gone'"}}) {
        TableOptions options = toyOptions(table);
        options.samplePath = c.sample;
        options.cvOutPath = c.cvOut;
        options.plotPath = c.plot;
        options.crossValidations = c.cvOut.empty() ? 0 : 5;
        const Outcome r = run(options);
        EXPECT_EQ(r.status, 1) << c.message;
        EXPECT_EQ(r.out, "") << c.message;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(dir.read("t.tsv"), tableText) << c.message;
        EXPECT_FALSE(dir.exists("x.png")) << c.message;
    }
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("folder")));

    // A link to a file of its own: the file is written, the link kept.
    dir.write("kept.tsv", "old");
    ASSERT_EQ(symlink("kept.tsv", dir.file("to-kept.tsv").c_str()), 0);
    TableOptions options = toyOptions(table);
    options.samplePath = dir.file("to-kept.tsv");
    ASSERT_EQ(run(options).status, 0);
    EXPECT_EQ(dir.read("kept.tsv").rfind("sim\tdistance\tweight", 0), 0u);
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("to-kept.tsv")));
    // A FIFO gets the sample and stays a FIFO.
    const std::string fifo = dir.file("pipe");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // With no reader the FIFO is refused at once, not waited on.
    options.samplePath = fifo;
    const Outcome unread = run(options);
    EXPECT_EQ(unread.status, 1);
    EXPECT_NE(unread.err.find("named pipe (FIFO) that no program reads"), std::string::npos);
    EXPECT_EQ(unread.out, "");
    // With a reader, the sample waits in the pipe (it is smaller than the
    // pipe's buffer) and is read afterwards.
    const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    const Outcome piped = run(options);
    std::string received;
    char buffer[4096];
    for (ssize_t n; (n = read(reader, buffer, sizeof buffer)) > 0;)
        received.append(buffer, static_cast<std::size_t>(n));
    close(reader);
    EXPECT_EQ(piped.status, 0) << piped.err;
    EXPECT_EQ(received, dir.read("kept.tsv"));
    EXPECT_TRUE(std::filesystem::is_fifo(fifo));
}

// A table of the generalised stepwise model: every method estimates GsmP
// inside its prior, as the last column of every output, and the seven other
// columns come out as from the same table without it.
TEST(TableCommand, GsmPIsEstimatedLastInsideItsPrior) {
    TempDir dir;
    const std::vector<TableRow> rows = toyRows(2000, 7);
    // Observed values at the top of log My's prior press GsmP's posterior on
    // its upper bound, where only the logit keeps the adjustment inside.
    std::array<double, 12> edge = toyObserved;
    edge[0] = edge[1] = 10.5;
    for (const auto& [name, gsm, priors, observed] :
         {std::tuple{"strict", false, true, toyObserved},
          {"gsm", true, true, toyObserved},
          {"edge", true, true, edge},
          {"bare", true, false, toyObserved}}) {
        dir.write(std::string(name) + ".tsv", gsm ? tableTextWithGsmP(rows, 11) : tableText(rows));
        dir.write(std::string(name) + ".tsv.observed.tsv", observedText(observed));
        if (priors)
            dir.write(std::string(name) + ".tsv.priors.tsv",
                      gsm ? toyPriorsTextWithGsmP(2000) : toyPriorsText(2000));
    }
    const auto L = AdjustMethod::loclinear;
    const char *plain = "FracSueMono\tGsmP\n", *adj = "_adj\tGsmP\tGsmP_adj\n";
    for (const auto& [table, forest, method, hcorr, sampleEnd] :
         {std::tuple{"gsm", true, L, false, plain},
          {"gsm", false, L, false, adj},
          {"gsm", false, L, true, adj},
          {"gsm", false, AdjustMethod::weighted, false, plain},
          {"gsm", false, AdjustMethod::rejection, false, plain},
          {"edge", false, L, false, adj},
          {"edge", true, L, false, plain},
          {"bare", false, L, false, "_adj\tGsmP\n"}}) {
        SCOPED_TRACE(std::string(table) + (forest ? " forest " : " ") + sampleEnd);
        TableOptions options = toyOptions(dir.file(std::string(table) + ".tsv"));
        std::tie(options.forest, options.method, options.hcorr) = std::tie(forest, method, hcorr);
        options.trees = 40;
        options.tsv = true;
        options.samplePath = dir.file("s.tsv");
        const Outcome got = run(options);
        ASSERT_EQ(got.status, 0) << got.err;
        const std::vector<std::string> p = tsvLine(got.out, "GsmP");
        ASSERT_GE(p.size(), 10u) << got.out;
        EXPECT_EQ(got.out.rfind("\nGsmP\t"), got.out.rfind('\n', got.out.size() - 2)) << got.out;
        for (std::size_t k = 5; k <= 9; ++k)
            EXPECT_TRUE(std::stod(p[k]) >= 0.1 && std::stod(p[k]) <= 0.6) << p[k];
        // The sample's GsmP (adjusted where it was) stays inside the prior.
        std::istringstream sample(dir.read("s.tsv"));
        std::string line;
        std::getline(sample, line);
        EXPECT_EQ((line + "\n").substr(line.size() + 1 - std::strlen(sampleEnd)), sampleEnd);
        while (std::getline(sample, line)) {
            const double last = std::stod(line.substr(line.rfind('\t') + 1));
            EXPECT_TRUE(last >= 0.1 && last <= 0.6) << line;
        }
        if (std::string(table) != "gsm") continue;
        options.samplePath.clear();
        options.tablePath = dir.file("strict.tsv");
        EXPECT_EQ(got.out.substr(0, got.out.rfind("GsmP\t")), run(options).out);
    }
    // Cross-validation, by each method: GsmP's rows after FracSueMono's.
    for (bool forest : {false, true}) {
        TableOptions options = toyOptions(dir.file("gsm.tsv"));
        std::tie(options.forest, options.trees, options.tsv, options.crossValidations) =
            std::tuple{forest, 40, true, 20};
        options.cvOutPath = dir.file("cv.tsv");
        const Outcome cv = run(options);
        ASSERT_EQ(cv.status, 0) << cv.err;
        EXPECT_EQ(cv.out.rfind("\nGsmP\t"), cv.out.rfind('\n', cv.out.size() - 2)) << cv.out;
        const std::string out = dir.read("cv.tsv");
        EXPECT_EQ(out.find('\t', out.find('\n', out.find("\tFracSueMono\t")) + 1),
                  out.find("\tGsmP\t"));
        EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1 + 20 * 8);
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
    options.cvOutPath = dir.file("cv.tsv");
    Outcome tsv = run(options);
    EXPECT_EQ(tsv.out.substr(0, tsv.out.find('\n')),
              "parameter\trejection\trejection_se\tloclinear\tloclinear_se\trejection_cover50\t"
              "rejection_cover95\tloclinear_cover50\tloclinear_cover95\tverdict");
    EXPECT_EQ(tsvLine(tsv.out, "TimeToOri")[9], "informed by the data");
    EXPECT_EQ(tsvLine(tsv.out, "PopSizePreTha")[9], "not informed by the data");
    EXPECT_EQ(tsvLine(tsv.out, "FracSueMono")[9], "not informed by the data (not adjusted)");
    // Per pseudo-observed simulation and parameter: the truth, and each
    // method's estimate inside its 95 % interval.
    const std::string cv = dir.read("cv.tsv");
    EXPECT_EQ(cv.substr(0, cv.find('\n')),
              "sim\tparameter\ttrue\trejection\trejection_q025\trejection_q975\tloclinear\t"
              "loclinear_q025\tloclinear_q975\trejection_q25\trejection_q75\tloclinear_q25\t"
              "loclinear_q75");
    EXPECT_EQ(std::count(cv.begin(), cv.end(), '\n'), 1 + 30 * 7);
    const std::vector<std::string> first =
        tsvLine(cv, cv.substr(cv.find('\n') + 1, cv.find('\t', cv.find('\n')) - cv.find('\n') - 1));
    ASSERT_EQ(first.size(), 13u);
    EXPECT_EQ(first[1], "My");
    // Nested intervals: q025 <= q25 <= q75 <= q975, and the estimate within.
    EXPECT_LE(std::stod(first[7]), std::stod(first[6]));
    EXPECT_LE(std::stod(first[6]), std::stod(first[8]));
    EXPECT_LE(std::stod(first[7]), std::stod(first[11]));
    EXPECT_LE(std::stod(first[11]), std::stod(first[12]));
    EXPECT_LE(std::stod(first[12]), std::stod(first[8]));
}

// The rows of the datablock `$name` in a gnuplot script.
std::vector<std::vector<double>> datablock(const std::string& script, const std::string& name) {
    std::vector<std::vector<double>> rows;
    std::istringstream in(script.substr(script.find("$" + name + " << EOD\n") + name.size() + 9));
    for (std::string line; std::getline(in, line) && line != "EOD";) {
        std::istringstream cells(line);
        rows.emplace_back();
        for (double x; cells >> x;) rows.back().push_back(x);
    }
    return rows;
}

// The last bytes of a PNG: its end chunk.
const std::string kWholePng = std::string("\x89PNG\r\n\x1a\nbody\0\0\0\0IEND\xae\x42\x60\x82", 24);

// A stand-in for gnuplot that writes `picture` where the script says, keeps
// the script as `keepScript` (when given), and exits with status 0.
std::string fakeGnuplot(const TempDir& dir, const std::string& picture,
                        const std::string& keepScript = "") {
    dir.write("fake-picture", picture);
    const std::string program = dir.write(
        "fake-gnuplot", "#!/bin/sh\n" + (keepScript.empty() ? "" : "cp \"$1\" " + keepScript + "\n") +
                            "out=$(sed -n \"s/^set output '\\(.*\\)'$/\\1/p\" \"$1\")\n"
                            "cat " + dir.file("fake-picture") + " > \"$out\"\n");
    chmod(program.c_str(), 0755);
    return program;
}

// The outputs of one command appear together and whole: a picture that
// gnuplot left cut short (and still exited 0) is refused, and then neither
// it nor the sample takes its name; a FIFO that nobody reads is refused at
// once.
TEST(TableCommand, OutputsAppearTogetherAndWhole) {
    TempDir dir;
    TableOptions options = toyOptions(writeToy(dir, "ref.tsv", 600, toyObserved));
    struct Case {
        const char* picture;
        std::string bytes;
        int status;
        std::string message;
    };
    const std::string cutPng = kWholePng.substr(0, 20);
    const Case cases[] = {
        {"p.png", kWholePng, 0, ""},
        {"p.png", cutPng, 1, "the PNG file has no end chunk"},
        {"p.png", "", 1, "could not draw the picture"},
        {"p.svg", "<?xml version=\"1.0\"?>\n<svg>\n<g>\n", 1, "does not end with </svg>"},
        {"p.svg", "<?xml version=\"1.0\"?>\n<svg>\n</svg>\n\n", 0, ""},
        {"p.pdf", "%PDF-1.4\n1 0 obj\n", 1, "the PDF file has no %%EOF"},
        {"p.pdf", "%PDF-1.4\ntrailer\n%%EOF\n", 0, ""},
    };
    for (const Case& c : cases) {
        dir.write("post.tsv", "old sample");
        std::remove(dir.file(c.picture).c_str());
        options.samplePath = dir.file("post.tsv");
        options.plotPath = dir.file(c.picture);
        options.gnuplotProgram = fakeGnuplot(dir, c.bytes);
        const Outcome r = run(options);
        EXPECT_EQ(r.status, c.status) << c.picture << c.bytes << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(dir.exists(c.picture), c.status == 0) << c.bytes;
        EXPECT_EQ(dir.read("post.tsv") == "old sample", c.status != 0) << c.bytes;
        if (c.status != 0) {
            EXPECT_NE(r.err.find(options.plotPath), std::string::npos) << r.err;
        }
    }
    // A FIFO with no reader, as the picture, the sample or the sample's record.
    struct Fifo {
        const char* name;
        std::string TableOptions::*option;
        const char* given;
    };
    for (const Fifo& f : {Fifo{"fifo.png", &TableOptions::plotPath, "fifo.png"},
                          Fifo{"fifo.tsv", &TableOptions::samplePath, "fifo.tsv"},
                          Fifo{"s.tsv.origin", &TableOptions::samplePath, "s.tsv"}}) {
        TableOptions o = toyOptions(options.tablePath);
        o.gnuplotProgram = fakeGnuplot(dir, kWholePng);
        ASSERT_EQ(mkfifo(dir.file(f.name).c_str(), 0600), 0);
        o.*f.option = dir.file(f.given);
        const Outcome r = run(o);
        EXPECT_EQ(r.status, 1) << f.name;
        EXPECT_NE(r.err.find("named pipe (FIFO) that no program reads"), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "") << f.name;
    }
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

    // The script, kept by a stand-in for gnuplot.
    options.gnuplotProgram = fakeGnuplot(dir, kWholePng, dir.file("abc.gp"));
    chmod(options.gnuplotProgram.c_str(), 0755);
    ASSERT_EQ(run(options).status, 0);
    const std::string script = dir.read("abc.gp");
    // My's prior is log-uniform over 10 / ln 10 decades, TimeToOri's uniform
    // over 10: the axes and the prior's density follow.
    for (const char* part :
         {"set title 'My'\nset xlabel 'mutation rate'.\"\\n\".'(per locus and generation, log "
          "scale)'\nset logscale x\n",
          "set title 'TimeToOri'\nset xlabel 'time since sue was founded (generations)'\nunset "
          "logscale",
          "set ylabel 'density per decade'\n", "set ylabel 'share of weight'\n",
          "$prior1 << EOD\n1 0.23025850929940", "$prior2 << EOD\n-5 0.1", "noenhanced"})
        EXPECT_NE(script.find(part), std::string::npos) << part;
    // No key over the panels: one legend after them, in a cell of its own.
    EXPECT_LT(script.find("unset key"), script.find("\nplot $adjusted1"));
    EXPECT_GT(script.find("\nset key"), script.rfind("\nplot $adjusted"));
    EXPECT_NE(script.find("plot $adjusted7"), std::string::npos);
    // Bars hold their share by area on the axis' scale (FracSueMono's by
    // height, each bar centred on its value).
    for (int c : {1, 2, 7}) {
        double total = 0.0;
        for (const auto& bar : datablock(script, "adjusted" + std::to_string(c))) {
            ASSERT_EQ(bar.size(), 4u);
            const double width = c == 1 ? std::log10(bar[2] / bar[1]) : bar[2] - bar[1];
            total += c == 7 ? bar[3] : bar[3] * width;
            if (c == 7) {
                EXPECT_NEAR(bar[0], (bar[1] + bar[2]) / 2, 1e-12);
            }
        }
        EXPECT_NEAR(total, 1.0, 1e-9) << c;
    }

    if (system("command -v gnuplot >/dev/null 2>&1") != 0) GTEST_SKIP() << "gnuplot not installed";
    options.gnuplotProgram = "gnuplot";
    struct Case {
        const char* name;
        std::string magic;  // the format's first bytes
    };
    for (const Case& c : std::vector<Case>{
             {"abc.png", "\x89PNG\r\n\x1a\n"}, {"abc.svg", "<?xml"}, {"abc.pdf", "%PDF"}}) {
        options.plotPath = dir.file(c.name);
        Outcome drawn = run(options);
        ASSERT_EQ(drawn.status, 0) << c.name << drawn.err;
        EXPECT_EQ(dir.read(c.name).substr(0, c.magic.size()), c.magic) << c.name;
    }
    // The interval lines of every panel and the legend's sample are dashed.
    const std::string svg = dir.read("abc.svg");
    std::size_t dashed = 0;
    for (std::size_t at = svg.find("stroke-dasharray"); at != std::string::npos;
         at = svg.find("stroke-dasharray", at + 1))
        ++dashed;
    EXPECT_GE(dashed, 8u);

    // A parameter with no value of positive weight and one adjusted beyond
    // the doubles leave their panels empty, and the picture is still drawn.
    const std::vector<double> values = {1, 2, 3, 4}, huge = {1, 2, 3, HUGE_VAL}, ones(4, 1.0);
    std::vector<ColumnSummary> adjusted, rejection;
    for (std::size_t c = 0; c < numbParamColumns; ++c) {
        const std::vector<double> weights = c == 0 ? std::vector<double>(4, 0.0) : ones;
        adjusted.push_back(summariseColumn(c, c == 1 ? huge : values, weights, nullptr));
        rejection.push_back(summariseColumn(c, values, weights, nullptr));
    }
    const auto scriptFor = [&](const std::string& out) {
        return comparisonPlotScript(adjusted, rejection, out, "t", PlotFormat::png);
    };
    std::string why;
    EXPECT_EQ(drawPlot(scriptFor, dir.file("odd.png"), "gnuplot", why), PlotOutcome::drawn) << why;
}

// A flat prior's line is flat on its own axis from bound to bound: a
// log-uniform prior per decade on a log axis (10^0.3 = 1.995..., as the
// parameter file's 0.3 reads, once came out of 10^log10 below its bound and
// the line rose from 0), a uniform one per unit on a linear axis.
TEST(TableCommand, PriorLineIsFlatOnItsScale) {
    struct Case {
        bool logScale;
        double lower, upper, density;
    };
    for (const Case& c : std::vector<Case>{{true, std::pow(10.0, 0.3), 100.0, 1.0 / 1.7},
                                           {true, std::pow(10.0, -4.3), 0.01, 1.0 / 2.3},
                                           {false, 1.0, 20.0, 1.0 / 19}}) {
        const ColumnPrior prior{true, c.logScale, c.lower, c.upper, true};
        const std::vector<double> values = {3, 4, 5, 6, 7, 8, 9, 10}, ones(values.size(), 1.0);
        const std::vector<ColumnSummary> s = {summariseColumn(4, values, ones, &prior)};
        const auto line = datablock(comparisonPlotScript(s, s, "p.png", "t", PlotFormat::png), "prior1");
        ASSERT_GE(line.size(), 2u) << c.lower;
        EXPECT_EQ(line.front()[0], c.lower);
        EXPECT_EQ(line.back()[0], c.upper);
        for (const auto& point : line) EXPECT_NEAR(point[1], c.density, 1e-12) << c.lower;
    }
}

TEST(TableProgram, CommandLine) {
    TempDir dir;
    const std::string toy = writeToy(dir, "ref.tsv", 600, toyObserved);
    ChildResult help = runProgram({FOUNDABC_SUMMARY_BIN, "--table", toy, "--help"});
    EXPECT_EQ(help.exitStatus, 0);
    for (const char* option : {"--tol", "--stats", "--adjust", "--transform", "--hcorr", "--plot",
                               "--sample", "--tsv", "--cv", "--seed", "--cv-out", "--method",
                               "--trees", "--threads", "--observed", "--fit-check"})
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    EXPECT_NE(runProgram({FOUNDABC_SUMMARY_BIN, "--help"}).out.find("--table FILE --cv N"),
              std::string::npos);
    ChildResult tsv = runProgram({FOUNDABC_SUMMARY_BIN, "--table=" + toy, "--tol", "0.2", "--stats",
                                  "S_sue,NAL_sue", "--adjust", "weighted", "--tsv"});
    EXPECT_EQ(tsv.exitStatus, 0);
    EXPECT_EQ(tsvLine(tsv.out, "My")[1], "119");  // 120 accepted, one at the cut-off
    ChildResult cv = runProgram({FOUNDABC_SUMMARY_BIN, "--table", toy, "--cv", "5", "--seed", "3",
                                 "--tol", "0.2", "--stats", "S_sue, NAL_sue", "--method",
                                 "loclinear"});
    EXPECT_EQ(cv.exitStatus, 0);
    EXPECT_NE(cv.out.find("statistics (scaled by their median absolute deviation): S_sue NAL_sue"),
              std::string::npos);
    // A count of one reads in the singular.
    ChildResult oneTree = runProgram({FOUNDABC_SUMMARY_BIN, "--table", toy, "--method", "forest",
                                      "--trees", "1", "--stats", "S_sue"});
    EXPECT_NE(oneTree.out.find("(1 tree, 1 statistic tried per split"), std::string::npos)
        << oneTree.out;

    struct Bad {
        std::vector<std::string> args;
        std::string message;  // part of it; empty: any
    };
    for (Bad bad : std::vector<Bad>{
             {{"--adjust", "quadratic"}, ""},
             {{"--transform", "probit"}, ""},
             {{"--method", "loclinear", "--seed", "3"}, "--seed seeds the forests"},
             {{"--method", "ridge"}, ""},
             {{"--method", "forest", "--adjust", "none"}, ""},
             {{"--method", "rejection", "--trees", "10"}, "--trees belongs to --method forest"},
             {{"--trees", "0"}, "--trees '0': give a whole number from 1 to 100000"},
             {{"--threads", "-2"}, "--threads '-2': give a whole number from 0 to 100000"},
             {{"--adjust", "none", "--observed", "x.tsv"}, "--observed belongs to --method forest"},
             {{"--method", "forest", "--cv", "5", "--observed", "x.tsv"},
              "--cv estimates simulations of the table, not observed data"},
             {{"--cv", "5", "--observed", "x.tsv"}, "--observed has no part in it"},
             {{"--method", "forest", "--transform", "log"}, "they do nothing with --method forest"},
             {{"--cv", "5", "--plot", "x.png"}, ""},
             {{"--cv", "5", "--sample", "x.tsv"}, ""},
             {{"--cv-out", "x.tsv"}, ""},
             {{"--adjust", "none", "--hcorr"}, "belong to the local-linear adjustment"},
             {{"--cv", "0"},
              "--cv '0': give the number of simulations to cross-validate, a whole "
              "number from 1 up\n"},
             {{"--cv", "5", "--seed", "-1"}, "--seed '-1': give a whole number from 0 to"},
             {{"--tol", "0"}, ""},
             {{"--tol", "abc"}, ""},
             {{"--cv", "600"}, ""},
             {{"--fit-check", "0"},
              "--fit-check '0': give the number of simulations to score, a whole number from 1 "
              "up\n"},
             {{"--fit-check", "5", "--gfit", "5"}, "excludes"},
             {{"--fit-check", "5", "--cv", "5"}, "excludes"},
             {{"--fit-check", "5", "--method", "forest"}, "excludes"},
             {{"--fit-check", "5", "--trees", "10"}, "--trees belongs to --method forest"},
             {{"--fit-check", "600"}, "needs a table of more rows than that; it has 600"},
             {{"--fit-check", "5", "--tol", "0.05"},
              "the 30 simulations nearest to the data are too few to give the covariance of 11 "
              "statistics: it needs at least 55, five a statistic; give a larger --tol, fewer "
              "--stats or a larger table\n"},
             {{"--method", "rejection", "--seed", "3"}, "--cv, --gfit or --fit-check; give one"},
             {{"--stats"}, ""}}) {
        bad.args.insert(bad.args.begin(), {FOUNDABC_SUMMARY_BIN, "--table", toy});
        const ChildResult r = runProgram(bad.args, "", dir.file("err.txt"));
        EXPECT_EQ(r.exitStatus, 1) << bad.args.back();
        EXPECT_NE(dir.read("err.txt").find(bad.message), std::string::npos) << dir.read("err.txt");
    }
    for (std::vector<std::string> bad : std::vector<std::vector<std::string>>{}) {
        bad.insert(bad.begin(), {FOUNDABC_SUMMARY_BIN, "--table", toy});
        EXPECT_EQ(runProgram(bad, "", dir.file("err.txt")).exitStatus, 1) << bad.back();
        EXPECT_EQ(dir.read("err.txt").rfind("foundabc-summary: ", 0), 0u) << dir.read("err.txt");
    }
    EXPECT_EQ(runProgram({FOUNDABC_SUMMARY_BIN, "--table"}).exitStatus, 1);
}

// The model's own data fit; data far from every simulation do not, and the
// statistics that no simulation reaches are named.
// Forests: the posterior is a weighting of the table's own rows, so every
// quantile lies inside the prior; the bytes do not depend on the threads; the
// sample reads back; several observed points give one block each, the first
// the same as alone; out-of-bag cross-validation reports coverage.
TEST(TableProgram, ForestEstimate) {
    TempDir dir;
    const std::string toy = writeToy(dir, "ref.tsv", 600, toyObserved);
    const std::vector<std::string> base = {FOUNDABC_SUMMARY_BIN, "--table", toy, "--trees", "60",
                                           "--stats", "S_sue,S_tha,NAL_sue,NAL_tha", "--tsv"};
    const auto runWith = [&](std::vector<std::string> extra) {
        std::vector<std::string> args = base;
        args.insert(args.end(), extra.begin(), extra.end());
        return runProgram(args, "", dir.file("err.txt"));
    };
    const ChildResult one = runWith({"--threads", "1", "--sample", dir.file("s.tsv")});
    ASSERT_EQ(one.exitStatus, 0) << dir.read("err.txt");
    for (const char* threads : {"2", "3"})
        EXPECT_EQ(runWith({"--threads", threads}).out, one.out) << threads;
    EXPECT_NE(runWith({"--seed", "2"}).out, one.out);
    EXPECT_NE(one.out.find("\toob_error\timportant\n"), std::string::npos);
    const std::vector<std::string> my = tsvLine(one.out, "My");
    ASSERT_EQ(my.size(), 13u);
    // The quantiles, q2.5 to q97.5, inside My's prior (1, e^10), about the
    // exact posterior of log My, N(5.2, 0.2), which a forest of 600 rows blurs.
    for (std::size_t k = 5; k <= 9; ++k) {
        if (k > 5) {
            EXPECT_LE(std::stod(my[k - 1]), std::stod(my[k])) << k;
        }
        EXPECT_GE(std::stod(my[k]), 1.0) << my[k];
        EXPECT_LE(std::stod(my[k]), std::exp(10.0)) << my[k];
    }
    EXPECT_NEAR(std::log(std::stod(my[7])), 5.2, 0.5) << my[7];
    // The sample: rows of the table with weights summing to 1.
    std::istringstream sample(dir.read("s.tsv"));
    std::string line;
    std::getline(sample, line);
    EXPECT_EQ(line.rfind("sim\tweight\tMy\tTimeToOri\t", 0), 0u) << line;
    double total = 0.0;
    while (std::getline(sample, line)) total += std::stod(line.substr(line.find('\t') + 1));
    EXPECT_NEAR(total, 1.0, 1e-9);

    dir.write("two.tsv", observedText(toyObserved) +
                             observedText(toyObserved).substr(observedText(toyObserved).find('\n') + 1));
    const ChildResult two = runWith({"--threads", "1", "--observed", dir.file("two.tsv")});
    ASSERT_EQ(two.exitStatus, 0) << dir.read("err.txt");
    EXPECT_NE(two.out.find("\n1\tMy\t" + one.out.substr(one.out.find("My\t") + 3,
                                                       one.out.find('\n', one.out.find("My\t")) -
                                                           one.out.find("My\t") - 3)),
              std::string::npos)
        << two.out;
    EXPECT_NE(two.out.find("\n2\tMy\t"), std::string::npos);
    EXPECT_EQ(runWith({"--observed", dir.file("two.tsv"), "--plot", "p.png"}).exitStatus, 1);

    const ChildResult cv = runWith({"--cv", "40", "--cv-out", dir.file("cv.tsv")});
    ASSERT_EQ(cv.exitStatus, 0) << dir.read("err.txt");
    EXPECT_EQ(cv.out.substr(0, cv.out.find('\n')),
              "parameter\tforest\tforest_se\tforest_cover50\tforest_cover95\tverdict\toob_error");
    EXPECT_EQ(dir.read("cv.tsv").substr(0, dir.read("cv.tsv").find('\n')),
              "sim\tparameter\ttrue\tforest\tforest_q025\tforest_q975\tforest_q25\tforest_q75");
}

TEST(TableCommand, GoodnessOfFitAndPredictiveCheck) {
    TempDir dir;
    std::array<double, 12> far = toyObserved;
    far[2] = far[3] = 40;  // TimeToOri measured far beyond its prior
    for (const auto& c : std::vector<std::pair<std::array<double, 12>, std::string>>{
             {toyObserved, "so the model is not rejected at the 5 % level."},
             {far, "(p = 0), so the model is rejected at the 5 % level"}}) {
        // The goodness of fit and the fit check give the same verdicts here.
        for (const bool check : {false, true}) {
            TableOptions options = toyOptions(writeToy(dir, "ref.tsv", 3000, c.first));
            (check ? options.fitChecks : options.fitTests) = 40;
            Outcome r = run(options);
            ASSERT_EQ(r.status, 0) << r.err;
            EXPECT_NE(r.out.find(c.second), std::string::npos) << r.out;
            EXPECT_EQ(r.out.find("Outside the central 99 % of the simulations: NAL_sue, NAL_tha. "
                                 "The model cannot produce them") != std::string::npos,
                      c.first == far && !check);
            EXPECT_EQ(r.out.find("NAL_tha (+") != std::string::npos,
                      c.first == far && check)
                << r.out;
        }
    }

    ReferenceTable t;
    t.stats[0] = {1, 2, 3, 4, std::nan("")};
    std::array<double, numbTableStats> observed{};
    observed[0] = 1;
    observed[1] = std::nan("");
    const auto check = predictiveCheck(t, observed);
    EXPECT_EQ(check[0].simulations, 4u);
    EXPECT_DOUBLE_EQ(check[0].mean, 2.5);
    EXPECT_DOUBLE_EQ(check[0].tail, 0.5);  // a quarter at or below, doubled
    EXPECT_TRUE(std::isnan(check[1].tail));
    ChildResult ppc = runProgram({FOUNDABC_SUMMARY_BIN, "--ppc", dir.file("ref.tsv"), "--tsv"},
                                 "", dir.file("ppc-err.txt"));
    EXPECT_EQ(ppc.exitStatus, 0);
    EXPECT_EQ(dir.read("ppc-err.txt"), "");
    // A table whose run did not finish is used, with a warning.
    const std::string priors = dir.read("ref.tsv.priors.tsv");
    dir.write("ref.tsv.priors.tsv", priors.substr(0, priors.find("# complete")));
    runProgram({FOUNDABC_SUMMARY_BIN, "--ppc", dir.file("ref.tsv"), "--tsv"}, "",
               dir.file("ppc-err.txt"));
    EXPECT_NE(dir.read("ppc-err.txt").find("the table is incomplete"), std::string::npos);
    dir.write("ref.tsv.priors.tsv", priors);
    EXPECT_EQ(tsvLine(ppc.out, "NAL_sue")[7], "*");
    // The check rests on a table drawn from a posterior sample: one that
    // records it was drawn from the priors is refused.
    for (const auto& [from, status] : std::vector<std::pair<std::string, int>>{
             {"prior", 1}, {"sample 00000000000000ab", 0}}) {
        dir.write("ref.tsv.priors.tsv", toyPriorsMadeFrom(3000, from));
        const ChildResult r =
            runProgram({FOUNDABC_SUMMARY_BIN, "--ppc", dir.file("ref.tsv")}, "", dir.file("e"));
        EXPECT_EQ(r.exitStatus, status) << from;
        EXPECT_EQ(dir.read("e").find("foundabc-summary: " + dir.file("ref.tsv") +
                                     " was simulated from the priors (" +
                                     dir.file("ref.tsv.priors.tsv") +
                                     " says '# made from: prior'), so it cannot check the fit") !=
                      std::string::npos,
                  status == 1)
            << dir.read("e");
    }
    dir.write("ref.tsv.priors.tsv", toyPriorsText(3000));
    runProgram({FOUNDABC_SUMMARY_BIN, "--ppc", dir.file("ref.tsv"), "--bogus"}, "", dir.file("e"));
    EXPECT_EQ(dir.read("e").rfind("foundabc-summary: ", 0), 0u) << dir.read("e");
    // Both draw their picture: the model's histogram and the data's line.
    if (system("command -v gnuplot >/dev/null 2>&1") != 0) GTEST_SKIP() << "gnuplot not installed";
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--ppc", dir.file("ref.tsv"), "--plot", dir.file("ppc.svg")},
             {"--table", dir.file("ref.tsv"), "--gfit", "20", "--plot", dir.file("gfit.svg")},
             {"--table", dir.file("ref.tsv"), "--fit-check", "20", "--stats", "S_sue,NAL_sue",
              "--plot", dir.file("check.svg")}}) {
        std::vector<std::string> argv = {FOUNDABC_SUMMARY_BIN};
        argv.insert(argv.end(), args.begin(), args.end());
        EXPECT_EQ(runProgram(argv).exitStatus, 0) << args[0];
        EXPECT_NE(dir.read(args.back().substr(dir.path().size() + 1)).find("<svg"),
                  std::string::npos);
    }
}

TEST(ModelChoiceProgram, ChoosesAndRefusesTablesThatDoNotBelongTogether) {
    TempDir dir;
    const std::string a = writeToy(dir, "a.tsv", 800, toyObserved);
    // b begins with a's rows (the same seed) and has one more; copy is a
    // with its rows compressed: the same simulations under another name.
    const std::string b = writeToy(dir, "b.tsv.gz", 801, toyObserved);
    const std::string copy = writeToy(dir, "copy.tsv.gz", 800, toyObserved);
    std::array<double, 12> other = toyObserved;
    other[3] = 2;
    const std::string c = writeToy(dir, "c.tsv", 800, other);
    // A table whose run was killed: its priors file has no closing line.
    const std::string cut = writeToy(dir, "cut.tsv", 800, toyObserved);
    const std::string cutPriors = dir.read("cut.tsv.priors.tsv");
    dir.write("cut.tsv.priors.tsv", cutPriors.substr(0, cutPriors.find("# complete")));
    // A predictive table: drawn from a posterior sample, not from the priors.
    const std::string drawn = writeToy(dir, "drawn.tsv", 800, toyObserved);
    dir.write("drawn.tsv.priors.tsv", toyPriorsMadeFrom(800, "sample 0123456789abcdef"));
    // A model of the generalised stepwise model: its table has GsmP, which
    // takes no part in the choice.
    dir.write("g.tsv", tableTextWithGsmP(toyRows(800, 9), 3));
    dir.write("g.tsv.observed.tsv", observedText(toyObserved));
    dir.write("g.tsv.priors.tsv", toyPriorsTextWithGsmP(800));
    const std::string g = dir.file("g.tsv");
    const std::string link = dir.file("link.tsv");
    ASSERT_EQ(symlink("a.tsv", link.c_str()), 0);
    const std::vector<std::string> stats = {"--stats", "S_sue,S_tha,NAL_sue,NAL_tha", "--tol",
                                            "0.1"};
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string out, err;  // parts of them
    };
    for (Case t : std::vector<Case>{
             {{"--choose", a, b, "--names", "x,y", "--method", "rejection", "--tsv"},
              0,
              "model\tsimulations\tprior\taccepted\tposterior\tverdict\nx\t800\t0.49",
              "a.tsv and " + b + " begin with the same parameter draws"},
             {{"--choose", a, b, "--cv", "5"}, 0, "confusion matrix, mnlogistic", ""},
             {{"--choose", a, g, "--names", "strict,gsm", "--method", "rejection", "--tsv"},
              0,
              "\nstrict\t800\t0.5\t",
              ""},
             {{"--choose", g, a, "--trees", "20"}, 0, "prior error rate: ", ""},
             {{"--choose", a}, 1, "", "--choose needs the tables of two models or more"},
             {{"--choose", a, b, a},
              1,
              "",
              "--choose names one table twice: '" + a + "' and '" + a + "' are the same file"},
             {{"--choose", a, link}, 1, "", "'" + a + "' and '" + link + "' are the same file"},
             {{"--choose", a, c}, 1, "", "not simulated for the same observed data: NAL_tha is 1"},
             {{"--choose", a, b, "--names", "x"}, 1, "", "--names gives 1 names for 2 tables"},
             {{"--choose", a, b, "--cv", "0"}, 1, "", "--cv '0'"},
             {{"--choose", a, b, "--bogus"}, 1, "", "foundabc-summary: unknown option '--bogus'\n"},
             {{"--choose", a, b, "--trees", "1"}, 0, "classification forest (1 tree, ", ""},
             {{"--choose", a, b, "--method", "mnlogistic"}, 0, "are not calibrated", ""},
             {{"--choose", a, b, "--method", "rejection"},
              0,
              "Verdict: the data do not tell these models apart here: the probability of a, the "
              "model chosen, is 0.500, below 0.75",
              ""},
             {{"--choose", a, b, "--trees", "20", "--tsv"}, 0, "\tverdict\n", ""},
             {{"--choose", a, b, "--cv", "20"},
              0,
              "prior error rate over 40 simulations): the data do not tell these models apart: "
              "the prior error rate, 1.000, is not below chance, 0.500 (",
              ""},
             {{"--choose", b, copy, a},
              1,
              "",
              "--choose: '" + copy + "' and '" + a + "' hold the same simulations"},
             {{"--choose", a, b, "--method", "rejection", "--trees", "5"},
              1,
              "",
              "--trees belongs to --method forest"},
             {{"--choose", a, b, "--plot", "x.gif"}, 1, "", "must end in .png, .svg or .pdf"},
             {{"--choose", a, b, "--names", "x,x"}, 1, "", "two models are named 'x'"},
             {{"--choose", a, cut}, 1, "", "cut.tsv: the table is incomplete"},
             {{"--choose", a, drawn}, 1, "", "drawn.tsv was simulated from a posterior sample"}}) {
        t.args.insert(t.args.begin(), FOUNDABC_SUMMARY_BIN);
        t.args.insert(t.args.end(), stats.begin(), stats.end());
        const ChildResult r = runProgram(t.args, "", dir.file("err.txt"));
        EXPECT_EQ(r.exitStatus, t.status) << t.err;
        EXPECT_NE(r.out.find(t.out), std::string::npos) << r.out;
        EXPECT_NE(dir.read("err.txt").find(t.err), std::string::npos) << dir.read("err.txt");
    }
}

// No program aborts: a singular regression leaves out what makes it singular
// or says why it cannot go on, and every reader given a directory where a
// file belongs names it, with status 1.
TEST(ProgramFaults, ADirectoryWhereAFileIsReadOrASingularFitEndsWithAMessage) {
    TempDir dir;
    // Toy tables of two models whose HET_sue is S_sue - S_tha in every row.
    std::array<double, 12> observed = toyObserved;
    observed[4] = observed[0] - observed[1];
    for (const auto& [name, seed] : {std::pair<const char*, unsigned long>{"a", 7}, {"b", 8}}) {
        std::vector<TableRow> rows = toyRows(800, seed);
        for (TableRow& r : rows) r.stats[4] = r.stats[0] - r.stats[1];
        dir.write(std::string(name) + ".tsv", tableText(rows));
        dir.write(std::string(name) + ".tsv.observed.tsv", observedText(observed));
        dir.write(std::string(name) + ".tsv.priors.tsv", toyPriorsText(800));
    }
    writeToy(dir, "t.tsv", 800, toyObserved, false);
    mkdir(dir.file("t.tsv.priors.tsv").c_str(), 0755);
    mkdir(dir.file("d").c_str(), 0755);
    dir.write("in.gen", "title\nL1, L2\nPop\na1 , 150152 154154\nPop\nb1 , 150150 158158\n");
    dir.write("results.txt", "");
    // A sample whose record beside it is a directory.
    dir.write("params.txt", ParamsFileText().str());
    dir.write("data.txt", "h\n1 2 3 4 5\n6 7 8 9 10\n");
    dir.write("s.tsv",
              "My\tTimeToOri\tPopSizeOriTha\tPopSizePreTha\tPopSizeOriSue\tPopSizePreSue\tweight\n"
              "0.005\t20\t150\t1500\t15\t150\t1\n");
    mkdir(dir.file("s.tsv.origin").c_str(), 0755);
    const std::string summary = FOUNDABC_SUMMARY_BIN, import = FOUNDABC_IMPORT_BIN;
    const std::string collinear =
        "HET_sue is collinear with S_sue and S_tha among the accepted rows";
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string err;  // a part of standard error
    };
    for (const Case& c : std::vector<Case>{
             {{import, "d", "--sue", "1", "--tha", "2"}, 1, "foundabc-import: d: is a directory"},
             {{import, "in.gen", "--sue", "1", "--tha", "2", "--repeat-units", "d"},
              1,
              "foundabc-import: d: is a directory"},
             {{summary, "--table", "t.tsv"}, 1, "t.tsv.priors.tsv: is a directory"},
             {{summary, "--ppc", "t.tsv"}, 1, "t.tsv.priors.tsv: is a directory"},
             {{summary, "--choose", "a.tsv", "t.tsv"}, 1, "t.tsv.priors.tsv: is a directory"},
             {{summary, "--table", "d"}, 1, "foundabc-summary: d: is a directory"},
             {{summary, "--table", "a.tsv", "--observed", "d"}, 1, "d: is a directory"},
             {{summary, "d"}, 1, "foundabc-summary: d: is a directory"},
             {{summary, "results.txt", "--params", "d"}, 1, "--params: d: is a directory"},
             {{FOUNDABC_BIN, "--seed", "1", "--from-sample", "s.tsv", "--table", "p.tsv",
               "params.txt"},
              1,
              "error: sample: s.tsv.origin: is a directory"},
             {{summary, "--choose", "a.tsv", "b.tsv", "--method", "mnlogistic", "--stats",
               "S_sue,S_tha,HET_sue", "--tol", "0.2"},
              0,
              "statistic HET_sue left out of the multinomial regression: " + collinear},
             {{summary, "--choose", "a.tsv", "b.tsv", "--stats", "S_sue,S_tha,HET_sue", "--cv",
               "10"},
              0,
              "the multinomial regression left out statistics constant or collinear"},
             {{summary, "--choose", "a.tsv", "b.tsv", "--method", "mnlogistic", "--tol", "0.005"},
              1,
              "too few accepted simulations for the multinomial regression"},
             {{summary, "--table", "a.tsv", "--method", "loclinear", "--stats",
               "S_sue,S_tha,HET_sue,NAL_sue"},
              0,
              "statistic HET_sue left out of the regression: " + collinear},
             {{summary, "--table", "a.tsv", "--method", "loclinear", "--stats",
               "S_sue,S_tha,HET_sue", "--cv", "5"},
              0,
              "the regression left out statistics constant or collinear with others among the "
              "accepted rows for 5 pseudo-observed simulations"},
         }) {
        const ChildResult r = runProgram(c.args, dir.path(), dir.file("err.txt"));
        const std::string err = dir.read("err.txt");
        EXPECT_EQ(r.exitStatus, c.status) << c.args[1] << " " << c.args[2] << "\n" << err;
        EXPECT_NE(err.find(c.err), std::string::npos) << c.args[1] << " " << c.args[2] << "\n"
                                                      << err;
    }
}

// Forests on awkward tables: a statistic of median absolute deviation 0 or
// missing in some rows is a feature like any other; a table too small, a
// parameter the table holds fixed, forests too large for the memory each get
// their own answer.
TEST(TableProgram, ForestOnAwkwardTables) {
    TempDir dir;
    struct Case {
        const char* name;
        std::size_t rows;
        std::function<void(TableRow&, std::size_t)> edit;
        std::vector<std::string> options;
        int status;
        std::vector<std::string> outHas, errHas;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Case cases[] = {
        {"mad0", 600, [](TableRow& r, std::size_t i) { r.stats[2] = i % 10 < 7 ? 0.0 : r.params[1]; },
         {"--stats", "S_sue,NAL_sue"}, 0, {"statistics: S_sue NAL_sue\n"}, {}},
        {"holes", 600,
         [&](TableRow& r, std::size_t i) { r.stats[i % 2] = nan; },
         {"--stats", "S_sue,S_tha"}, 0, {"statistics: S_sue S_tha\n"}, {}},
        {"tiny", 5, [](TableRow&, std::size_t) {}, {}, 1, {},
         {"5 simulations are too few for a forest, which needs at least 10"}},
        {"fixed", 600, [](TableRow& r, std::size_t) { r.params[1] = 2.0; }, {}, 0,
         {"fixed (same in every row)   none (no tree split)\n"}, {}},
        {"huge", 600, [](TableRow&, std::size_t) {}, {"--trees", "100000"}, 1, {},
         {"the forests need about", "give fewer trees (--trees)"}},
    };
    for (const Case& c : cases) {
        const bool huge = std::string(c.name) == "huge";
#if defined(__SANITIZE_ADDRESS__)
        // AddressSanitizer reserves terabytes of address space for its shadow,
        // so no process of this build starts under a limit on address space.
        if (huge) continue;
#endif
        std::vector<TableRow> rows = toyRows(c.rows, 7);
        for (std::size_t i = 0; i < rows.size(); ++i) c.edit(rows[i], i);
        const std::string table = dir.write(std::string(c.name) + ".tsv", tableText(rows));
        dir.write(std::string(c.name) + ".tsv.observed.tsv", observedText(toyObserved));
        dir.write(std::string(c.name) + ".tsv.priors.tsv", toyPriorsText(c.rows));
        std::string command = std::string(huge ? "ulimit -v 2000000; " : "") + "exec " +
                              FOUNDABC_SUMMARY_BIN + " --table " + table + " --threads 1";
        if (c.options.empty() || c.options[0] != "--trees") command += " --trees 30";
        for (const std::string& o : c.options) command += " " + o;
        const ChildResult r = runProgram({"/bin/sh", "-c", command}, "", dir.file("err.txt"));
        const std::string err = dir.read("err.txt");
        EXPECT_EQ(r.exitStatus, c.status) << c.name << err;
        for (const std::string& part : c.outHas)
            EXPECT_NE(r.out.find(part), std::string::npos) << c.name << "\n" << r.out;
        for (const std::string& part : c.errHas)
            EXPECT_NE(err.find(part), std::string::npos) << c.name << "\n" << err;
        EXPECT_EQ(err.find("forests:"), std::string::npos) << "progress off a terminal";
    }
}

// One observed point, one answer: a point's block is what the point gets
// alone, whatever the other points miss; the estimate and --cv judge a
// parameter by the same out-of-bag error; the sample's marginals are the
// printed ones.
TEST(TableProgram, ForestPointsVerdictsAndSample) {
    TempDir dir;
    // The toy with the parameters no statistic informs held fixed: My and
    // TimeToOri, each informed by statistics of its own, make the sample's
    // joint.
    std::vector<TableRow> rows = toyRows(600, 7);
    for (TableRow& row : rows)
        for (std::size_t c = 2; c < 7; ++c) row.params[c] = 2.0;
    const std::string toy = dir.write("ref.tsv", tableText(rows));
    dir.write("ref.tsv.observed.tsv", observedText(toyObserved));
    dir.write("ref.tsv.priors.tsv", toyPriorsText(600));
    const auto runWith = [&](std::vector<std::string> extra) {
        std::vector<std::string> args = {FOUNDABC_SUMMARY_BIN, "--table", toy, "--trees", "60",
                                         "--tsv"};
        args.insert(args.end(), extra.begin(), extra.end());
        return runProgram(args, "", dir.file("err.txt"));
    };
    const std::string observed = observedText(toyObserved);
    const std::string header = observed.substr(0, observed.find('\n') + 1);
    std::array<double, 12> missing = toyObserved, other = toyObserved;
    missing[0] = std::numeric_limits<double>::quiet_NaN();
    other[2] = 3;
    const std::string otherLine = observedText(other).substr(header.size());
    dir.write("two.tsv", header + observedText(missing).substr(header.size()) + otherLine);
    dir.write("alone.tsv", header + otherLine);
    const ChildResult two = runWith({"--observed", dir.file("two.tsv")});
    const ChildResult alone = runWith({"--observed", dir.file("alone.tsv")});
    ASSERT_EQ(two.exitStatus, 0) << dir.read("err.txt");
    std::string block;
    std::istringstream lines(two.out);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("2\t", 0) == 0) block += line.substr(2) + "\n";
    EXPECT_EQ(block, alone.out.substr(alone.out.find('\n') + 1));

    const ChildResult estimate = runWith({"--sample", dir.file("s.tsv")});
    EXPECT_EQ(dir.read("err.txt").find("sample"), std::string::npos) << dir.read("err.txt");
    const ChildResult cv = runWith({"--cv", "40"});
    ASSERT_EQ(cv.exitStatus, 0) << dir.read("err.txt");
    std::array<std::vector<double>, 7> values;
    std::vector<double> weights;
    std::istringstream sample(dir.read("s.tsv"));
    std::string line;
    std::getline(sample, line);
    while (std::getline(sample, line)) {
        std::istringstream cells(line);
        std::string cell;
        std::getline(cells, cell, '\t');
        std::getline(cells, cell, '\t');
        weights.push_back(std::stod(cell));
        for (auto& column : values) std::getline(cells, cell, '\t'), column.push_back(std::stod(cell));
    }
    for (std::size_t c = 0; c < 7; ++c) {
        const std::vector<std::string> printed = tsvLine(estimate.out, paramColumnNames[c]);
        const std::vector<std::string> judged = tsvLine(cv.out, paramColumnNames[c]);
        ASSERT_EQ(judged.size(), 7u) << cv.out;
        EXPECT_EQ(judged[6], printed[11]) << paramColumnNames[c];
        double mean = 0.0;
        for (std::size_t i = 0; i < weights.size(); ++i) mean += weights[i] * values[c][i];
        // 600 rows hold few that are near the data in both pairs of
        // statistics, so the joint meets the two sharp margins only in 5
        // bins: the means within 0.3 SD (the mean over the forests the
        // sample had before was several SD off).
        EXPECT_LE(std::fabs(mean - std::stod(printed[3])), 0.3 * std::stod(printed[4]) + 1e-9)
            << paramColumnNames[c] << " " << mean;
    }
}

// A table a run writes now holds the spread and shape statistics: the
// rejection methods and the fit check compare the core statistics unless
// named, the forests take all of them, and --stats picks the later ones by
// name.
TEST(TableProgram, SpreadAndShapeStatisticsByDefaultAndByName) {
    TempDir dir;
    dir.write("params.txt", ParamsFileText()
                                .set("NUMBER_OF_SUE_LINES", "6")
                                .set("NUMBER_OF_THA_LINES", "6")
                                .set("NUMBER_OF_LOCI", "4")
                                .set("MY_UPPER", "0.05")
                                .set("REPEATS", "400")
                                .str());
    dir.write("data.txt",
              "h\n10 11 12 12 13 9 20 21 21 22 23 24\n5 5 6 8 5 7 3 4 4 5 9 6\n"
              "30 31 30 32 29 30 40 41 43 40 42 40\n7 7 7 8 7 6 1 2 1 3 1 2\n");
    ASSERT_EQ(runProgram({FOUNDABC_BIN, "--seed", "2", "--table", "t.tsv", "params.txt"},
                         dir.path())
                  .exitStatus,
              0);
    std::string older;  // the observed file without its last six columns
    std::istringstream lines(dir.read("t.tsv.observed.tsv"));
    for (std::string line; std::getline(lines, line);) {
        std::size_t end = 0;
        for (int k = 0; k < 12; ++k) end = line.find('\t', end + (k > 0));
        older += line.substr(0, end) + "\n";
    }
    dir.write("old.tsv", older);
    const std::string core =
        "S_sue S_tha NAL_sue NAL_tha HET_sue HET_tha VAR_sue VAR_tha MGW_sue MGW_tha DM2 FST";
    const std::string scaled = "statistics (scaled by their median absolute deviation): ";
    struct Case {
        std::vector<std::string> options;
        std::string line;  // the line that names the statistics used
    };
    for (const Case& c : std::vector<Case>{
             {{"--method", "rejection", "--tol", "0.2"}, scaled + core + "\n"},
             {{"--gfit", "20", "--tol", "0.2"}, scaled + core + "\n"},
             {{"--method", "rejection", "--tol", "0.2", "--stats", "GAP_sue,SDHET_tha,S_sue"},
              scaled + "S_sue SDHET_tha GAP_sue\n"},
             {{"--trees", "10", "--threads", "1"},
              "statistics: " + core + " SDHET_sue SDHET_tha SDVAR_sue SDVAR_tha GAP_sue GAP_tha\n"},
             // Observed statistics of the older layout: the forests take the
             // statistics both files hold.
             {{"--trees", "10", "--threads", "1", "--observed", dir.file("old.tsv")},
              "statistics: " + core + "\n"},
         }) {
        std::vector<std::string> argv = {FOUNDABC_SUMMARY_BIN, "--table", dir.file("t.tsv")};
        argv.insert(argv.end(), c.options.begin(), c.options.end());
        const ChildResult r = runProgram(argv, "", dir.file("err.txt"));
        EXPECT_EQ(r.exitStatus, 0) << c.options[1] << dir.read("err.txt");
        EXPECT_NE(r.out.find(c.line), std::string::npos) << c.options[1] << "\n" << r.out;
    }
}
