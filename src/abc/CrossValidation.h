#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "abc/Abc.h"
#include "sim/Columns.h"

// Cross-validation of the estimation on the table itself: some simulations
// serve in turn as pseudo-observed data, each is estimated from all the other
// rows, and the estimates are compared with the parameters that really made
// them. It tells how well the chosen statistics can estimate each parameter,
// and whether the posterior's credible intervals can be trusted.

// The estimates of one pseudo-observed row for one parameter and method.
struct CvEstimate {
    double estimate = 0.0;                                // posterior mean
    double q025 = 0.0, q25 = 0.0, q75 = 0.0, q975 = 0.0;  // posterior quantiles
};

// One method's cross-validation of one parameter.
struct CvMethodResult {
    // sum (estimate - true)^2 / sum (true - mean true)^2 over the N rows; NaN
    // when the true values do not vary.
    double error = 0.0;
    // Its standard error by the delta method for a ratio of means:
    // sqrt(sum (a_i - E b_i)^2 / (N (N - 1))) / mean b, with a_i the squared
    // error and b_i the squared deviation of row i, E the error.
    double standardError = 0.0;
    // Shares of the rows whose true value lies inside the central 50 % and 95 %
    // posterior intervals (quantiles 0.25-0.75 and 0.025-0.975, ends included).
    double coverage50 = 0.0;
    double coverage95 = 0.0;
};

// The estimate and quantiles of one pseudo-observed row from its weighted
// posterior sample.
CvEstimate posteriorOf(const std::vector<double>& values, const std::vector<double>& weights);

// The prediction error, its standard error and the coverages of `estimates`
// against `truths` (same order and length, at least 1).
CvMethodResult assess(const std::vector<CvEstimate>& estimates, const std::vector<double>& truths);

struct CrossValidation {
    std::vector<std::size_t> rows;  // the pseudo-observed rows, in drawing order
    // Per parameter, for plain rejection and for the chosen method (for
    // FracSueMono, which is never adjusted, its weighted rejection sample).
    std::array<CvMethodResult, numbParamSlots> rejection{};
    std::array<CvMethodResult, numbParamSlots> adjusted{};
    // Per parameter and pseudo-observed row (in `rows` order). Every array
    // has a slot per column of paramSlotNames: GsmP's is filled only for a
    // table that holds it.
    std::array<std::vector<double>, numbParamSlots> truths;
    std::array<std::vector<CvEstimate>, numbParamSlots> rejectionEstimates, adjustedEstimates;
    std::size_t statisticsLeftOut = 0;  // pseudo-observed values that were not finite
    // Pseudo-observed rows whose regression left out statistics constant or
    // collinear with others among their accepted rows.
    std::size_t regressionsReduced = 0;
    std::string error;                  // bad count, or an estimate failed (naming its row)
    bool regressionFailed = false;      // the failed estimate got as far as the regression
};

// `count` distinct rows of `rows`, drawn with GSL's mt19937 seeded with
// `seed`, in a random order. 1 <= count <= rows.
std::vector<std::size_t> drawPseudoObservedRows(std::size_t rows, std::size_t count,
                                                unsigned long seed);

// Draws `count` distinct rows with a Mersenne Twister generator (GSL's
// mt19937) seeded with `seed`, so that a seed always picks the same rows of
// the same table, and estimates each with the statistics and scales of
// `choice` (scales computed once on the whole table: one row more or less
// does not move a median absolute deviation perceptibly) twice: by plain
// rejection, and as `settings` say (its method is the second one).
// 1 <= count < table.rows().
CrossValidation crossValidate(const ReferenceTable& table, const StatisticChoice& choice,
                              std::size_t count, unsigned long seed,
                              const EstimationSettings& settings);

// Whether a prediction error says the data inform the parameter, allowing
// for its standard error: "informed" when the error plus two standard errors
// lies below 0.5, "not informed" when the error is 0.8 or more, "weakly
// informed" otherwise.
std::string verdict(double predictionError, double standardError);
