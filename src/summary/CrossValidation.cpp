#include "summary/CrossValidation.h"

#include <gsl/gsl_randist.h>
#include <gsl/gsl_rng.h>

#include <cmath>
#include <limits>
#include <memory>

#include "summary/Stats.h"

namespace {

struct RngFree {
    void operator()(gsl_rng* r) const { gsl_rng_free(r); }
};

// sum (e - t)^2 / sum (t - mean t)^2.
double predictionError(const std::vector<double>& estimates, const std::vector<double>& truths) {
    double mean = 0.0;
    for (double t : truths) mean += t;
    mean /= static_cast<double>(truths.size());
    double error = 0.0, spread = 0.0;
    for (std::size_t i = 0; i < truths.size(); ++i) {
        error += (estimates[i] - truths[i]) * (estimates[i] - truths[i]);
        spread += (truths[i] - mean) * (truths[i] - mean);
    }
    return spread > 0.0 ? error / spread : std::numeric_limits<double>::quiet_NaN();
}

}  // namespace

CrossValidation crossValidate(const ReferenceTable& table, const StatisticChoice& choice,
                              std::size_t count, unsigned long seed, double tolerance) {
    CrossValidation cv;
    const std::size_t rows = table.rows();
    if (count < 1 || count >= rows) {
        cv.error = "cross-validation on " + std::to_string(count) +
                   " simulations needs a table of more rows than that; it has " +
                   std::to_string(rows);
        return cv;
    }
    std::unique_ptr<gsl_rng, RngFree> rng(gsl_rng_alloc(gsl_rng_mt19937));
    gsl_rng_set(rng.get(), seed);
    // gsl_ran_choose keeps table order; the rows are then shuffled so that the
    // first k of them are a random choice for any k.
    std::vector<std::size_t> all(rows);
    for (std::size_t i = 0; i < rows; ++i) all[i] = i;
    cv.rows.resize(count);
    gsl_ran_choose(rng.get(), cv.rows.data(), count, all.data(), rows, sizeof(std::size_t));
    gsl_ran_shuffle(rng.get(), cv.rows.data(), count, sizeof(std::size_t));

    std::array<std::vector<double>, numbParamColumns> truths, rejection, loclinear;
    std::vector<double> observed(choice.columns.size());
    for (std::size_t row : cv.rows) {
        for (std::size_t k = 0; k < choice.columns.size(); ++k) {
            observed[k] = table.stats[choice.columns[k]][row];
            cv.statisticsLeftOut += std::isfinite(observed[k]) ? 0 : 1;
        }
        AbcEstimate e = estimateParameters(table, choice, observed, tolerance, true, row);
        if (!e.error.empty()) {
            cv.regressionFailed = e.acceptance.positive > 0;
            cv.error =
                "pseudo-observed row " + std::to_string(row + 1) + " of the table: " + e.error;
            return cv;
        }
        const std::vector<double>& w = e.acceptance.weights;
        for (std::size_t c = 0; c < numbParamColumns; ++c) {
            truths[c].push_back(table.params[c][row]);
            rejection[c].push_back(weightedMean(e.rejection[c], w));
            loclinear[c].push_back(weightedMean(e.adjusted[c], w));
        }
    }
    for (std::size_t c = 0; c < numbParamColumns; ++c) {
        cv.rejection[c] = predictionError(rejection[c], truths[c]);
        cv.loclinear[c] = predictionError(loclinear[c], truths[c]);
    }
    return cv;
}

std::string verdict(double predictionError) {
    if (std::isnan(predictionError)) return "cannot tell (the parameter does not vary)";
    if (predictionError < 0.5) return "informed by the data";
    if (predictionError < 0.8) return "weakly informed by the data";
    return "not informed by the data";
}
