#include "summary/TableCommand.h"

#include <CLI/CLI.hpp>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>

#include "abc/Abc.h"
#include "abc/CrossValidation.h"
#include "abc/GoodnessOfFit.h"
#include "abc/Stats.h"
#include "io/FinishedFile.h"
#include "io/ObservedFile.h"
#include "io/PriorsFile.h"
#include "io/ReferenceTable.h"
#include "plot/AbcPlot.h"
#include "plot/CheckPlot.h"
#include "plot/Plot.h"
#include "plot/PlotFormat.h"
#include "sim/Columns.h"
#include "sim/PriorBounds.h"
#include "summary/Command.h"
#include "summary/OptionErrors.h"
#include "summary/Options.h"
#include "summary/OutputCheck.h"
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

// The priors of the table's columns as the results summary takes them: the
// drawn parameters' bounds and scales; FracSueMono has none. A present size
// is drawn at or above the founding size, so its prior is flat only when the
// founding size's upper bound lies at or below its own lower bound.
std::array<ColumnPrior, numbParamColumns> columnPriors(const TablePriors* priors) {
    std::array<ColumnPrior, numbParamColumns> columns{};
    if (priors == nullptr) return columns;
    for (std::size_t c = 0; c < numbDrawnParams; ++c) {
        const ParameterPrior& p = (*priors)[c];
        columns[c] = {true, p.logUniform, p.lower, p.upper, true};
    }
    for (std::size_t c : {3u, 5u}) columns[c].flat = (*priors)[c - 1].upper <= (*priors)[c].lower;
    return columns;
}

std::vector<ColumnSummary> summarise(const std::array<std::vector<double>, numbParamColumns>& v,
                                     const std::vector<double>& weights,
                                     const std::array<ColumnPrior, numbParamColumns>& priors) {
    std::vector<ColumnSummary> summaries;
    for (std::size_t c = 0; c < numbParamColumns; ++c)
        summaries.push_back(
            summariseColumn(c, v[c], weights, priors[c].known ? &priors[c] : nullptr));
    return summaries;
}

std::string statisticList(const StatisticChoice& choice) {
    std::string names;
    for (std::size_t j : choice.columns)
        names += (names.empty() ? "" : " ") + std::string(tableStatNames[j]);
    return names;
}

// Everything read for an estimate: the table, its observed statistics, its
// priors (when it has a priors file) and the settings made from them.
struct Inputs {
    ReferenceTable table;
    StatisticChoice choice;
    std::array<double, numbTableStats> observed{};
    bool hasPriors = false;
    TablePriors priors{};
    EstimationSettings settings;
    TransformKind transform = TransformKind::none;  // the one in force
    OutputFiles* outputs = nullptr;                 // opened before the table was read
};

std::string transformLine(const Inputs& in, bool hcorr) {
    std::string line = "transform: ";
    switch (in.transform) {
        case TransformKind::logit:
            line +=
                "logit of the position within each prior's bounds (of ln x for log-uniform "
                "priors)";
            break;
        case TransformKind::log:
            line += in.hasPriors ? "log" : "log (the table has no priors file)";
            break;
        case TransformKind::none:
            line += "none";
            break;
    }
    return line + "; heteroscedastic correction: " + (hcorr ? "on" : "off");
}

std::string methodLine(AdjustMethod method, double cutoff) {
    const std::string weights = "Epanechnikov weights 1 - (d/h)^2, h = " + shortNumber(cutoff);
    switch (method) {
        case AdjustMethod::rejection:
            return "method: rejection, unweighted, no adjustment";
        case AdjustMethod::weighted:
            return "method: rejection with " + weights + ", no adjustment";
        case AdjustMethod::loclinear:
            break;
    }
    return "method: local-linear regression adjustment, " + weights;
}

// The posterior sample: one row per accepted simulation with its distance,
// weight, values and (when adjusted) adjusted values.
std::string sampleText(const ReferenceTable& table, const AbcEstimate& e, bool adjusted) {
    std::string text = "sim\tdistance\tweight";
    for (const char* name : paramColumnNames) (text += '\t') += name;
    if (adjusted)
        for (std::size_t c = 0; c < numbDrawnParams; ++c)
            (text += '\t') += std::string(paramColumnNames[c]) + "_adj";
    text += '\n';
    const Acceptance& a = e.acceptance;
    for (std::size_t r = 0; r < a.rows.size(); ++r) {
        text += std::to_string(table.simOf(a.rows[r]));
        for (double x : {a.distances[r], e.weights[r]}) appendTableNumber(text += '\t', x);
        for (std::size_t c = 0; c < numbParamColumns; ++c)
            appendTableNumber(text += '\t', e.rejection[c][r]);
        if (adjusted)
            for (std::size_t c = 0; c < numbDrawnParams; ++c)
                appendTableNumber(text += '\t', e.adjusted[c][r]);
        text += '\n';
    }
    return text;
}

