#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "abc/Collinearity.h"

// Weighted least squares of several responses on the same predictors, the
// local-linear step of ABC regression adjustment: each response y is fitted
// as y_i ~ a + x_i . b with weights w_i, and the adjusted values are
// y_i - x_i . b, i.e. the responses carried to the point x = 0 along the
// fitted plane. The caller centres the predictors on the observed
// statistics, so x = 0 is the observed data.

// Reciprocal condition numbers below this (of the weighted design, columns
// balanced to unit length) make the fit count as singular: the coefficients
// would keep fewer than about six significant digits.
inline constexpr double minReciprocalCondition = 1e-10;

struct LocalLinearFit {
    // Per response: the intercept a, then one slope per predictor.
    std::vector<std::vector<double>> coefficients;
    // Per response: y_i - x_i . b for every row (rows of weight 0 included).
    std::vector<std::vector<double>> adjusted;
    // Per response: the fitted value a + x_i . b of every row.
    std::vector<std::vector<double>> fitted;
    double reciprocalCondition = 0.0;
    std::size_t rowsUsed = 0;  // rows of positive weight
    // Predictors left out because the design with them was singular: each is
    // constant or collinear with others among the rows, and its slope is 0.
    std::vector<CollinearColumn> dropped;
    std::string error;  // set when too few rows or the fit is singular
};

// Fits every response in `responses` (each with one value per row) on
// `predictors` (row-major, rows x numbPredictors) with `weights` (one per
// row, >= 0; rows of weight 0 take no part). The design, with its intercept
// column, is decomposed once (singular value decomposition, GSL) and serves
// every response. Needs more rows of positive weight than coefficients, so
// that the fit is not a mere interpolation; fails when the weighted design
// is singular or ill-conditioned (see minReciprocalCondition) even once the
// predictors that are constant or collinear with others are left out.
LocalLinearFit fitLocalLinear(const std::vector<double>& predictors, std::size_t numbPredictors,
                              const std::vector<std::vector<double>>& responses,
                              const std::vector<double>& weights);
