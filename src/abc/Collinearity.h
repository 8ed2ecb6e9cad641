#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Statistics that carry nothing new to a regression: among the accepted rows
// a statistic may be constant (the intercept again) or an exact, or nearly
// exact, linear combination of other statistics, which makes the weighted
// design singular. Such a statistic can be left out of the fit without
// changing its fitted values, so the regression goes on with the others.

// A predictor left out, and the kept predictors whose linear combination
// (with the intercept) it is among the rows; `with` empty: it is constant.
struct CollinearColumn {
    std::size_t column = 0;
    std::vector<std::size_t> with;
};

struct IndependentColumns {
    std::vector<std::size_t> kept;         // ascending
    std::vector<CollinearColumn> dropped;  // ascending by column
};

// Splits the `numbPredictors` columns of `predictors` (row-major, one row
// per weight) into a largest set of linearly independent ones, taken in
// column order after the intercept, and the rest. Only rows of positive
// weight count, each scaled by the root of its weight as in the weighted
// design; every column is scaled to unit length first, so that units do not
// matter. A column whose part not explained by the earlier kept ones is
// below 1e-7 of its length counts as dependent.
IndependentColumns independentColumns(const std::vector<double>& predictors,
                                      std::size_t numbPredictors,
                                      const std::vector<double>& weights);

// The columns `kept` of `predictors` (row-major, numbPredictors wide), in
// their order: a new matrix owned by the caller.
std::vector<double> keptColumns(const std::vector<double>& predictors, std::size_t numbPredictors,
                                const std::vector<std::size_t>& kept);

// "X is constant among the accepted rows" or "X is collinear with Y and Z
// among the accepted rows", with `names` naming the predictors.
std::string collinearityText(const CollinearColumn& c, const std::vector<std::string>& names);