int estimate(const TableOptions& options, const Inputs& in, std::ostream& out, std::ostream& err) {
    const ReferenceTable& table = in.table;
    const StatisticChoice& choice = in.choice;
    AbcEstimate e = estimateParameters(table, choice, choice.observed, in.settings, table.rows());
    for (const std::string& w : e.warnings) warn(err, w);
    // Past acceptance only the regression can fail: too few rows or a
    // singular fit, which fewer statistics or more rows cure.
    const bool regressionFailed = e.acceptance.positive > 0;
    if (!e.error.empty())
        return failWith(
            err, options.tablePath + ": " + e.error + (regressionFailed ? regressionHint : ""));
    const Acceptance& a = e.acceptance;
    const bool adjust = options.method == AdjustMethod::loclinear;
    const auto priors = columnPriors(in.hasPriors ? &in.priors : nullptr);
    const auto& values = adjust ? e.adjusted : e.rejection;
    std::vector<ColumnSummary> summaries = summarise(values, e.weights, priors);

    if (options.tsv) {
        out << formatTsv(summaries, true);
    } else {
        out << options.tablePath << ": " << table.rows() << " simulations, " << a.rows.size()
            << " accepted (tolerance " << shortNumber(options.tolerance)
            << ", distance <= " << shortNumber(a.cutoff) << ")";
        if (options.method != AdjustMethod::rejection)
            out << ", " << a.positive << " of positive weight";
        out << "\n";
        if (a.candidates < table.rows())
            out << "left out: " << table.rows() - a.candidates
                << " simulations with a chosen statistic undefined\n";
        out << "statistics (scaled by their median absolute deviation): " << statisticList(choice)
            << "\n";
        out << methodLine(options.method, a.cutoff) << "\n";
        if (adjust) {
            out << transformLine(in, options.hcorr) << "\n";
            std::string names;
            for (std::size_t c = 0; c < numbDrawnParams; ++c)
                names += std::string(" ") + paramColumnNames[c];
            out << "adjusted:" << names << "; not adjusted: FracSueMono\n";
        }
        out << "\n" << formatTable(summaries, true);
    }
    out.flush();

    if (!options.samplePath.empty() &&
        in.outputs->write(options.samplePath, sampleText(table, e, adjust), err) != 0)
        return 1;
    if (options.plotPath.empty()) return 0;
    std::vector<ColumnSummary> rejection =
        adjust ? summarise(e.rejection, e.weights, priors) : summaries;
    std::string title = options.tablePath + ": " + std::to_string(a.rows.size()) + " accepted of " +
                        std::to_string(table.rows()) + ", " +
                        methodLine(options.method, a.cutoff).substr(8);
    const auto scriptFor = [&](const std::string& output) {
        return comparisonPlotScript(summaries, rejection, output, title,
                                    plotFormatFor(options.plotPath));
    };
    return drawPlotAndReport(scriptFor, in.outputs->file(options.plotPath), options.plotPath,
                             options.gnuplotProgram, err);
}

// The per-row estimates of a cross-validation, for R and pandas.
std::string crossValidationText(const ReferenceTable& table, const CrossValidation& cv) {
    std::string text =
        "sim\tparameter\ttrue\trejection\trejection_q025\trejection_q975\tloclinear\t"
        "loclinear_q025\tloclinear_q975\n";
    for (std::size_t k = 0; k < cv.rows.size(); ++k)
        for (std::size_t c = 0; c < numbParamColumns; ++c) {
            text += std::to_string(table.simOf(cv.rows[k])) + "\t" + paramColumnNames[c];
            appendTableNumber(text += '\t', cv.truths[c][k]);
            for (const CvEstimate& e : {cv.rejectionEstimates[c][k], cv.adjustedEstimates[c][k]})
                for (double x : {e.estimate, e.q025, e.q975}) appendTableNumber(text += '\t', x);
            text += '\n';
        }
    return text;
}

