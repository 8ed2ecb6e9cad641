// `foundabc-summary --table FILE --method forest`: the estimate by regression
// forests, one per column, and its out-of-bag cross-validation.

#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <iostream>
#include <new>
#include <thread>

#include "abc/CrossValidation.h"
#include "abc/ForestEstimate.h"
#include "abc/ForestSample.h"
#include "abc/Stats.h"
#include "base/Counted.h"
#include "io/SampleFile.h"
#include "io/TableFormat.h"
#include "plot/AbcPlot.h"
#include "plot/ImportancePlot.h"
#include "plot/Plot.h"
#include "plot/PlotFormat.h"
#include "base/ForestProgress.h"
#include "summary/Options.h"
#include "summary/Table.h"
#include "summary/TableShared.h"

namespace {

// The number of important statistics shown per parameter.
constexpr std::size_t kShownImportant = 5;

ForestSettings forestSettings(const TableOptions& options, std::size_t features) {
    return forestSettingsFor(options.trees, options.threads, options.seed, features, 5);
}

std::string forestLine(const ForestSettings& s) {
    return "method: random forest per parameter (" +
           counted(static_cast<std::size_t>(s.trees), "tree") + ", " +
           counted(static_cast<std::size_t>(s.mtry), "statistic") +
           " tried per split, minimum node size " + std::to_string(s.minNodeSize) + ", seed " +
           std::to_string(s.seed) +
           "); the posterior weights the table's rows by the leaves they share with the data";
}

// The names of a parameter's most important statistics.
std::string importantList(const std::vector<double>& importance, const StatisticChoice& choice,
                          const char* separator) {
    std::string names;
    for (std::size_t f : mostImportant(importance, kShownImportant))
        names += (names.empty() ? "" : separator) + std::string(tableStatNames[choice.columns[f]]);
    return names;
}

std::string errorText(double x, const char* format) {
    if (std::isnan(x)) return "NA";
    char text[32];
    std::snprintf(text, sizeof text, format, x);
    return text;
}

// The forests of the table's columns (its numbParams() slots), grown once
// for every point.
using ColumnForests = std::array<ColumnForest, numbParamSlots>;

// One rule for the estimate and --cv: the out-of-bag error of every row of
// the table, against fixed thresholds (its standard error over thousands of
// rows is far below the thresholds' precision).
std::string forestVerdict(const ColumnForest& f) {
    return f.fixed ? "fixed (same in every row)" : verdict(f.oobError, 0.0);
}

std::string gigabytes(double bytes) {
    char text[32];
    std::snprintf(text, sizeof text, bytes < 1e9 ? "%.0f MB" : "%.1f GB",
                  bytes < 1e9 ? bytes / 1e6 : bytes / 1e9);
    return text;
}

// The bytes this process may take: the machine's memory, or less under a
// limit of the address space or the data segment (ulimit -v, -d).
double availableMemory() {
    double bytes = static_cast<double>(sysconf(_SC_PHYS_PAGES)) *
                   static_cast<double>(sysconf(_SC_PAGE_SIZE));
    if (!(bytes > 0.0)) bytes = HUGE_VAL;
    for (int resource : {RLIMIT_AS, RLIMIT_DATA}) {
        struct rlimit limit {};
        if (getrlimit(resource, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
            bytes = std::min(bytes, static_cast<double>(limit.rlim_cur));
    }
    return bytes;
}

// Grows the forest of every column, with a progress line on a terminal:
// 0, or 1 after the message on `err` when the table is too small or the
// forests do not fit in memory.
int growForests(const TableOptions& options, const Inputs& in, const FeatureMatrix& features,
                ForestSettings settings, ColumnForests& forests, std::ostream& err) {
    const ReferenceTable& table = in.table;
    if (table.rows() < forestMinimumRows)
        return failWith(err, options.tablePath + ": " + std::to_string(table.rows()) +
                                 " simulations are too few for a forest, which needs at least " +
                                 std::to_string(forestMinimumRows) +
                                 " (twice its minimum node size of 5, so that every tree can "
                                 "split)");
    const std::size_t columns = table.numbParams();
    const double need = static_cast<double>(columns) *
                        regressionForestBytes(table.rows(), features.cols, settings.trees);
    const std::string size = "the forests need about " + gigabytes(need) + " of memory (" +
                             std::to_string(columns) + " forests of " +
                             std::to_string(settings.trees) + " trees on " +
                             std::to_string(table.rows()) + " simulations)";
    const std::string cure = ": give fewer trees (--trees) or a table of fewer simulations";
    const double have = availableMemory();
    if (need > have)
        return failWith(err, options.tablePath + ": " + size + ", more than the " +
                                 gigabytes(have) + " this process may take" + cure);
    ForestProgress progress(static_cast<long>(columns) * settings.trees,
                            &err == &std::cerr ? stderr : nullptr);
    settings.treeGrown = progress.callback();
    const TablePriors* priors = in.hasPriors ? &in.priors : nullptr;
    try {
        for (std::size_t c = 0; c < columns; ++c)
            forests[c] = growColumnForest(table, features, c, priors, settings);
    } catch (const std::bad_alloc&) {
        progress.clear();
        forests = {};
        return failWith(err, options.tablePath + ": out of memory; " + size + cure);
    } catch (const std::exception& e) {
        progress.clear();
        return failWith(err, options.tablePath + ": the forest cannot be grown: " + e.what());
    }
    return 0;
}

// The sample's weights (ForestSample.h), with a warning when no raking matched.
std::vector<double> sampleWeights(const Inputs& in,
                                  const std::array<std::vector<double>, numbParamSlots>& weights,
                                  std::ostream& err) {
    ForestSampleWeights sample = forestSampleWeights(in.table, weights);
    if (!sample.matched)
        warn(err, "the sample's weights match the forests' posteriors only to " +
                      shortNumber(sample.discrepancy) + " of mass in a bin");
    return std::move(sample.weights);
}

}  // namespace

int forestEstimate(const TableOptions& options, const Inputs& in, std::ostream& out,
                   std::ostream& err) {
    const ReferenceTable& table = in.table;
    const StatisticChoice& choice = in.choice;
    const ForestSettings settings = forestSettings(options, choice.columns.size());
    ColumnForests forests;
    {
        const FeatureMatrix features = statisticFeatures(table, choice.columns);
        if (growForests(options, in, features, settings, forests, err) != 0) return 1;
    }
    const auto columnPriorList = in.columnPriorList();
    const std::size_t columns = table.numbParams();

    // One point at a time: its weights are summarised, printed and freed
    // before the next, so that memory does not grow with the points.
    std::array<std::vector<double>, numbParamSlots> weights;
    const std::size_t points = in.points.size();
    for (std::size_t p = 0; p < points; ++p) {
        std::vector<double> point;
        for (std::size_t j : choice.columns) point.push_back(in.points[p][j]);
        std::vector<ColumnSummary> summaries;
        for (std::size_t c = 0; c < columns; ++c) {
            weights[c] = forests[c].forest->posteriorWeights(point);
            summaries.push_back(summariseColumn(
                c, table.params[c], weights[c],
                columnPriorList[c].known ? &columnPriorList[c] : nullptr));
        }
        if (options.tsv) {
            // The estimate's columns, then the out-of-bag error and the most
            // important statistics of each parameter.
            const std::string text = formatTsv(summaries, true);
            std::size_t start = 0, line = 0;
            for (std::size_t end; (end = text.find('\n', start)) != std::string::npos;
                 start = end + 1, ++line) {
                if (line == 0 && p > 0) continue;  // one header for every point
                if (points > 1) out << (line == 0 ? "point\t" : std::to_string(p + 1) + "\t");
                out << text.substr(start, end - start);
                if (line == 0) {
                    out << "\toob_error\timportant\n";
                } else {
                    const ColumnForest& f = forests[line - 1];
                    const std::string important =
                        importantList(f.forest->importance(), choice, ",");
                    out << "\t" << errorText(f.oobError, "%.9g") << "\t"
                        << (important.empty() ? "NA" : important) << "\n";
                }
            }
            continue;
        }
        if (p == 0) {
            out << options.tablePath << ": " << table.rows()
                << " simulations, every one used (a forest needs no tolerance)\n";
            out << "statistics: " << statisticList(choice) << "\n";
            out << forestLine(settings) << "\n";
        }
        if (points > 1) out << "\nobserved point " << p + 1 << " of " << points << "\n";
        out << "\n" << formatTable(summaries, true);
        if (p == 0)
            out << "N: simulations of positive weight; ESS: their effective number, "
                   "1 / sum w^2 (weights summing to 1)\n";
        if (p + 1 == points) {
            out << "\nout-of-bag prediction error: sum (prediction - true)^2 / sum (true - mean "
                   "true)^2 over the\nsimulations each tree left out; near 0: the statistics pin "
                   "the parameter down; near 1:\nthey tell no more than the prior. Verdict: "
                   "informed below 0.5, not informed at 0.8 or\nmore (as --cv says). Most "
                   "important statistics: by the decrease of variance of their splits.\n\n";
            char row[256];
            std::snprintf(row, sizeof row, "%-14s %9s  %-27s %s\n", "Parameter", "OOB error",
                          "Verdict", "Most important statistics");
            out << row;
            for (std::size_t c = 0; c < columns; ++c) {
                const ColumnForest& f = forests[c];
                const std::string important = importantList(f.forest->importance(), choice, " ");
                std::snprintf(row, sizeof row, "%-14s %9s  %-27s %s\n", paramSlotNames[c],
                              errorText(f.oobError, "%.3f").c_str(), forestVerdict(f).c_str(),
                              important.empty() ? "none (no tree split)" : important.c_str());
                out << row;
            }
        }
        out.flush();
    }
    out.flush();

    // The sample and the picture belong to one observed point (checked when
    // the options are read), whose weights are still there.
    if (!options.samplePath.empty()) {
        // Rows of the table, so every one obeys the model, with weights
        // whose margins are the printed posteriors.
        const std::vector<double> sample = sampleWeights(in, weights, err);
        if (writeSample(options, in, formatWeightedRows(table, sample), err) != 0)
            return 1;
    }
    if (options.plotPath.empty()) return 0;
    std::vector<double> mixture(table.rows(), 0.0);
    for (std::size_t c = 0; c < numbDrawnParams; ++c)
        for (std::size_t i = 0; i < table.rows(); ++i)
            mixture[i] += weights[c][i] / static_cast<double>(numbDrawnParams);
    std::vector<ColumnSummary> forest, outlineOfMixture;
    for (std::size_t c = 0; c < columns; ++c) {
        const ColumnPrior* prior = columnPriorList[c].known ? &columnPriorList[c] : nullptr;
        forest.push_back(summariseColumn(c, table.params[c], weights[c], prior));
        outlineOfMixture.push_back(summariseColumn(c, table.params[c], mixture, prior));
    }
    // Plain rejection at the tolerance, the outline beside the forest, on
    // the statistics the rejection methods can scale.
    EstimationSettings rejection = in.settings;
    rejection.method = AdjustMethod::rejection;
    const StatisticChoice scaled = chooseStatistics(table, in.observed, options.stats);
    AbcEstimate plain;
    if (scaled.error.empty())
        plain = estimateParameters(table, scaled, scaled.observed, rejection, table.rows());
    std::vector<ColumnSummary> outline =
        scaled.error.empty() && plain.error.empty()
            ? summarise(plain.rejection, columns, plain.weights, columnPriorList)
            : outlineOfMixture;
    const std::string title = options.tablePath + ": random forests on " +
                              std::to_string(table.rows()) + " simulations, rejection outline at tolerance " +
                              shortNumber(options.tolerance);
    const auto scriptFor = [&](const std::string& output) {
        return comparisonPlotScript(
            forest, outline, output, title, plotFormatFor(options.plotPath),
            {"random-forest posterior", "rejection posterior (tolerance " +
                                            shortNumber(options.tolerance) + ")",
             " (forest)"});
    };
    if (drawPlotAndReport(scriptFor, in.outputs->file(options.plotPath), options.plotPath,
                          options.gnuplotProgram, err) != 0)
        return 1;
    std::vector<std::string> parameters, statistics;
    std::vector<std::vector<double>> importance;
    for (std::size_t c = 0; c < columns; ++c) {
        parameters.push_back(paramSlotNames[c]);
        importance.push_back(forests[c].forest->importance());
    }
    for (std::size_t j : choice.columns) statistics.push_back(tableStatNames[j]);
    const std::string importancePath = importancePlotPath(options.plotPath);
    const auto importanceFor = [&](const std::string& output) {
        return importancePlotScript(parameters, importance, statistics, output,
                                    options.tablePath + ": importance of the statistics in "
                                                        "each parameter's forest",
                                    plotFormatFor(options.plotPath));
    };
    return drawPlotAndReport(importanceFor, in.outputs->file(importancePath), importancePath,
                             options.gnuplotProgram, err);
}

int forestCrossValidation(const TableOptions& options, const Inputs& in, std::ostream& out,
                          std::ostream& err) {
    const ReferenceTable& table = in.table;
    if (options.crossValidations >= table.rows())
        return failWith(err, options.tablePath + ": --cv " +
                                 std::to_string(options.crossValidations) +
                                 " needs a table of more simulations than that");
    const std::vector<std::size_t> rows =
        drawPseudoObservedRows(table.rows(), options.crossValidations, options.seed);
    const ForestSettings settings = forestSettings(options, in.choice.columns.size());
    ColumnForests forests;
    {
        const FeatureMatrix features = statisticFeatures(table, in.choice.columns);
        if (growForests(options, in, features, settings, forests, err) != 0) return 1;
    }
    const std::size_t columns = table.numbParams();
    std::array<std::vector<CvEstimate>, numbParamSlots> estimates;
    std::array<CvMethodResult, numbParamSlots> results;
    std::array<std::vector<double>, numbParamSlots> truths;
    for (std::size_t c = 0; c < columns; ++c) {
        estimates[c] = columnOobEstimates(*forests[c].forest, table, c, rows);
        for (std::size_t r : rows) truths[c].push_back(table.params[c][r]);
        results[c] = assess(estimates[c], truths[c]);
    }
    const auto number = [&](double x, const char* format) {
        return errorText(x, options.tsv ? "%.9g" : format);
    };
    if (options.tsv) {
        out << "parameter\tforest\tforest_se\tforest_cover50\tforest_cover95\tverdict\toob_error\n";
        for (std::size_t c = 0; c < columns; ++c)
            out << paramSlotNames[c] << "\t" << number(results[c].error, "") << "\t"
                << number(results[c].standardError, "") << "\t"
                << number(results[c].coverage50, "") << "\t" << number(results[c].coverage95, "")
                << "\t" << forestVerdict(forests[c]) << "\t" << number(forests[c].oobError, "")
                << "\n";
    } else {
        out << options.tablePath << ": out-of-bag cross-validation on " << rows.size() << " of "
            << table.rows() << " simulations (seed " << options.seed << ")\n";
        out << "statistics: " << statisticList(in.choice) << "\n";
        out << forestLine(settings) << "\n";
        out << "each simulation is estimated by the trees that did not see it: no refitting\n";
        out << crossValidationLegend(rows.size(), true);
        char row[256];
        std::snprintf(row, sizeof row, "%-14s %9s %6s %6s %6s %9s  %s\n", "Parameter", "Forest",
                      "SE", "For50", "For95", "OOB error", "Verdict");
        out << row;
        for (std::size_t c = 0; c < columns; ++c) {
            const CvMethodResult& r = results[c];
            std::snprintf(row, sizeof row, "%-14s %9s %6s %6s %6s %9s  %s\n", paramSlotNames[c],
                          number(r.error, "%.3f").c_str(), number(r.standardError, "%.3f").c_str(),
                          number(r.coverage50, "%.2f").c_str(), number(r.coverage95, "%.2f").c_str(),
                          number(forests[c].oobError, "%.3f").c_str(),
                          forestVerdict(forests[c]).c_str());
            out << row;
        }
    }
    out.flush();
    if (options.cvOutPath.empty()) return 0;
    std::string text = "sim\tparameter\ttrue\tforest\tforest_q025\tforest_q975\tforest_q25\tforest_q75\n";
    for (std::size_t k = 0; k < rows.size(); ++k)
        for (std::size_t c = 0; c < columns; ++c) {
            text += std::to_string(table.simOf(rows[k])) + "\t" + paramSlotNames[c];
            const CvEstimate& e = estimates[c][k];
            for (double x : {truths[c][k], e.estimate, e.q025, e.q975, e.q25, e.q75})
                appendTableNumber(text += '\t', x);
            text += '\n';
        }
    return in.outputs->write(options.cvOutPath, text, err);
}
