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

ColumnForest growColumnForest(const ReferenceTable& table, const FeatureMatrix& features,
                              std::size_t c, const TablePriors* priors,
                              const ForestSettings& settings) {
    const std::vector<double> y = forestResponse(table, c, priors);
    ColumnForest result;
    result.forest = std::make_unique<RegressionForest>(features, y, settings);
    const RegressionForest& forest = *result.forest;
    const std::vector<double>& column = table.params[c];
    result.fixed = std::all_of(column.begin(), column.end(),
                               [&](double v) { return v == column.front(); });

    // The error of the out-of-bag predictions relative to the spread of the
    // response, over the rows that have one. A fixed column has no spread,
    // though its mean, summed in floating point, may differ from its value.
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
    result.oobError = n > 0 && spread > 0.0 && !result.fixed
                          ? squaredError / spread
                          : std::numeric_limits<double>::quiet_NaN();
    return result;
}

std::vector<CvEstimate> columnOobEstimates(const RegressionForest& forest,
                                           const ReferenceTable& table, std::size_t c,
                                           const std::vector<std::size_t>& rows) {
    // Only the few rows that share a leaf with the pseudo-observed row carry
    // weight: summarise those.
    std::vector<CvEstimate> estimates;
    std::vector<double> values, weights;
    for (std::size_t row : rows) {
        const std::vector<double> w = forest.oobWeights(row);
        values.clear();
        weights.clear();
        for (std::size_t i = 0; i < w.size(); ++i)
            if (w[i] > 0.0) values.push_back(table.params[c][i]), weights.push_back(w[i]);
        estimates.push_back(posteriorOf(values, weights));
    }
    return estimates;
}

std::vector<std::size_t> mostImportant(const std::vector<double>& importance, std::size_t count) {
    std::vector<std::size_t> order(importance.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return importance[a] > importance[b]; });
    std::size_t positive = 0;
    while (positive < order.size() && importance[order[positive]] > 0.0) ++positive;
    order.resize(std::min(count, positive));
    return order;
}