int crossValidation(const TableOptions& options, const Inputs& in, std::ostream& out,
                    std::ostream& err) {
    const ReferenceTable& table = in.table;
    CrossValidation cv =
        crossValidate(table, in.choice, options.crossValidations, options.seed, in.settings);
    if (!cv.error.empty())
        return failWith(
            err, options.tablePath + ": " + cv.error + (cv.regressionFailed ? regressionHint : ""));
    if (cv.statisticsLeftOut > 0)
        warn(err, std::to_string(cv.statisticsLeftOut) +
                      " statistics of the pseudo-observed simulations were not finite numbers "
                      "and were left out of their distances");

    const auto number = [&](double x, const char* format) {
        char text[32];
        std::snprintf(text, sizeof text, options.tsv ? "%.9g" : format, x);
        return std::isnan(x) ? std::string("NA") : std::string(text);
    };
    std::vector<std::vector<std::string>> lines;
    for (std::size_t c = 0; c < numbParamColumns; ++c) {
        const CvMethodResult &r = cv.rejection[c], &l = cv.adjusted[c];
        const CvMethodResult& best = l.error < r.error ? l : r;
        lines.push_back(
            {paramColumnNames[c], number(r.error, "%.3f"), number(r.standardError, "%.3f"),
             number(l.error, "%.3f"), number(l.standardError, "%.3f"), number(r.coverage50, "%.2f"),
             number(r.coverage95, "%.2f"), number(l.coverage50, "%.2f"),
             number(l.coverage95, "%.2f"),
             verdict(best.error, best.standardError) + (isAdjusted(c) ? "" : " (not adjusted)")});
    }
    if (options.tsv) {
        out << "parameter\trejection\trejection_se\tloclinear\tloclinear_se\trejection_cover50\t"
               "rejection_cover95\tloclinear_cover50\tloclinear_cover95\tverdict\n";
        for (const auto& line : lines) {
            for (std::size_t k = 0; k < line.size(); ++k) out << (k ? "\t" : "") << line[k];
            out << "\n";
        }
    } else {
        const double n = static_cast<double>(cv.rows.size());
        out << options.tablePath << ": cross-validation on " << cv.rows.size() << " of "
            << table.rows() << " simulations (seed " << options.seed << "), tolerance "
            << shortNumber(options.tolerance) << "\n";
        out << "statistics (scaled by their median absolute deviation): "
            << statisticList(in.choice) << "\n";
        out << transformLine(in, options.hcorr) << "\n";
        out << "prediction error (SE its standard error): sum (estimate - true)^2 / sum (true - "
               "mean true)^2, the estimate\nbeing the posterior mean; near 0: the statistics pin "
               "the parameter down; near 1: they tell\nno more than the prior. Informed: error + "
               "2 SE below 0.5; not informed: error 0.8 or more.\n";
        out << "coverage: share of true values inside the central 50 % and 95 % posterior "
               "intervals; calibrated\nposteriors give 0.50 and 0.95, within about "
            << number(2 * std::sqrt(0.25 / n), "%.2f") << " and "
            << number(2 * std::sqrt(0.95 * 0.05 / n), "%.2f")
            << " (two standard errors) at N = " << cv.rows.size() << "\n\n";
        char row[256];
        std::snprintf(row, sizeof row, "%-14s %9s %6s %9s %6s %6s %6s %6s %6s  %s\n", "Parameter",
                      "Rejection", "SE", "Loclinear", "SE", "Rej50", "Rej95", "Adj50", "Adj95",
                      "Verdict");
        out << row;
        for (const auto& l : lines) {
            std::snprintf(row, sizeof row, "%-14s %9s %6s %9s %6s %6s %6s %6s %6s  %s\n",
                          l[0].c_str(), l[1].c_str(), l[2].c_str(), l[3].c_str(), l[4].c_str(),
                          l[5].c_str(), l[6].c_str(), l[7].c_str(), l[8].c_str(), l[9].c_str());
            out << row;
        }
    }
    out.flush();
    if (options.cvOutPath.empty()) return 0;
    return in.outputs->write(options.cvOutPath, crossValidationText(table, cv), err);
}

