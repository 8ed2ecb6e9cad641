#include "study/ForestAnalysis.h"

#include <cmath>
#include <limits>

#include "abc/Abc.h"
#include "abc/ColumnPriors.h"
#include "abc/CrossValidation.h"
#include "abc/ForestDefaults.h"

ForestAnalysis analyseByForests(const ReferenceTable& table, const TablePriors* priors,
                                const ParameterPrior* gsmP,
                                const std::array<double, numbTableStats>& observed, int trees,
                                int threads, unsigned long seed,
                                const std::function<void()>& progress) {
    ForestAnalysis a;
    if (table.rows() < forestMinimumRows) {
        a.error = std::to_string(table.rows()) + " simulations are too few for a forest, which needs at least " +
                  std::to_string(forestMinimumRows);
        return a;
    }
    const StatisticChoice choice = chooseForestStatistics(table, observed, {});
    a.warnings = choice.warnings;
    if (!choice.error.empty()) {
        a.error = choice.error;
        return a;
    }
    a.statistics = choice.columns;
    ForestSettings settings = forestSettingsFor(trees, threads, seed, choice.columns.size(), 5);
    settings.treeGrown = progress;
    const FeatureMatrix features = statisticFeatures(table, choice.columns);
    try {
        for (std::size_t c = 0; c < table.numbParams(); ++c)
            a.forests[c] = growColumnForest(table, features, c, priors, settings);
    } catch (const std::exception& e) {
        a.error = std::string("the forest cannot be grown: ") + e.what();
        return a;
    }
    const auto columnPriorList = columnPriors(priors, gsmP);
    std::vector<double> point;
    for (std::size_t j : choice.columns) point.push_back(observed[j]);
    for (std::size_t c = 0; c < table.numbParams(); ++c) {
        a.weights[c] = a.forests[c].forest->posteriorWeights(point);
        a.summaries.push_back(summariseColumn(
            c, table.params[c], a.weights[c],
            columnPriorList[c].known ? &columnPriorList[c] : nullptr));
    }
    return a;
}

std::string columnVerdict(const ColumnForest& forest) {
    if (forest.fixed) return "fixed";
    std::string word = verdict(forest.oobError, 0.0);  // "informed by the data", ...
    const std::string tail = " by the data";
    if (word.size() > tail.size() && word.compare(word.size() - tail.size(), tail.size(), tail) == 0)
        word.resize(word.size() - tail.size());
    return word;
}

Coverage outOfBagCoverage(const ColumnForest& forest, const ReferenceTable& table, std::size_t c,
                          const std::vector<std::size_t>& rows) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    if (forest.fixed || rows.empty()) return {nan, nan};
    const std::vector<CvEstimate> estimates = columnOobEstimates(*forest.forest, table, c, rows);
    std::size_t in50 = 0, in95 = 0;
    for (std::size_t k = 0; k < rows.size(); ++k) {
        const double truth = table.params[c][rows[k]];
        in50 += estimates[k].q25 <= truth && truth <= estimates[k].q75;
        in95 += estimates[k].q025 <= truth && truth <= estimates[k].q975;
    }
    return {static_cast<double>(in50) / rows.size(), static_cast<double>(in95) / rows.size()};
}

ReferenceTable firstRows(const ReferenceTable& table, std::size_t rows) {
    ReferenceTable half;
    rows = std::min(rows, table.rows());
    half.sim.assign(table.sim.begin(), table.sim.begin() + std::min(rows, table.sim.size()));
    half.hasGsmP = table.hasGsmP;
    half.numbStats = table.numbStats;
    for (std::size_t c = 0; c < table.numbParams(); ++c)
        half.params[c].assign(table.params[c].begin(), table.params[c].begin() + rows);
    for (std::size_t j = 0; j < numbTableStats; ++j)
        half.stats[j].assign(table.stats[j].begin(), table.stats[j].begin() + rows);
    return half;
}
