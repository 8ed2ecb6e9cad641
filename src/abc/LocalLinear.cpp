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

// The fit on every predictor; `singular` is set with the error when the
// design's condition number is too small.
struct SingleFit : LocalLinearFit {
    bool singular = false;
};

SingleFit fitOnce(const std::vector<double>& predictors, std::size_t numbPredictors,
                  const std::vector<std::vector<double>>& responses,
                  const std::vector<double>& weights) {
    SingleFit fit;
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
    Workspace work(gsl_multifit_linear_alloc(m, numbCoefficients));
    Vector target(gsl_vector_alloc(m)), solution(gsl_vector_alloc(numbCoefficients));
    if (!design || !work || !target || !solution) {
        fit.error = "not enough memory for the weighted regression on " + std::to_string(m) +
                    " accepted simulations";
        return fit;
    }
    std::vector<double> root(m);
    for (std::size_t r = 0; r < m; ++r) {
        const std::size_t i = used[r];
        root[r] = std::sqrt(weights[i]);
        gsl_matrix_set(design.get(), r, 0, root[r]);
        for (std::size_t j = 0; j < numbPredictors; ++j)
            gsl_matrix_set(design.get(), r, j + 1, root[r] * predictors[i * numbPredictors + j]);
    }
    // A singular design is no error to the decomposition (whose dimensions
    // agree by construction); its condition number below tells.
    // The decomposition balances the columns to unit length first, so that
    // the condition number reflects dependence between statistics rather than
    // their units.
    int status = gsl_multifit_linear_bsvd(design.get(), work.get());
    fit.reciprocalCondition = status == GSL_SUCCESS ? gsl_multifit_linear_rcond(work.get()) : 0.0;
    if (!(fit.reciprocalCondition >= minReciprocalCondition)) {
        fit.singular = true;
        fit.error = "the weighted regression on the " + std::to_string(m) +
                    " accepted simulations of positive weight is singular or nearly so "
                    "(reciprocal condition number " +
                    shortNumber(fit.reciprocalCondition) + ", below " +
                    shortNumber(minReciprocalCondition) +
                    "): some statistics are constant or linearly dependent among them";
        return fit;
    }

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

}  // namespace

LocalLinearFit fitLocalLinear(const std::vector<double>& predictors, std::size_t numbPredictors,
                              const std::vector<std::vector<double>>& responses,
                              const std::vector<double>& weights) {
    SingleFit full = fitOnce(predictors, numbPredictors, responses, weights);
    if (!full.singular) return std::move(full);
    // Constant statistics and statistics collinear with others add nothing to
    // the fitted plane: fit without them, with slope 0.
    const IndependentColumns split = independentColumns(predictors, numbPredictors, weights);
    if (split.dropped.empty()) return std::move(full);
    SingleFit fit = fitOnce(keptColumns(predictors, numbPredictors, split.kept), split.kept.size(),
                            responses, weights);
    fit.dropped = split.dropped;
    for (std::vector<double>& c : fit.coefficients) {
        std::vector<double> all(numbPredictors + 1, 0.0);
        all[0] = c[0];
        for (std::size_t k = 0; k < split.kept.size(); ++k) all[split.kept[k] + 1] = c[k + 1];
        c = std::move(all);
    }
    return std::move(fit);
}