int goodnessOfFitTest(const TableOptions& options, const Inputs& in, std::ostream& out,
                      std::ostream& err) {
    const ReferenceTable& table = in.table;
    const StatisticChoice& choice = in.choice;
    GoodnessOfFit fit =
        goodnessOfFit(table, choice, options.fitTests, options.seed, options.tolerance);
    if (!fit.error.empty()) return failWith(err, options.tablePath + ": " + fit.error);
    if (fit.statisticsLeftOut > 0)
        warn(err, std::to_string(fit.statisticsLeftOut) +
                      " statistics of the pseudo-observed simulations were not finite numbers "
                      "and were left out of their distances");
    std::vector<double> scores;
    for (double s : fit.nullScores)
        if (!std::isnan(s)) scores.push_back(s);
    const std::vector<double> ones(scores.size(), 1.0);
    const double median = weightedQuantile(scores, ones, 0.5);
    const double q95 = weightedQuantile(scores, ones, 0.95);
    const double q99 = weightedQuantile(scores, ones, 0.99);
    // The picture of the null distribution with the data's score, if asked for.
    const auto drawFit = [&] {
        out.flush();
        if (options.plotPath.empty()) return 0;
        const std::string title =
            options.tablePath + ": goodness of fit, p = " + shortNumber(fit.pValue);
        const auto scriptFor = [&](const std::string& output) {
            return fitPlotScript(fit.nullScores, fit.observedScore, output, title,
                                 plotFormatFor(options.plotPath));
        };
        return drawPlotAndReport(scriptFor, in.outputs->file(options.plotPath), options.plotPath,
                                 options.gnuplotProgram, err);
    };
    if (options.tsv) {
        out << "observed_score\tnull_median\tnull_q95\tnull_q99\tnull_n\tp_value\n";
        char line[256];
        std::snprintf(line, sizeof line, "%.9g\t%.9g\t%.9g\t%.9g\t%zu\t%.9g\n", fit.observedScore,
                      median, q95, q99, scores.size(), fit.pValue);
        out << line;
        return drawFit();
    }
    const Acceptance accepted = acceptNearest(
        scaledDistances(table, choice.columns, choice.observed, choice.scale), options.tolerance);
    const std::size_t farther =
        static_cast<std::size_t>(std::lround(fit.pValue * static_cast<double>(scores.size())));
    out << options.tablePath << ": goodness of fit on " << fit.rows.size() << " of " << table.rows()
        << " simulations (seed " << options.seed << "), tolerance "
        << shortNumber(options.tolerance) << "\n";
    out << "statistics (scaled by their median absolute deviation): " << statisticList(choice)
        << "\n";
    out << "score: the mean distance of the accepted simulations to the data; null scores: "
           "simulations of the\ntable, each scored against the others: median "
        << shortNumber(median) << ", 95 % quantile " << shortNumber(q95) << ", 99 % quantile "
        << shortNumber(q99) << "\n\n";
    out << "The observed statistics lie at a mean distance of " << shortNumber(fit.observedScore)
        << " from their " << accepted.rows.size() << " nearest simulations; " << farther << " of "
        << scores.size()
        << " simulations of the model lie as far or farther (p = " << shortNumber(fit.pValue)
        << "), so the model "
        << (fit.pValue < 0.05 ? "is rejected at the 5 % level: it does not reproduce the "
                                "observed statistics."
                              : "is not rejected at the 5 % level.")
        << "\n\n";

    out << "prior predictive: where each observed statistic lies among the " << table.rows()
        << " simulations\n";
    const auto quantiles = priorPredictiveQuantiles(table, in.observed);
    char row[256];
    std::snprintf(row, sizeof row, "%-10s %12s %9s\n", "Statistic", "Observed", "Quantile");
    out << row;
    std::string flagged;
    for (std::size_t j = 0; j < numbTableStats; ++j) {
        const bool outside = quantiles[j] < 0.005 || quantiles[j] > 0.995;
        char q[32];
        std::snprintf(q, sizeof q, "%.4f", quantiles[j]);
        std::snprintf(row, sizeof row, "%-10s %12.6g %9s%s\n", tableStatNames[j], in.observed[j],
                      std::isnan(quantiles[j]) ? "NA" : q,
                      outside ? "  outside the central 99 %" : "");
        out << row;
        if (outside) flagged += (flagged.empty() ? "" : ", ") + std::string(tableStatNames[j]);
    }
    if (!flagged.empty())
        out << "\nOutside the central 99 % of the simulations: " << flagged
            << ". The model cannot produce "
            << (flagged.find(',') == std::string::npos ? "it" : "them") << " under these priors.\n";
    return drawFit();
}

