#include "abc/ForestChoice.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace {

// `base` with the columns of `extra` appended (same rows).
FeatureMatrix appendColumns(FeatureMatrix base, const FeatureMatrix& extra) {
    base.values.insert(base.values.end(), extra.values.begin(), extra.values.end());
    base.cols += extra.cols;
    return base;
}

}  // namespace

ForestChoice chooseModelByForest(const PooledTables& pooled,
                                 const std::vector<std::size_t>& columns,
                                 const std::vector<std::vector<double>>& points,
                                 const ForestChoiceSettings& settings) {
    ForestChoice result;
    const std::size_t models = pooled.sizes.size();
    if (models < 2) {
        result.error = "model choice needs at least two models";
        return result;
    }
    // The rows each model contributes.
    std::size_t smallest = *std::min_element(pooled.sizes.begin(), pooled.sizes.end());
    std::vector<std::size_t> rows;
    std::vector<int> labels;
    std::size_t start = 0;
    for (std::size_t m = 0; m < models; ++m) {
        const std::size_t take = settings.equalPriors ? smallest : pooled.sizes[m];
        for (std::size_t i = 0; i < take; ++i) {
            rows.push_back(start + i);
            labels.push_back(static_cast<int>(m));
        }
        result.rowsUsed.push_back(take);
        start += pooled.sizes[m];
    }
    FeatureMatrix x;
    x.rows = rows.size();
    x.cols = columns.size();
    for (std::size_t j : columns)
        for (std::size_t r : rows) x.values.push_back(pooled.table.stats[j][r]);

    std::vector<std::vector<double>> features = points;
    try {
        if (settings.lda) {
            result.axes = ldaAxes(x, labels, static_cast<int>(models));
            result.axisScores = result.axes.projectRows(x);
            for (std::size_t p = 0; p < points.size(); ++p) {
                result.pointScores.push_back(result.axes.project(points[p]));
                features[p].insert(features[p].end(), result.pointScores.back().begin(),
                                   result.pointScores.back().end());
            }
            x = appendColumns(std::move(x), result.axisScores);
        }
        for (int label : labels) result.model.push_back(static_cast<std::size_t>(label));

        const ClassificationForest votes(x, labels, static_cast<int>(models),
                                         settings.classification);
        result.priorErrorRate = votes.oobErrorRate();
        result.confusion = votes.oobConfusion();
        result.importance = votes.importance();

        // The out-of-bag misclassification indicator, regressed on the same
        // features: its prediction at a point is the probability that the
        // vote there is wrong.
        std::vector<double> wrong(x.rows);
        for (std::size_t i = 0; i < x.rows; ++i) {
            const int oob = votes.oobPredictions()[i];
            wrong[i] = oob < 0 ? 0.0 : (oob != labels[i] ? 1.0 : 0.0);
        }
        const RegressionForest error(x, wrong, settings.regression);
        for (const std::vector<double>& point : features) {
            result.votes.push_back(votes.voteShares(point));
            result.chosen.push_back(static_cast<std::size_t>(votes.predict(point)));
            result.probability.push_back(std::clamp(1.0 - error.predict(point), 0.0, 1.0));
        }
    } catch (const std::exception& e) {
        result = ForestChoice{};
        result.error = e.what();
    }
    return result;
}
