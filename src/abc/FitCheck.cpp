#include "abc/FitCheck.h"

#include <gsl/gsl_eigen.h>
#include <gsl/gsl_errno.h>
#include <gsl/gsl_matrix.h>
#include <gsl/gsl_vector.h>

#include <cmath>
#include <limits>
#include <memory>
#include <new>

#include "abc/CrossValidation.h"

namespace {

constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();

using MatrixPtr = std::unique_ptr<gsl_matrix, void (*)(gsl_matrix*)>;
using VectorPtr = std::unique_ptr<gsl_vector, void (*)(gsl_vector*)>;
using EigenWorkspace =
    std::unique_ptr<gsl_eigen_symmv_workspace, void (*)(gsl_eigen_symmv_workspace*)>;

// The share of the largest eigenvalue below which a direction counts as one
// in which the neighbourhood does not vary: rounding, not randomness.
constexpr double flatDirection = 1e-9;

// What a covariance C says of a residual r through its pseudo-inverse P.
struct Precision {
    double quadratic = notANumber;      // r' P r; NaN when C cannot be decomposed
    std::vector<double> timesResidual;  // P r
    std::vector<double> diagonal;       // the diagonal of P
};

// Decomposes the p x p covariance `c` (row-major, symmetric) into its
// eigenvalues and eigenvectors; in their coordinates the quadratic form is
// a sum of squares and P a sum of outer products, over the directions whose
// eigenvalue is above flatDirection of the largest.
Precision precisionOf(const std::vector<double>& c, const std::vector<double>& residual) {
    const std::size_t p = residual.size();
    Precision out;
    MatrixPtr matrix{gsl_matrix_alloc(p, p), gsl_matrix_free};
    MatrixPtr vectors{gsl_matrix_alloc(p, p), gsl_matrix_free};
    VectorPtr eigenvalues{gsl_vector_alloc(p), gsl_vector_free};
    EigenWorkspace work{gsl_eigen_symmv_alloc(p), gsl_eigen_symmv_free};
    if (!matrix || !vectors || !eigenvalues || !work) throw std::bad_alloc();
    for (std::size_t j = 0; j < p; ++j)
        for (std::size_t l = 0; l < p; ++l) gsl_matrix_set(matrix.get(), j, l, c[j * p + l]);
    int status = gsl_eigen_symmv(matrix.get(), eigenvalues.get(), vectors.get(), work.get());
    if (status == GSL_SUCCESS)
        status = gsl_eigen_symmv_sort(eigenvalues.get(), vectors.get(), GSL_EIGEN_SORT_VAL_DESC);
    if (status != GSL_SUCCESS) return out;
    const double largest = gsl_vector_get(eigenvalues.get(), 0);
    out.quadratic = 0.0;
    out.timesResidual.assign(p, 0.0);
    out.diagonal.assign(p, 0.0);
    for (std::size_t d = 0; d < p; ++d) {
        const double lambda = gsl_vector_get(eigenvalues.get(), d);
        if (!(largest > 0.0) || !(lambda > flatDirection * largest)) break;
        double along = 0.0;
        for (std::size_t j = 0; j < p; ++j)
            along += gsl_matrix_get(vectors.get(), j, d) * residual[j];
        out.quadratic += along * along / lambda;
        for (std::size_t j = 0; j < p; ++j) {
            const double v = gsl_matrix_get(vectors.get(), j, d);
            out.timesResidual[j] += v * along / lambda;
            out.diagonal[j] += v * v / lambda;
        }
    }
    return out;
}

}  // namespace

