#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "summary/Abc.h"

// Cross-validation of the estimation on the table itself: some simulations
// serve in turn as pseudo-observed data, each is estimated from all the other
// rows, and the estimates are compared with the parameters that really made
// them. It tells how well the chosen statistics can estimate each parameter.

struct CrossValidation {
    std::vector<std::size_t> rows;  // the pseudo-observed rows, in drawing order
    // Per parameter: sum (estimate - true)^2 / sum (true - mean true)^2 over
    // the pseudo-observed rows, the estimate being the weighted posterior
    // mean; NaN when the true values do not vary. `loclinear` equals
    // `rejection` for a parameter that is not adjusted.
    std::array<double, numbParamColumns> rejection{};
    std::array<double, numbParamColumns> loclinear{};
    std::size_t statisticsLeftOut = 0;  // pseudo-observed values that were not finite
    std::string error;                  // bad count, or an estimate failed (naming its row)
    bool regressionFailed = false;      // the failed estimate got as far as the regression
};

// Draws `count` distinct rows with a Mersenne Twister generator (GSL's
// mt19937) seeded with `seed`, so that a seed always picks the same rows of
// the same table, and estimates each with the statistics and scales of
// `choice` (scales computed once on the whole table: one row more or less
// does not move a median absolute deviation perceptibly) and `tolerance`.
// 1 <= count < table.rows().
CrossValidation crossValidate(const ReferenceTable& table, const StatisticChoice& choice,
                              std::size_t count, unsigned long seed, double tolerance);

// Whether a prediction error says the data inform the parameter: "informed"
// below 0.5, "weakly informed" below 0.8, "not informed" from there on.
std::string verdict(double predictionError);
