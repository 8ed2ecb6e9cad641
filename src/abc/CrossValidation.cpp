#include "abc/CrossValidation.h"

#include <gsl/gsl_errno.h>
#include <gsl/gsl_randist.h>
#include <gsl/gsl_rng.h>

#include <cmath>
#include <limits>
#include <memory>
#include <new>
#include <stdexcept>

#include "abc/Stats.h"
#include "sim/Columns.h"

namespace {

constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();

struct RngFree {
    void operator()(gsl_rng* r) const { gsl_rng_free(r); }
};

}  // namespace

CvEstimate posteriorOf(const std::vector<double>& values, const std::vector<double>& weights) {
    return {weightedMean(values, weights), weightedQuantile(values, weights, 0.025),
            weightedQuantile(values, weights, 0.25), weightedQuantile(values, weights, 0.75),
            weightedQuantile(values, weights, 0.975)};
}

CvMethodResult assess(const std::vector<CvEstimate>& estimates, const std::vector<double>& truths) {
    const std::size_t n = truths.size();
    double mean = 0.0;
    for (double t : truths) mean += t;
    mean /= static_cast<double>(n);
    std::vector<double> a(n), b(n);
    double sumA = 0.0, sumB = 0.0;
    CvMethodResult result;
    for (std::size_t i = 0; i < n; ++i) {
        const CvEstimate& e = estimates[i];
        const double t = truths[i];
        a[i] = (e.estimate - t) * (e.estimate - t);
        b[i] = (t - mean) * (t - mean);
        sumA += a[i];
        sumB += b[i];
        result.coverage50 += e.q25 <= t && t <= e.q75 ? 1.0 : 0.0;
        result.coverage95 += e.q025 <= t && t <= e.q975 ? 1.0 : 0.0;
    }
    result.coverage50 /= static_cast<double>(n);
    result.coverage95 /= static_cast<double>(n);
    if (!(sumB > 0.0)) {
        result.error = result.standardError = notANumber;
        return result;
    }
    result.error = sumA / sumB;
    double spread = 0.0;
    for (std::size_t i = 0; i < n; ++i)
        spread += (a[i] - result.error * b[i]) * (a[i] - result.error * b[i]);
    const double N = static_cast<double>(n);
    result.standardError = n > 1 ? std::sqrt(spread / (N * (N - 1))) / (sumB / N) : notANumber;
    return result;
}

std::vector<std::size_t> drawPseudoObservedRows(std::size_t rows, std::size_t count,
                                                unsigned long seed) {
    std::unique_ptr<gsl_rng, RngFree> rng(gsl_rng_alloc(gsl_rng_mt19937));
    if (!rng) throw std::bad_alloc();
    gsl_rng_set(rng.get(), seed);
    // gsl_ran_choose keeps table order; the rows are then shuffled so that the
    // first k of them are a random choice for any k.
    std::vector<std::size_t> all(rows), chosen(count);
    for (std::size_t i = 0; i < rows; ++i) all[i] = i;
    // Its only failure, more rows asked for than there are, breaks the
    // contract above.
    if (gsl_ran_choose(rng.get(), chosen.data(), count, all.data(), rows, sizeof(std::size_t)) !=
        GSL_SUCCESS)
        throw std::invalid_argument("drawPseudoObservedRows: more rows asked for than there are");
    gsl_ran_shuffle(rng.get(), chosen.data(), count, sizeof(std::size_t));
    return chosen;
}

CrossValidation crossValidate(const ReferenceTable& table, const StatisticChoice& choice,
                              std::size_t count, unsigned long seed,
                              const EstimationSettings& settings) {
    CrossValidation cv;
    const std::size_t rows = table.rows();
    if (count < 1 || count >= rows) {
        cv.error = "cross-validation on " + std::to_string(count) +
                   " simulations needs a table of more rows than that; it has " +
                   std::to_string(rows);
        return cv;
    }
    cv.rows = drawPseudoObservedRows(rows, count, seed);

    std::vector<double> observed(choice.columns.size());
    for (std::size_t row : cv.rows) {
        for (std::size_t k = 0; k < choice.columns.size(); ++k) {
            observed[k] = table.stats[choice.columns[k]][row];
            cv.statisticsLeftOut += std::isfinite(observed[k]) ? 0 : 1;
        }
        // Both methods accept the same rows: plain rejection is the accepted
        // values of the estimate, unweighted.
        const AbcEstimate e = estimateParameters(table, choice, observed, settings, row);
        if (!e.error.empty()) {
            cv.regressionFailed = e.acceptance.positive > 0;
            cv.error =
                "pseudo-observed row " + std::to_string(row + 1) + " of the table: " + e.error;
            return cv;
        }
        cv.regressionsReduced += e.warnings.empty() ? 0 : 1;
        const std::vector<double> unweighted(e.acceptance.rows.size(), 1.0);
        const auto& adjusted =
            settings.method == AdjustMethod::loclinear ? e.adjusted : e.rejection;
        for (std::size_t c = 0; c < table.numbParams(); ++c) {
            cv.truths[c].push_back(table.params[c][row]);
            cv.rejectionEstimates[c].push_back(posteriorOf(e.rejection[c], unweighted));
            cv.adjustedEstimates[c].push_back(posteriorOf(adjusted[c], e.weights));
        }
    }
    for (std::size_t c = 0; c < table.numbParams(); ++c) {
        cv.rejection[c] = assess(cv.rejectionEstimates[c], cv.truths[c]);
        cv.adjusted[c] = assess(cv.adjustedEstimates[c], cv.truths[c]);
    }
    return cv;
}

std::string verdict(double predictionError, double standardError) {
    if (std::isnan(predictionError)) return "cannot tell (the parameter does not vary)";
    if (predictionError + 2 * standardError < 0.5) return "informed by the data";
    if (predictionError >= 0.8) return "not informed by the data";
    return "weakly informed by the data";
}
