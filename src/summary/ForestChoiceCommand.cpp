// `foundabc-summary --choose A B ... --method forest`: model choice by a
// classification forest, with the calibrated probability of the chosen model.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <thread>

#include "abc/ForestChoice.h"
#include "abc/ForestEstimate.h"
#include "base/Counted.h"
#include "io/ObservedFile.h"
#include "plot/ChoicePlot.h"
#include "plot/Plot.h"
#include "plot/PlotFormat.h"
#include "summary/ChooseShared.h"
#include "base/ForestProgress.h"
#include "summary/Options.h"
#include "summary/OutputCheck.h"

int forestChoice(const ChooseOptions& o, const std::vector<std::string>& names,
                 const PooledTables& pooled, const StatisticChoice& choice,
                 const std::array<double, numbTableStats>& observed, std::ostream& out,
                 std::ostream& err) {
    const auto fail = [&](const std::string& message) {
        err << "foundabc-summary: " << message << "\n";
        return 1;
    };
    // The picture is checked against every input before anything is printed.
    OutputFiles outputs;
    std::vector<NamedFile> inputs;
    for (const std::string& table : o.tables)
        for (const NamedFile& file : tableInputs(table)) inputs.push_back(file);
    if (!o.observedPath.empty()) inputs.push_back({"observed statistics", o.observedPath});
    if (!outputs.open({{"--plot", o.plotPath, "the picture"}}, inputs, err)) return 1;
    std::vector<std::array<double, numbTableStats>> points = {observed};
    if (!o.observedPath.empty()) {
        ObservedRead read = readObservedStats(o.observedPath, true);
        if (!read.error.empty()) return fail(read.error);
        if (!read.note.empty()) err << "foundabc-summary: warning: " << read.note << "\n";
        points = read.points;
        if (points.size() > 1 && !o.plotPath.empty())
            return fail(o.observedPath + ": " + std::to_string(points.size()) +
                        " observed points; --plot takes one");
    }
    std::vector<std::vector<double>> features;
    for (const auto& p : points) {
        features.emplace_back();
        for (std::size_t j : choice.columns) features.back().push_back(p[j]);
    }
    const std::size_t axes = o.lda ? names.size() - 1 : 0;
    ForestChoiceSettings settings;
    settings.classification = forestSettingsFor(o.trees, o.threads, o.seed, choice.columns.size() + axes, 1);
    settings.regression = forestSettingsFor(o.trees, o.threads, o.seed, choice.columns.size() + axes, 5);
    settings.lda = o.lda;
    settings.equalPriors = o.equalPriors;
    // The classification forest and the regression forest of its errors,
    // counted together on a terminal.
    ForestProgress progress(static_cast<long>(settings.classification.trees) +
                                settings.regression.trees,
                            &err == &std::cerr ? stderr : nullptr);
    settings.classification.treeGrown = settings.regression.treeGrown = progress.callback();
    const ForestChoice c = chooseModelByForest(pooled, choice.columns, features, settings);
    progress.clear();
    if (!c.error.empty()) return fail("the forest cannot be grown: " + c.error);

    std::size_t used = 0;
    for (std::size_t n : c.rowsUsed) used += n;
    std::vector<std::string> featureNames;
    for (std::size_t j : choice.columns) featureNames.push_back(tableStatNames[j]);
    for (std::size_t a = 0; a < axes; ++a) featureNames.push_back("LD" + std::to_string(a + 1));
    std::string important;
    for (std::size_t f : mostImportant(c.importance, 5))
        important += (important.empty() ? "" : " ") + featureNames[f];
    double largestPrior = 0.0;
    for (std::size_t n : c.rowsUsed)
        largestPrior = std::max(largestPrior, static_cast<double>(n) / used);
    const auto verdictAt = [&](std::size_t p) {
        return choiceVerdict(largestPrior, c.priorErrorRate, used, c.probability[p]);
    };

    if (o.tsv) {
        out << (points.size() > 1 ? "point\t" : "")
            << "model\tsimulations\tprior\tvotes\tchosen\tposterior\tprior_error_rate\tverdict\n";
        for (std::size_t p = 0; p < points.size(); ++p)
            for (std::size_t m = 0; m < names.size(); ++m) {
                if (points.size() > 1) out << p + 1 << "\t";
                const bool chosen = c.chosen[p] == m;
                out << names[m] << "\t" << c.rowsUsed[m] << "\t"
                    << choiceNumber(static_cast<double>(c.rowsUsed[m]) / used, "%.9g") << "\t"
                    << choiceNumber(c.votes[p][m], "%.9g") << "\t" << (chosen ? 1 : 0) << "\t"
                    << (chosen ? choiceNumber(c.probability[p], "%.9g") : "NA") << "\t"
                    << choiceNumber(c.priorErrorRate, "%.9g") << "\t"
                    << verdictWord(verdictAt(p).kind) << "\n";
            }
    } else {
        std::string statistics;
        for (std::size_t j : choice.columns) statistics += std::string(" ") + tableStatNames[j];
        out << "model choice: " << names.size() << " models, " << used
            << " simulations, every one used (a forest needs no tolerance)\nstatistics:"
            << statistics
            << (axes > 0 ? "; and the " + std::to_string(axes) +
                               " linear discriminant axes of the pooled table"
                         : std::string())
            << "\nmethod: classification forest ("
            << counted(static_cast<std::size_t>(settings.classification.trees), "tree") << ", "
            << counted(static_cast<std::size_t>(settings.classification.mtry), "feature")
            << " tried per split, seed " << o.seed
            << "); the probability of the chosen model from a regression forest of the "
               "out-of-bag errors\npriors: "
            << (o.equalPriors ? "equal (--equal-priors: the first " +
                                    std::to_string(c.rowsUsed[0]) + " simulations of each model)"
                              : std::string("the models' shares of the simulations"))
            << "\n";
        for (std::size_t p = 0; p < points.size(); ++p) {
            if (points.size() > 1)
                out << "\nobserved point " << p + 1 << " of " << points.size() << "\n";
            char line[256];
            std::snprintf(line, sizeof line, "\n%-14s %12s %8s %8s\n", "Model", "Simulations",
                          "Prior", "Votes");
            out << line;
            for (std::size_t m = 0; m < names.size(); ++m) {
                std::snprintf(line, sizeof line, "%-14s %12zu %8.3f %8.3f%s\n", names[m].c_str(),
                              c.rowsUsed[m], static_cast<double>(c.rowsUsed[m]) / used,
                              c.votes[p][m], c.chosen[p] == m ? "  chosen" : "");
                out << line;
            }
            out << "\nChosen: " << names[c.chosen[p]] << ", posterior probability "
                << choiceNumber(c.probability[p], "%.3f")
                << " (the votes of the trees are not probabilities).\nVerdict: "
                << verdictText(verdictAt(p), names[c.chosen[p]], c.priorErrorRate,
                               c.probability[p])
                << ".\n";
        }
        out << "\nprior error rate: " << choiceNumber(c.priorErrorRate, "%.3f")
            << ", the share of the simulations whose out-of-bag vote chose another model\n"
               "out-of-bag confusion matrix (rows: the true model; columns: the model chosen)\n";
        std::vector<std::vector<std::string>> counts(names.size());
        for (std::size_t i = 0; i < names.size(); ++i)
            for (std::size_t k = 0; k < names.size(); ++k)
                counts[i].push_back(std::to_string(c.confusion[i][k]));
        printMatrix(out, names, counts, false);
        out << "most important features (by the decrease of Gini impurity): "
            << (important.empty() ? "none (no split decreased the impurity)" : important) << "\n";
    }
    out.flush();
    if (o.plotPath.empty()) return 0;
    const std::string title = "model choice: " + names[c.chosen[0]] + " chosen, probability " +
                              choiceNumber(c.probability[0], "%.3f");
    const auto scriptFor = [&](const std::string& output) {
        return choicePlotScript(c.axisScores, c.model, c.pointScores.empty()
                                                           ? std::vector<double>()
                                                           : c.pointScores[0],
                                names, output, title, plotFormatFor(o.plotPath));
    };
    if (drawPlotAndReport(scriptFor, outputs.file(o.plotPath), o.plotPath, o.gnuplotProgram,
                          err) != 0)
        return 1;
    return outputs.commitAll(err);
}