NeighbourhoodScore neighbourhoodScore(const ReferenceTable& table, const StatisticChoice& choice,
                                      const std::vector<double>& observed, double share,
                                      std::size_t excluded, bool residuals) {
    NeighbourhoodScore s;
    s.score = notANumber;
    s.conditional.assign(choice.columns.size(), notANumber);
    const ComparedStatistics compared = comparedStatistics(choice, observed);
    const std::size_t p = compared.columns.size();
    if (p == 0) return s;
    std::vector<double> distances =
        scaledDistances(table, compared.columns, compared.observed, compared.scale);
    if (excluded < distances.size()) distances[excluded] = std::numeric_limits<double>::infinity();
    const Acceptance a = acceptNearest(distances, share);
    const std::size_t k = a.rows.size();
    s.neighbours = k;
    if (k < 2) return s;

    // The neighbourhood's mean and covariance, in the scaled statistics.
    std::vector<double> values(k * p), mean(p, 0.0), residual(p);
    for (std::size_t j = 0; j < p; ++j) {
        const std::vector<double>& column = table.stats[compared.columns[j]];
        for (std::size_t i = 0; i < k; ++i) {
            values[i * p + j] = column[a.rows[i]] / compared.scale[j];
            mean[j] += values[i * p + j];
        }
        mean[j] /= static_cast<double>(k);
        residual[j] = compared.observed[j] / compared.scale[j] - mean[j];
    }
    std::vector<double> covariance(p * p), blended(p * p);
    for (std::size_t j = 0; j < p; ++j)
        for (std::size_t l = 0; l <= j; ++l) {
            double sum = 0.0;
            for (std::size_t i = 0; i < k; ++i)
                sum += (values[i * p + j] - mean[j]) * (values[i * p + l] - mean[l]);
            covariance[j * p + l] = covariance[l * p + j] = sum / static_cast<double>(k - 1);
            const double weight = j == l ? 1.0 : 1.0 - varianceShare;
            blended[j * p + l] = blended[l * p + j] = weight * covariance[j * p + l];
        }
    s.score = precisionOf(blended, residual).quadratic;
    if (!residuals) return s;
    // The residual of statistic j regressed on the others is (P r)_j / P_jj,
    // with variance 1 / P_jj, P the precision of the covariance itself.
    const Precision plain = precisionOf(covariance, residual);
    if (std::isnan(plain.quadratic)) return s;
    std::size_t j = 0;
    for (std::size_t c = 0; c < choice.columns.size(); ++c) {
        if (j == p || choice.columns[c] != compared.columns[j]) continue;
        if (plain.diagonal[j] > 0.0)
            s.conditional[c] = plain.timesResidual[j] / std::sqrt(plain.diagonal[j]);
        ++j;
    }
    return s;
}

FitCheck fitCheck(const ReferenceTable& table, const StatisticChoice& choice, std::size_t count,
                  unsigned long seed, double share) {
    FitCheck fit;
    if (count < 1 || count >= table.rows()) {
        fit.error = "a fit check on " + std::to_string(count) +
                    " simulations needs a table of more rows than that; it has " +
                    std::to_string(table.rows());
        return fit;
    }
    fit.observed = neighbourhoodScore(table, choice, choice.observed, share, table.rows(), true);
    const std::size_t p = choice.columns.size();
    if (fit.observed.neighbours == 0) {
        fit.error = "no simulation has every chosen statistic defined";
        return fit;
    }
    // A covariance of p statistics is estimated, not guessed, from well
    // over p rows.
    if (fit.observed.neighbours < 5 * p) {
        fit.tooFewNeighbours = true;
        fit.error = "the " + std::to_string(fit.observed.neighbours) +
                    " simulations nearest to the data are too few to give the covariance of " +
                    std::to_string(p) + " statistics: it needs at least " + std::to_string(5 * p) +
                    ", five a statistic";
        return fit;
    }
    if (std::isnan(fit.observed.score)) {
        fit.error = "the covariance of the simulations near the data cannot be decomposed";
        return fit;
    }
    fit.rows = drawPseudoObservedRows(table.rows(), count, seed);
    std::vector<double> observed(p);
    std::size_t above = 0, scored = 0;
    for (std::size_t row : fit.rows) {
        for (std::size_t k = 0; k < p; ++k) {
            observed[k] = table.stats[choice.columns[k]][row];
            fit.statisticsLeftOut += std::isfinite(observed[k]) ? 0 : 1;
        }
        const double score = neighbourhoodScore(table, choice, observed, share, row, false).score;
        fit.nullScores.push_back(score);
        if (std::isnan(score)) continue;
        ++scored;
        above += score >= fit.observed.score ? 1 : 0;
    }
    if (scored == 0) {
        fit.error = "no pseudo-observed simulation could be scored";
        return fit;
    }
    fit.pValue = static_cast<double>(above) / static_cast<double>(scored);
    return fit;
}
