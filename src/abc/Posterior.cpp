#include "abc/Posterior.h"

#include <algorithm>

#include "abc/Mode.h"
#include "abc/Stats.h"
#include "sim/Columns.h"
#include "sim/PriorBounds.h"
#include "sim/SimulationTable.h"

std::vector<double> kernelWeights(const std::vector<ResultsRow>& rows, double h) {
    std::vector<double> weights;
    weights.reserve(rows.size());
    for (const ResultsRow& row : rows) weights.push_back(epanechnikovWeight(row.ds, h));
    return weights;
}

double largestDistance(const std::vector<ResultsRow>& rows) {
    double largest = 0.0;
    for (const ResultsRow& row : rows) largest = std::max(largest, row.ds);
    return largest;
}

ColumnSummary summariseColumn(std::size_t c, const std::vector<double>& column,
                              const std::vector<double>& weights, const ColumnPrior* prior) {
    ColumnSummary s;
    s.name = paramSlotNames[c];
    s.n = static_cast<std::size_t>(
        std::count_if(weights.begin(), weights.end(), [](double w) { return w > 0.0; }));
    s.ess = effectiveSize(weights);
    s.mean = weightedMean(column, weights);
    s.sd = weightedSd(column, weights);
    s.q025 = weightedQuantile(column, weights, 0.025);
    s.q25 = weightedQuantile(column, weights, 0.25);
    s.median = weightedQuantile(column, weights, 0.5);
    s.q75 = weightedQuantile(column, weights, 0.75);
    s.q975 = weightedQuantile(column, weights, 0.975);
    if (prior != nullptr) s.prior = *prior;
    // FracSueMono is a share of loci in [0, 1]: always linear.
    const bool isShare = c == fracSueMonoColumn;
    const bool allowLog = !isShare && (!s.prior.known || s.prior.logScale);
    s.histogram = makeHistogram(column, weights, allowLog, s.prior.known);
    s.logScale = s.histogram.logScale;
    if (isShare) {
        s.shares = valueShares(column, weights);
        s.mode = mostFrequentValue(s.shares);
    } else {
        s.mode = densityMode(column, weights, s.logScale);
    }
    return s;
}

std::vector<ColumnSummary> summariseColumns(
    const std::vector<ResultsRow>& rows, const std::vector<double>& weights,
    const std::array<ColumnPrior, numbParamColumns>* priors, bool withGsmP,
    const ColumnPrior* gsmP) {
    std::vector<ColumnSummary> summaries;
    std::vector<double> column(rows.size());
    for (std::size_t c = 0; c < numbParamColumns; ++c) {
        for (std::size_t i = 0; i < rows.size(); ++i) column[i] = rows[i].values[c];
        summaries.push_back(
            summariseColumn(c, column, weights, priors != nullptr ? &(*priors)[c] : nullptr));
    }
    if (withGsmP) {
        for (std::size_t i = 0; i < rows.size(); ++i) column[i] = rows[i].gsmP;
        summaries.push_back(summariseColumn(gsmPSlot, column, weights, gsmP));
    }
    return summaries;
}