// Reads the priors file beside the table, if there is one. Returns false
// (with a message on `err`) when it is there but cannot be used.
bool readPriors(const TableOptions& options, std::size_t rows, Inputs& in, std::ostream& err) {
    const std::string path = priorsPath(options.tablePath);
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        if (errno != ENOENT) {
            failWith(err, "cannot open the priors file '" + path + "': " + std::strerror(errno));
            return false;
        }
        if (options.transform == TransformKind::logit)
            warn(err, "no priors file '" + path +
                          "' beside the table (a table written before foundabc wrote one?): "
                          "the parameters are adjusted on the log scale, which keeps them "
                          "positive but not inside their priors. For estimates inside the "
                          "priors, give the table its priors file (see docs/table-summary.md) "
                          "or write the table again with foundabc --table");
        return true;
    }
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    PriorsFile priors;
    std::string error;
    if (file.bad() || !parsePriors(text, priors, error)) {
        failWith(err, path + ": " + (file.bad() ? "cannot read" : error));
        return false;
    }
    in.hasPriors = true;
    in.priors = priors.priors;
    if (!priors.complete)
        warn(err, options.tablePath +
                      ": the table is incomplete: the run that wrote it did not finish (it was "
                      "killed, failed or is still running); its " +
                      std::to_string(rows) + " complete rows are used");
    else if (priors.simulations != static_cast<long long>(rows))
        warn(err, options.tablePath + ": " + std::to_string(rows) +
                      " rows read, but the run that wrote the table finished it with " +
                      std::to_string(priors.simulations) + " (cut short or damaged since?)");
    return true;
}

}  // namespace

