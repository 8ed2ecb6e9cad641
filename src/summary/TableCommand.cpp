#include "summary/TableCommand.h"

#include <CLI/CLI.hpp>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "summary/Abc.h"
#include "summary/AbcPlot.h"
#include "summary/Command.h"
#include "summary/CrossValidation.h"
#include "summary/Options.h"
#include "summary/Plot.h"
#include "summary/ReferenceTable.h"
#include "summary/Stats.h"
#include "summary/Table.h"

namespace {

constexpr const char* programName = "foundabc-summary";

// What cures a failed regression (too few rows, or a singular fit).
constexpr const char* regressionHint =
    "; choose fewer or other statistics with --stats, or accept more with a larger --tol";

std::string shortNumber(double x) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.4g", x);
    return buf;
}

int failWith(std::ostream& err, const std::string& message) {
    err << programName << ": " << message << "\n";
    return 1;
}

void warn(std::ostream& err, const std::string& message) {
    err << programName << ": warning: " << message << "\n";
}

std::vector<ColumnSummary> summarise(const std::array<std::vector<double>, numbParamColumns>& v,
                                     const std::vector<double>& weights) {
    std::vector<ColumnSummary> summaries;
    for (std::size_t c = 0; c < numbParamColumns; ++c)
        summaries.push_back(summariseColumn(c, v[c], weights, nullptr));
    return summaries;
}

std::string statisticList(const StatisticChoice& choice) {
    std::string names;
    for (std::size_t j : choice.columns)
        names += (names.empty() ? "" : " ") + std::string(tableStatNames[j]);
    return names;
}

int estimate(const TableOptions& options, const ReferenceTable& table,
             const StatisticChoice& choice, std::ostream& out, std::ostream& err) {
    AbcEstimate e = estimateParameters(table, choice, choice.observed, options.tolerance,
                                       options.adjust, table.rows());
    for (const std::string& w : e.warnings) warn(err, w);
    // Past acceptance only the regression can fail: too few rows or a
    // singular fit, which fewer statistics or more rows cure.
    const bool regressionFailed = e.acceptance.positive > 0;
    if (!e.error.empty())
        return failWith(
            err, options.tablePath + ": " + e.error + (regressionFailed ? regressionHint : ""));
    const Acceptance& a = e.acceptance;
    const auto& values = options.adjust ? e.adjusted : e.rejection;
    std::vector<ColumnSummary> summaries = summarise(values, a.weights);

    const std::string method =
        options.adjust ? "local-linear regression adjustment" : "rejection (no adjustment)";
    if (options.tsv) {
        out << formatTsv(summaries, true);
    } else {
        out << options.tablePath << ": " << table.rows() << " simulations, " << a.rows.size()
            << " accepted (tolerance " << shortNumber(options.tolerance)
            << ", distance <= " << shortNumber(a.cutoff) << "), " << a.positive
            << " of positive weight\n";
        if (a.candidates < table.rows())
            out << "left out: " << table.rows() - a.candidates
                << " simulations with a chosen statistic undefined\n";
        out << "statistics (scaled by their median absolute deviation): " << statisticList(choice)
            << "\n";
        out << "method: " << method
            << ", Epanechnikov weights 1 - (d/h)^2, h = " << shortNumber(a.cutoff) << "\n";
        if (options.adjust) {
            std::string scales[3];  // log scale, own scale, not adjusted
            for (std::size_t c = 0; c < numbParamColumns; ++c)
                scales[!isAdjusted(c)  ? 2
                       : e.logScale[c] ? 0
                                       : 1] += std::string(" ") + paramColumnNames[c];
            const char* heads[3] = {
                "adjusted on the log scale:", "on their own scale:", "not adjusted:"};
            std::string line;
            for (int k = 0; k < 3; ++k)
                if (!scales[k].empty()) line += (line.empty() ? "" : "; ") + (heads[k] + scales[k]);
            out << line << "\n";
        }
        out << "\n" << formatTable(summaries, true);
    }
    out.flush();

    if (options.plotPath.empty()) return 0;
    std::vector<ColumnSummary> rejection =
        options.adjust ? summarise(e.rejection, a.weights) : summaries;
    std::string title = options.tablePath + ": " + std::to_string(a.rows.size()) + " accepted of " +
                        std::to_string(table.rows()) + ", " + method;
    const auto scriptFor = [&](const std::string& output) {
        return comparisonPlotScript(summaries, rejection, output, title,
                                    plotFormatFor(options.plotPath));
    };
    return drawPlotAndReport(scriptFor, options.plotPath, options.gnuplotProgram, err);
}

