#include "abc/LocalLinear.h"

#include <gsl/gsl_errno.h>
#include <gsl/gsl_matrix.h>
#include <gsl/gsl_multifit.h>
#include <gsl/gsl_vector.h>

#include <cmath>
#include <cstdio>
#include <memory>

namespace {

struct MatrixFree {
    void operator()(gsl_matrix* m) const { gsl_matrix_free(m); }
};
struct VectorFree {
    void operator()(gsl_vector* v) const { gsl_vector_free(v); }
};
struct WorkspaceFree {
    void operator()(gsl_multifit_linear_workspace* w) const { gsl_multifit_linear_free(w); }
};
using Matrix = std::unique_ptr<gsl_matrix, MatrixFree>;
using Vector = std::unique_ptr<gsl_vector, VectorFree>;
using Workspace = std::unique_ptr<gsl_multifit_linear_workspace, WorkspaceFree>;

std::string shortNumber(double x) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3g", x);
    return buf;
}

}  // namespace

LocalLinearFit fitLocalLinear(const std::vector<double>& predictors, std::size_t numbPredictors,
                              const std::vector<std::vector<double>>& responses,
                              const std::vector<double>& weights) {
    LocalLinearFit fit;
    const std::size_t rows = weights.size();
    const std::size_t numbCoefficients = numbPredictors + 1;
    std::vector<std::size_t> used;
    for (std::size_t i = 0; i < rows; ++i)
        if (weights[i] > 0.0) used.push_back(i);
    fit.rowsUsed = used.size();
    if (used.size() <= numbCoefficients) {
        fit.error =
            "too few accepted simulations for the regression: " + std::to_string(used.size()) +
            " have positive weight, but " + std::to_string(numbCoefficients) +
            " coefficients need more than " + std::to_string(numbCoefficients);
        return fit;
    }

    // The weighted design sqrt(w) [1 x] of the rows of positive weight.
    const std::size_t m = used.size();
    Matrix design(gsl_matrix_alloc(m, numbCoefficients));
    std::vector<double> root(m);
    for (std::size_t r = 0; r < m; ++r) {
        const std::size_t i = used[r];
        root[r] = std::sqrt(weights[i]);
        gsl_matrix_set(design.get(), r, 0, root[r]);
        for (std::size_t j = 0; j < numbPredictors; ++j)
            gsl_matrix_set(design.get(), r, j + 1, root[r] * predictors[i * numbPredictors + j]);
    }
    // The dimensions agree by construction, so GSL's error handler (which
    // aborts) is never called; a singular design is no error to the
    // decomposition and is caught by its condition number below.
    Workspace work(gsl_multifit_linear_alloc(m, numbCoefficients));
    // The decomposition balances the columns to unit length first, so that
    // the condition number reflects dependence between statistics rather than
    // their units.
    int status = gsl_multifit_linear_bsvd(design.get(), work.get());
    fit.reciprocalCondition = status == GSL_SUCCESS ? gsl_multifit_linear_rcond(work.get()) : 0.0;
    if (!(fit.reciprocalCondition >= minReciprocalCondition)) {
        fit.error = "the weighted regression on the " + std::to_string(m) +
                    " accepted simulations of positive weight is singular or nearly so "
                    "(reciprocal condition number " +
                    shortNumber(fit.reciprocalCondition) + ", below " +
                    shortNumber(minReciprocalCondition) +
                    "): some statistics are constant or linearly dependent among them";
        return fit;
    }

    Vector target(gsl_vector_alloc(m)), solution(gsl_vector_alloc(numbCoefficients));
    for (const std::vector<double>& y : responses) {
        for (std::size_t r = 0; r < m; ++r) gsl_vector_set(target.get(), r, root[r] * y[used[r]]);
        double residualNorm = 0.0, solutionNorm = 0.0;
        status = gsl_multifit_linear_solve(0.0, design.get(), target.get(), solution.get(),
                                           &residualNorm, &solutionNorm, work.get());
        if (status != GSL_SUCCESS) {
            fit.error = std::string("the weighted regression failed: ") + gsl_strerror(status);
            break;
        }
        std::vector<double> c(numbCoefficients);
        for (std::size_t j = 0; j < numbCoefficients; ++j) c[j] = gsl_vector_get(solution.get(), j);
        std::vector<double> adjusted(rows), fitted(rows);
        for (std::size_t i = 0; i < rows; ++i) {
            double shift = 0.0;
            for (std::size_t j = 0; j < numbPredictors; ++j)
                shift += predictors[i * numbPredictors + j] * c[j + 1];
            adjusted[i] = y[i] - shift;
            fitted[i] = c[0] + shift;
        }
        fit.coefficients.push_back(std::move(c));
        fit.adjusted.push_back(std::move(adjusted));
        fit.fitted.push_back(std::move(fitted));
    }
    return fit;
}