int runTableSummary(const TableOptions& options, std::ostream& out, std::ostream& err) {
    if (!(options.tolerance > 0.0 && options.tolerance <= 1.0))
        return failWith(err, "--tol must lie in (0, 1], the share of simulations to accept; got " +
                                 shortNumber(options.tolerance));
    for (const std::string* path : {&options.plotPath, &options.samplePath, &options.cvOutPath})
        if (path->find_first_of("\r\n") != std::string::npos)
            return failWith(err, "an output file's name must not contain a line end");
    if (!options.plotPath.empty() && plotFormatFor(options.plotPath) == PlotFormat::none)
        return failWith(err, "--plot '" + options.plotPath +
                                 "': the picture's file name must end in .png, .svg or .pdf, "
                                 "which choose its format");

    OutputFiles outputs;
    if (!outputs.open(tableOutputs(options), tableInputs(options.tablePath), err)) return 1;
    TableRead read = readReferenceTable(options.tablePath);
    for (const std::string& w : read.warnings) warn(err, w);
    if (!read.error.empty()) return failWith(err, read.error);
    Inputs in;
    in.outputs = &outputs;
    in.table = std::move(read.table);
    const ReferenceTable& table = in.table;
    if (table.rows() == 0)
        return failWith(err, options.tablePath + ": no simulations in the table");
    const std::string observedPath = observedStatisticsPath(options.tablePath);
    ObservedRead observed = readObservedStats(observedPath);
    if (!observed.error.empty())
        return failWith(err, observed.error + " (the observed statistics of the table '" +
                                 options.tablePath + "')");
    if (!readPriors(options, table.rows(), in, err)) return 1;

    in.observed = observed.values;
    in.choice = chooseStatistics(table, observed.values, options.stats);
    for (const std::string& w : in.choice.warnings) warn(err, w);
    if (!in.choice.error.empty()) return failWith(err, options.tablePath + ": " + in.choice.error);

    in.transform = options.transform == TransformKind::logit && !in.hasPriors ? TransformKind::log
                                                                              : options.transform;
    TransformChoice transforms =
        chooseTransforms(table, options.transform, in.hasPriors ? &in.priors : nullptr);
    for (const std::string& w : transforms.warnings) warn(err, w);
    if (!transforms.error.empty())
        return failWith(err, options.tablePath + ": " + transforms.error);
    in.settings = {options.tolerance, options.method, options.hcorr, transforms.transforms};
    if (options.fitTests > 0) return goodnessOfFitTest(options, in, out, err);
    if (options.crossValidations > 0) {
        in.settings.method = AdjustMethod::loclinear;
        return crossValidation(options, in, out, err);
    }
    return estimate(options, in, out, err);
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
    nameProgramInOptionErrors(app);
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
    std::string adjust = "loclinear", transform = "logit";
    auto* adjustOption =
        app.add_option("--adjust", adjust,
                       "loclinear: correct the accepted parameters by weighted local-linear "
                       "regression; weighted: the accepted parameters with their kernel "
                       "weights; none: plain rejection, unweighted")
            ->check(CLI::IsMember({"loclinear", "weighted", "none"}))
            ->capture_default_str();
    auto* transformOption =
        app.add_option("--transform", transform,
                       "Scale of the regression: logit (within each prior's bounds, read from "
                       "FILE (without .gz) + .priors.tsv; log without that file), log or none")
            ->check(CLI::IsMember({"logit", "log", "none"}))
            ->capture_default_str();
    auto* hcorrOption = app.add_flag("--hcorr", options.hcorr,
                                     "Heteroscedastic correction of the local-linear adjustment");
    app.add_flag("--tsv", options.tsv, "Write tab-separated values instead of a text table");
    auto* plotOption =
        app.add_option("--plot", options.plotPath,
                       "Draw the adjusted and the rejection-only histograms into this picture "
                       "(.png, .svg or .pdf; needs gnuplot)")
            ->type_name("FILE");
    auto* sampleOption =
        app.add_option("--sample", options.samplePath,
                       "Write the accepted simulations (sim, distance, weight, the parameters "
                       "and their adjusted values) to this tab-separated file")
            ->type_name("FILE.tsv");
    std::string cvText, seedText = "1";
    auto* cvOption = app.add_option("--cv", cvText,
                                    "Cross-validate instead: estimate N simulations of the table "
                                    "from the others and print the prediction errors and the "
                                    "coverage of the credible intervals")
                         ->type_name("N");
    std::string fitText;
    auto* fitOption = app.add_option("--gfit", fitText,
                                     "Test the goodness of fit instead: score the data and N "
                                     "simulations of the table by the mean distance of their "
                                     "accepted simulations, and print the p-value and where "
                                     "each observed statistic lies among the simulations")
                          ->type_name("N");
    auto* seedOption =
        app.add_option("--seed", seedText,
                       "Seed of the choice of simulations for --cv and --gfit (default 1)")
            ->type_name("S");
    app.add_option("--cv-out", options.cvOutPath,
                   "With --cv: write each simulation's true value, estimates and 95 % "
                   "intervals to this tab-separated file")
        ->type_name("FILE.tsv")
        ->needs(cvOption);
    cvOption->excludes(plotOption)->excludes(adjustOption)->excludes(sampleOption);
    fitOption->excludes(cvOption)
        ->excludes(adjustOption)
        ->excludes(sampleOption)
        ->excludes(transformOption)
        ->excludes(hcorrOption);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e, out, err) == 0 ? 0 : 1;
    }
    // Whole numbers of decimal digits only: no sign, so -1 cannot wrap round.
    const auto wholeNumber = [](const std::string& text, unsigned long long& value) {
        if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
        return ec == std::errc() && end == text.data() + text.size();
    };
    unsigned long long number = 0;
    if (!cvText.empty()) {
        if (!wholeNumber(cvText, number) || number < 1)
            return failWith(err, "--cv '" + cvText +
                                     "': give the number of simulations to cross-validate, a "
                                     "whole number from 1 up");
        options.crossValidations = static_cast<std::size_t>(number);
    }
    if (!fitText.empty()) {
        if (!wholeNumber(fitText, number) || number < 1)
            return failWith(err, "--gfit '" + fitText +
                                     "': give the number of simulations to score, a whole "
                                     "number from 1 up");
        options.fitTests = static_cast<std::size_t>(number);
    }
    if (seedOption->count() > 0 && cvText.empty() && fitText.empty())
        return failWith(err, "--seed chooses the simulations of --cv or --gfit; give one of them");
    if (!wholeNumber(seedText, number) || number > std::numeric_limits<unsigned long>::max())
        return failWith(err, "--seed '" + seedText + "': give a whole number from 0 to " +
                                 std::to_string(std::numeric_limits<unsigned long>::max()));
    options.seed = static_cast<unsigned long>(number);
    options.method = adjust == "none"       ? AdjustMethod::rejection
                     : adjust == "weighted" ? AdjustMethod::weighted
                                            : AdjustMethod::loclinear;
    options.transform = transform == "none"  ? TransformKind::none
                        : transform == "log" ? TransformKind::log
                                             : TransformKind::logit;
    if (options.method != AdjustMethod::loclinear &&
        (transformOption->count() > 0 || hcorrOption->count() > 0))
        return failWith(err,
                        "--transform and --hcorr belong to the local-linear adjustment; "
                        "they do nothing with --adjust " +
                            adjust);
    for (std::string& name : options.stats) name = CLI::detail::trim_copy(name);
    return runTableSummary(options, out, err);
}