int crossValidation(const TableOptions& options, const ReferenceTable& table,
                    const StatisticChoice& choice, std::ostream& out, std::ostream& err) {
    CrossValidation cv =
        crossValidate(table, choice, options.crossValidations, options.seed, options.tolerance);
    if (!cv.error.empty())
        return failWith(
            err, options.tablePath + ": " + cv.error + (cv.regressionFailed ? regressionHint : ""));
    if (cv.statisticsLeftOut > 0)
        warn(err, std::to_string(cv.statisticsLeftOut) +
                      " statistics of the pseudo-observed simulations were not finite numbers "
                      "and were left out of their distances");

    std::vector<std::vector<std::string>> lines;
    for (std::size_t c = 0; c < numbParamColumns; ++c) {
        const double best = std::fmin(cv.rejection[c], cv.loclinear[c]);
        char r[32], l[32];
        std::snprintf(r, sizeof r, options.tsv ? "%.9g" : "%.3f", cv.rejection[c]);
        std::snprintf(l, sizeof l, options.tsv ? "%.9g" : "%.3f", cv.loclinear[c]);
        lines.push_back({paramColumnNames[c], std::isnan(cv.rejection[c]) ? "NA" : r,
                         std::isnan(cv.loclinear[c]) ? "NA" : l,
                         verdict(best) + (isAdjusted(c) ? "" : " (not adjusted)")});
    }
    if (options.tsv) {
        out << "parameter\trejection\tloclinear\tverdict\n";
        for (const auto& line : lines)
            out << line[0] << "\t" << line[1] << "\t" << line[2] << "\t" << line[3] << "\n";
        return 0;
    }
    out << options.tablePath << ": cross-validation on " << cv.rows.size() << " of " << table.rows()
        << " simulations (seed " << options.seed << "), tolerance "
        << shortNumber(options.tolerance) << "\n";
    out << "statistics (scaled by their median absolute deviation): " << statisticList(choice)
        << "\n";
    out << "prediction error: sum (estimate - true)^2 / sum (true - mean true)^2, the estimate "
           "being the posterior mean;\nnear 0: the statistics pin the parameter down; near 1: "
           "they tell no more than the prior\n\n";
    char row[256];
    std::snprintf(row, sizeof row, "%-14s %10s %10s  %s\n", "Parameter", "Rejection", "Loclinear",
                  "Verdict");
    out << row;
    for (const auto& line : lines) {
        std::snprintf(row, sizeof row, "%-14s %10s %10s  %s\n", line[0].c_str(), line[1].c_str(),
                      line[2].c_str(), line[3].c_str());
        out << row;
    }
    return 0;
}

}  // namespace

int runTableSummary(const TableOptions& options, std::ostream& out, std::ostream& err) {
    if (!(options.tolerance > 0.0 && options.tolerance <= 1.0))
        return failWith(err, "--tol must lie in (0, 1], the share of simulations to accept; got " +
                                 shortNumber(options.tolerance));
    if (options.plotPath.find_first_of("\r\n") != std::string::npos)
        return failWith(err, "the picture's file name must not contain a line end");
    if (!options.plotPath.empty() && plotFormatFor(options.plotPath) == PlotFormat::none)
        return failWith(err, "--plot '" + options.plotPath +
                                 "': the picture's file name must end in .png, .svg or .pdf, "
                                 "which choose its format");

    const std::string observedPath = observedStatisticsPath(options.tablePath);
    TableRead read = readReferenceTable(options.tablePath);
    for (const std::string& w : read.warnings) warn(err, w);
    if (!read.error.empty()) return failWith(err, read.error);
    const ReferenceTable& table = read.table;
    if (table.rows() == 0)
        return failWith(err, options.tablePath + ": no simulations in the table");
    ObservedRead observed = readObservedStats(observedPath);
    if (!observed.error.empty())
        return failWith(err, observed.error + " (the observed statistics of the table '" +
                                 options.tablePath + "')");

    StatisticChoice choice = chooseStatistics(table, observed.values, options.stats);
    for (const std::string& w : choice.warnings) warn(err, w);
    if (!choice.error.empty()) return failWith(err, options.tablePath + ": " + choice.error);

    return options.crossValidations > 0 ? crossValidation(options, table, choice, out, err)
                                        : estimate(options, table, choice, out, err);
}

bool wantsTable(int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--table") == 0 || std::strncmp(argv[i], "--table=", 8) == 0)
            return true;
    return false;
}

int tableMain(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
    CLI::App app{
        "Estimates the parameters from a reference table written by foundabc --table: accepts "
        "the simulations nearest to the observed statistics (scaled by their median absolute "
        "deviation), weights them by the Epanechnikov kernel and corrects their parameters by "
        "local-linear regression; or, with --cv, cross-validates that estimate.",
        "foundabc-summary --table"};
    app.set_version_flag("--version", std::string("foundabc-summary ") + summaryVersion);
    TableOptions options;
    app.add_option("--table", options.tablePath,
                   "Reference table (plain or .gz); its observed statistics are read from "
                   "FILE (without .gz) + .observed.tsv")
        ->type_name("FILE")
        ->required();
    app.add_option("--tol", options.tolerance,
                   "Share of the simulations to accept, nearest first, in (0, 1]")
        ->type_name("Q")
        ->capture_default_str();
    app.add_option("--stats", options.stats,
                   "Statistics to compare, comma-separated column names; by default all")
        ->type_name("LIST")
        ->delimiter(',');
    std::string adjust = "loclinear";
    auto* adjustOption =
        app.add_option("--adjust", adjust,
                       "loclinear: correct the accepted parameters by weighted local-linear "
                       "regression; none: rejection only")
            ->check(CLI::IsMember({"loclinear", "none"}))
            ->capture_default_str();
    app.add_flag("--tsv", options.tsv, "Write tab-separated values instead of a text table");
    auto* plotOption =
        app.add_option("--plot", options.plotPath,
                       "Draw the adjusted and the rejection-only histograms into this PNG file "
                       "(needs gnuplot)")
            ->type_name("FILE.png");
    auto* cvOption = app.add_option("--cv", options.crossValidations,
                                    "Cross-validate instead: estimate N simulations of the table "
                                    "from the others and print the prediction errors")
                         ->type_name("N")
                         ->check(CLI::PositiveNumber);
    app.add_option("--seed", options.seed, "Seed of the choice of simulations for --cv")
        ->type_name("S")
        ->capture_default_str()
        ->needs(cvOption);
    cvOption->excludes(plotOption)->excludes(adjustOption);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e, out, err) == 0 ? 0 : 1;
    }
    options.adjust = adjust == "loclinear";
    for (std::string& name : options.stats) name = CLI::detail::trim_copy(name);
    return runTableSummary(options, out, err);
}
