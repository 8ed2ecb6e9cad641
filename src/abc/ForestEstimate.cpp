#include "abc/ForestEstimate.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

FeatureMatrix statisticFeatures(const ReferenceTable& table,
                                const std::vector<std::size_t>& columns) {
    FeatureMatrix x;
    x.rows = table.rows();
    x.cols = columns.size();
    x.values.reserve(x.rows * x.cols);
    for (std::size_t j : columns)
        x.values.insert(x.values.end(), table.stats[j].begin(), table.stats[j].end());
    return x;
}

std::vector<double> forestResponse(const ReferenceTable& table, std::size_t c,
                                   const TablePriors* priors) {
    std::vector<double> y = table.params[c];
    const bool logged = priors != nullptr && c < numbDrawnParams && (*priors)[c].logUniform;
    if (logged)
        for (double& v : y) v = std::log(v);
    return y;
}

ForestColumnResult fitColumnForest(const ReferenceTable& table, const FeatureMatrix& features,
                                   std::size_t c, const TablePriors* priors,
                                   const std::vector<std::vector<double>>& points,
                                   const std::vector<std::size_t>& oobRows,
                                   const ForestSettings& settings) {
    const std::vector<double> y = forestResponse(table, c, priors);
    const RegressionForest forest(features, y, settings);
    ForestColumnResult result;
    for (const std::vector<double>& point : points)
        result.weights.push_back(forest.posteriorWeights(point));
    result.importance = forest.importance();

    // The error of the out-of-bag predictions relative to the spread of the
    // response, over the rows that have one.
    const std::vector<double>& oob = forest.oobPredictions();
    double mean = 0.0;
    std::size_t n = 0;
    for (std::size_t i = 0; i < y.size(); ++i)
        if (!std::isnan(oob[i])) mean += y[i], ++n;
    mean /= static_cast<double>(n);
    double squaredError = 0.0, spread = 0.0;
    for (std::size_t i = 0; i < y.size(); ++i)
        if (!std::isnan(oob[i])) {
            squaredError += (oob[i] - y[i]) * (oob[i] - y[i]);
            spread += (y[i] - mean) * (y[i] - mean);
        }
    result.oobError = n > 0 && spread > 0.0 ? squaredError / spread
                                            : std::numeric_limits<double>::quiet_NaN();

    // Only the few rows that share a leaf with the pseudo-observed row carry
    // weight: summarise those.
    std::vector<double> values, weights;
    for (std::size_t row : oobRows) {
        const std::vector<double> w = forest.oobWeights(row);
        values.clear();
        weights.clear();
        for (std::size_t i = 0; i < w.size(); ++i)
            if (w[i] > 0.0) values.push_back(table.params[c][i]), weights.push_back(w[i]);
        result.oobEstimates.push_back(posteriorOf(values, weights));
    }
    return result;
}

std::vector<std::size_t> mostImportant(const std::vector<double>& importance, std::size_t count) {
    std::vector<std::size_t> order(importance.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return importance[a] > importance[b]; });
    order.resize(std::min(count, order.size()));
    return order;
}
