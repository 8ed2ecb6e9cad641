#include "abc/GoodnessOfFit.h"

#include <cmath>
#include <limits>

#include "abc/CrossValidation.h"
#include "sim/Columns.h"

namespace {

constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();

}  // namespace

double fitScore(const ReferenceTable& table, const StatisticChoice& choice,
                const std::vector<double>& observed, double tolerance, std::size_t excluded) {
    const ComparedStatistics compared = comparedStatistics(choice, observed);
    const std::vector<std::size_t>& columns = compared.columns;
    const std::vector<double>& used = compared.observed;
    const std::vector<double>& scale = compared.scale;
    if (columns.empty()) return notANumber;
    std::vector<double> distances = scaledDistances(table, columns, used, scale);
    if (excluded < distances.size()) distances[excluded] = std::numeric_limits<double>::infinity();
    const Acceptance a = acceptNearest(distances, tolerance);
    if (a.distances.empty()) return notANumber;
    double sum = 0.0;
    for (double d : a.distances) sum += d;
    return sum / static_cast<double>(a.distances.size());
}

GoodnessOfFit goodnessOfFit(const ReferenceTable& table, const StatisticChoice& choice,
                            std::size_t count, unsigned long seed, double tolerance) {
    GoodnessOfFit fit;
    if (count < 1 || count >= table.rows()) {
        fit.error = "a goodness-of-fit test on " + std::to_string(count) +
                    " simulations needs a table of more rows than that; it has " +
                    std::to_string(table.rows());
        return fit;
    }
    fit.observedScore = fitScore(table, choice, choice.observed, tolerance, table.rows());
    if (std::isnan(fit.observedScore)) {
        fit.error = "no simulation has every chosen statistic defined";
        return fit;
    }
    fit.rows = drawPseudoObservedRows(table.rows(), count, seed);
    std::vector<double> observed(choice.columns.size());
    std::size_t above = 0, scored = 0;
    for (std::size_t row : fit.rows) {
        for (std::size_t k = 0; k < choice.columns.size(); ++k) {
            observed[k] = table.stats[choice.columns[k]][row];
            fit.statisticsLeftOut += std::isfinite(observed[k]) ? 0 : 1;
        }
        const double score = fitScore(table, choice, observed, tolerance, row);
        fit.nullScores.push_back(score);
        if (std::isnan(score)) continue;
        ++scored;
        above += score >= fit.observedScore ? 1 : 0;
    }
    if (scored == 0) {
        fit.error = "no pseudo-observed simulation could be scored";
        return fit;
    }
    fit.pValue = static_cast<double>(above) / static_cast<double>(scored);
    return fit;
}

std::array<double, numbTableStats> priorPredictiveQuantiles(
    const ReferenceTable& table, const std::array<double, numbTableStats>& observed) {
    std::array<double, numbTableStats> quantiles;
    for (std::size_t j = 0; j < numbTableStats; ++j) {
        double below = 0, equal = 0, finite = 0;
        for (double x : table.stats[j]) {
            if (!std::isfinite(x)) continue;
            ++finite;
            below += x < observed[j] ? 1 : 0;
            equal += x == observed[j] ? 1 : 0;
        }
        quantiles[j] =
            std::isfinite(observed[j]) && finite > 0 ? (below + equal / 2) / finite : notANumber;
    }
    return quantiles;
}
