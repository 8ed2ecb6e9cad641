// `foundabc-summary --table FILE --method forest`: the estimate by regression
// forests, one per column, and its out-of-bag cross-validation.

#include <cmath>
#include <cstdio>
#include <thread>

#include "abc/CrossValidation.h"
#include "abc/ForestEstimate.h"
#include "abc/Stats.h"
#include "base/Counted.h"
#include "io/SampleFile.h"
#include "io/TableFormat.h"
#include "plot/AbcPlot.h"
#include "plot/ImportancePlot.h"
#include "plot/Plot.h"
#include "plot/PlotFormat.h"
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

}  // namespace

int forestEstimate(const TableOptions& options, const Inputs& in, std::ostream& out,
                   std::ostream& err) {
    const ReferenceTable& table = in.table;
    const StatisticChoice& choice = in.choice;
    const FeatureMatrix features = statisticFeatures(table, choice.columns);
    const ForestSettings settings = forestSettings(options, choice.columns.size());
    std::vector<std::vector<double>> points;
    for (const auto& observed : in.points) {
        std::vector<double> point;
        for (std::size_t j : choice.columns) point.push_back(observed[j]);
        points.push_back(point);
    }
    const TablePriors* priors = in.hasPriors ? &in.priors : nullptr;
    std::array<ForestColumnResult, numbParamColumns> fits;
    try {
        for (std::size_t c = 0; c < numbParamColumns; ++c)
            fits[c] = fitColumnForest(table, features, c, priors, points, {}, settings);
    } catch (const std::exception& e) {
        return failWith(err, options.tablePath + ": the forest cannot be grown: " + e.what());
    }
    const auto columnPriorList = columnPriors(priors);

    for (std::size_t p = 0; p < points.size(); ++p) {
        std::vector<ColumnSummary> summaries;
        for (std::size_t c = 0; c < numbParamColumns; ++c)
            summaries.push_back(summariseColumn(
                c, table.params[c], fits[c].weights[p],
                columnPriorList[c].known ? &columnPriorList[c] : nullptr));
        if (options.tsv) {
            // The estimate's columns, then the out-of-bag error and the most
            // important statistics of each parameter.
            const std::string text = formatTsv(summaries, true);
            std::size_t start = 0, line = 0;
            for (std::size_t end; (end = text.find('\n', start)) != std::string::npos;
                 start = end + 1, ++line) {
                if (line == 0 && p > 0) continue;  // one header for every point
                if (points.size() > 1) out << (line == 0 ? "point\t" : std::to_string(p + 1) + "\t");
                out << text.substr(start, end - start);
                if (line == 0)
                    out << "\toob_error\timportant\n";
                else
                    out << "\t" << errorText(fits[line - 1].oobError, "%.9g") << "\t"
                        << importantList(fits[line - 1].importance, choice, ",") << "\n";
            }
            continue;
        }
        if (p == 0) {
            out << options.tablePath << ": " << table.rows()
                << " simulations, every one used (a forest needs no tolerance)\n";
            out << "statistics: " << statisticList(choice) << "\n";
            out << forestLine(settings) << "\n";
        }
        if (points.size() > 1) out << "\nobserved point " << p + 1 << " of " << points.size() << "\n";
        out << "\n" << formatTable(summaries, true);
        if (p + 1 == points.size()) {
            out << "\nout-of-bag prediction error: sum (prediction - true)^2 / sum (true - mean "
                   "true)^2 over the\nsimulations each tree left out; near 0: the statistics pin "
                   "the parameter down; near 1:\nthey tell no more than the prior. Most important "
                   "statistics: by the decrease of variance\nof their splits.\n\n";
            char row[256];
            std::snprintf(row, sizeof row, "%-14s %9s  %-27s %s\n", "Parameter", "OOB error",
                          "Verdict", "Most important statistics");
            out << row;
            for (std::size_t c = 0; c < numbParamColumns; ++c) {
                std::snprintf(row, sizeof row, "%-14s %9s  %-27s %s\n", paramColumnNames[c],
                              errorText(fits[c].oobError, "%.3f").c_str(),
                              verdict(fits[c].oobError, 0.0).c_str(),
                              importantList(fits[c].importance, choice, " ").c_str());
                out << row;
            }
        }
    }
    out.flush();

    // The sample and the picture belong to one observed point (checked when
    // the options are read): the first.
    std::vector<double> weights(table.rows(), 0.0);
    for (std::size_t c = 0; c < numbDrawnParams; ++c)
        for (std::size_t i = 0; i < table.rows(); ++i)
            weights[i] += fits[c].weights[0][i] / static_cast<double>(numbDrawnParams);
    if (!options.samplePath.empty()) {
        // A row's weight is its mean weight over the drawn parameters' forests:
        // rows of the table, so every one obeys the model, with weights that
        // give each parameter's posterior as a share of the mixture.
        std::vector<long> sims;
        std::array<std::vector<double>, numbParamColumns> values;
        std::vector<double> kept;
        for (std::size_t i = 0; i < table.rows(); ++i) {
            if (!(weights[i] > 0.0)) continue;
            sims.push_back(table.simOf(i));
            kept.push_back(weights[i]);
            for (std::size_t c = 0; c < numbParamColumns; ++c) values[c].push_back(table.params[c][i]);
        }
        std::vector<std::string> names = {"weight"};
        std::vector<const std::vector<double>*> columns = {&kept};
        for (std::size_t c = 0; c < numbParamColumns; ++c) {
            names.push_back(paramColumnNames[c]);
            columns.push_back(&values[c]);
        }
        if (writeSample(options, in, formatSample(sims, names, columns), err) != 0)
            return 1;
    }
    if (options.plotPath.empty()) return 0;
    std::vector<ColumnSummary> forest, mixture;
    for (std::size_t c = 0; c < numbParamColumns; ++c) {
        const ColumnPrior* prior = columnPriorList[c].known ? &columnPriorList[c] : nullptr;
        forest.push_back(summariseColumn(c, table.params[c], fits[c].weights[0], prior));
        // Plain rejection at the tolerance, the outline beside the forest.
        mixture.push_back(summariseColumn(c, table.params[c], weights, prior));
    }
    EstimationSettings rejection = in.settings;
    rejection.method = AdjustMethod::rejection;
    AbcEstimate plain = estimateParameters(table, choice, choice.observed, rejection, table.rows());
    std::vector<ColumnSummary> outline =
        plain.error.empty() ? summarise(plain.rejection, plain.weights, columnPriorList) : mixture;
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
    for (std::size_t c = 0; c < numbParamColumns; ++c) {
        parameters.push_back(paramColumnNames[c]);
        importance.push_back(fits[c].importance);
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
    const FeatureMatrix features = statisticFeatures(table, in.choice.columns);
    const ForestSettings settings = forestSettings(options, in.choice.columns.size());
    const TablePriors* priors = in.hasPriors ? &in.priors : nullptr;
    std::array<ForestColumnResult, numbParamColumns> fits;
    std::array<CvMethodResult, numbParamColumns> results;
    std::array<std::vector<double>, numbParamColumns> truths;
    try {
        for (std::size_t c = 0; c < numbParamColumns; ++c) {
            fits[c] = fitColumnForest(table, features, c, priors, {}, rows, settings);
            for (std::size_t r : rows) truths[c].push_back(table.params[c][r]);
            results[c] = assess(fits[c].oobEstimates, truths[c]);
        }
    } catch (const std::exception& e) {
        return failWith(err, options.tablePath + ": the forest cannot be grown: " + e.what());
    }
    const auto number = [&](double x, const char* format) {
        return errorText(x, options.tsv ? "%.9g" : format);
    };
    if (options.tsv) {
        out << "parameter\tforest\tforest_se\tforest_cover50\tforest_cover95\tverdict\n";
        for (std::size_t c = 0; c < numbParamColumns; ++c)
            out << paramColumnNames[c] << "\t" << number(results[c].error, "") << "\t"
                << number(results[c].standardError, "") << "\t"
                << number(results[c].coverage50, "") << "\t" << number(results[c].coverage95, "")
                << "\t" << verdict(results[c].error, results[c].standardError) << "\n";
    } else {
        out << options.tablePath << ": out-of-bag cross-validation on " << rows.size() << " of "
            << table.rows() << " simulations (seed " << options.seed << ")\n";
        out << "statistics: " << statisticList(in.choice) << "\n";
        out << forestLine(settings) << "\n";
        out << "each simulation is estimated by the trees that did not see it: no refitting\n";
        out << crossValidationLegend(rows.size());
        char row[256];
        std::snprintf(row, sizeof row, "%-14s %9s %6s %6s %6s  %s\n", "Parameter", "Forest", "SE",
                      "For50", "For95", "Verdict");
        out << row;
        for (std::size_t c = 0; c < numbParamColumns; ++c) {
            const CvMethodResult& r = results[c];
            std::snprintf(row, sizeof row, "%-14s %9s %6s %6s %6s  %s\n", paramColumnNames[c],
                          number(r.error, "%.3f").c_str(), number(r.standardError, "%.3f").c_str(),
                          number(r.coverage50, "%.2f").c_str(), number(r.coverage95, "%.2f").c_str(),
                          verdict(r.error, r.standardError).c_str());
            out << row;
        }
    }
    out.flush();
    if (options.cvOutPath.empty()) return 0;
    std::string text = "sim\tparameter\ttrue\tforest\tforest_q025\tforest_q975\n";
    for (std::size_t k = 0; k < rows.size(); ++k)
        for (std::size_t c = 0; c < numbParamColumns; ++c) {
            text += std::to_string(table.simOf(rows[k])) + "\t" + paramColumnNames[c];
            const CvEstimate& e = fits[c].oobEstimates[k];
            for (double x : {truths[c][k], e.estimate, e.q025, e.q975})
                appendTableNumber(text += '\t', x);
            text += '\n';
        }
    return in.outputs->write(options.cvOutPath, text, err);
}
