#include "abc/ModelChoice.h"

#include <gsl/gsl_errno.h>
#include <gsl/gsl_linalg.h>
#include <gsl/gsl_matrix.h>
#include <gsl/gsl_vector.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

#include "abc/CrossValidation.h"

namespace {

constexpr double infinity = std::numeric_limits<double>::infinity();

struct MatrixFree {
    void operator()(gsl_matrix* m) const { gsl_matrix_free(m); }
};
struct VectorFree {
    void operator()(gsl_vector* v) const { gsl_vector_free(v); }
};

// Class probabilities of one row under `beta` (baseline first).
void probabilitiesOf(const double* x, std::size_t d, const std::vector<double>& beta,
                     std::size_t numbClasses, std::vector<double>& pi) {
    double largest = 0.0;  // the baseline's linear predictor
    pi[0] = 0.0;
    for (std::size_t k = 1; k < numbClasses; ++k) {
        double eta = 0.0;
        for (std::size_t j = 0; j < d; ++j) eta += beta[(k - 1) * d + j] * x[j];
        pi[k] = eta;
        largest = std::max(largest, eta);
    }
    double sum = 0.0;
    for (double& p : pi) sum += (p = std::exp(p - largest));
    for (double& p : pi) p /= sum;
}

}  // namespace

ModelPriors modelPriors(const std::vector<std::size_t>& sizes, bool equalPriors) {
    ModelPriors priors;
    double total = 0.0;
    for (std::size_t n : sizes) total += static_cast<double>(n);
    for (std::size_t n : sizes) {
        const double share = static_cast<double>(n) / total;
        const double prior = equalPriors ? 1.0 / static_cast<double>(sizes.size()) : share;
        priors.prior.push_back(prior);
        priors.rowWeight.push_back(prior / share);
    }
    return priors;
}

namespace {

// The fit by Newton's method on every predictor given.
MultinomialFit newtonFit(const std::vector<double>& predictors, std::size_t numbPredictors,
                         const std::vector<std::size_t>& classes, std::size_t numbClasses,
                         const std::vector<double>& weights) {
    MultinomialFit fit;
    const std::size_t d = numbPredictors + 1, q = (numbClasses - 1) * d;
    // Rows of positive weight, each with its intercept column.
    std::vector<double> x;
    std::vector<std::size_t> y;
    std::vector<double> w;
    std::vector<double> classWeight(numbClasses, 0.0);
    for (std::size_t i = 0; i < weights.size(); ++i) {
        if (!(weights[i] > 0.0)) continue;
        x.push_back(1.0);
        x.insert(x.end(), predictors.begin() + static_cast<std::ptrdiff_t>(i * numbPredictors),
                 predictors.begin() + static_cast<std::ptrdiff_t>((i + 1) * numbPredictors));
        y.push_back(classes[i]);
        w.push_back(weights[i]);
        classWeight[classes[i]] += weights[i];
    }
    for (std::size_t k = 0; k < numbClasses; ++k)
        if (!(classWeight[k] > 0.0)) {
            fit.error = "model " + std::to_string(k + 1) +
                        " has no accepted simulation of positive weight, so the regression "
                        "cannot estimate it; use --method rejection or a larger --tol";
            return fit;
        }
    const std::size_t n = w.size();
    // Each row adds at most one to the rank of a class's block of the
    // Hessian, so fewer rows than coefficients per class make it singular
    // whatever the statistics are.
    if (n < d) {
        fit.error =
            "too few accepted simulations for the multinomial regression: " + std::to_string(n) +
            " have positive weight, but " + std::to_string(d) +
            " coefficients per model (the intercept and " + std::to_string(numbPredictors) +
            " statistics) need at least as many; use a larger --tol or fewer --stats";
        return fit;
    }
    std::vector<double> beta(q, 0.0), pi(numbClasses);
    const auto logLikelihood = [&](const std::vector<double>& b) {
        double ll = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            probabilitiesOf(&x[i * d], d, b, numbClasses, pi);
            ll += w[i] * std::log(pi[y[i]]);
        }
        return ll;
    };
    std::unique_ptr<gsl_matrix, MatrixFree> hessian(gsl_matrix_alloc(q, q));
    std::unique_ptr<gsl_vector, VectorFree> gradient(gsl_vector_alloc(q)),
        step(gsl_vector_alloc(q));
    if (!hessian || !gradient || !step) {
        fit.error = "not enough memory for the multinomial regression";
        return fit;
    }
    double ll = logLikelihood(beta);
    double totalWeight = 0.0;
    for (double v : w) totalWeight += v;
    // Newton's method converges in a handful of steps where a maximum exists;
    // far more mean that the coefficients are running off to infinity.
    double largest = 0.0;
    for (fit.iterations = 1; fit.iterations <= 40; ++fit.iterations) {
        // Gradient and negative Hessian of the weighted log-likelihood.
        gsl_matrix_set_zero(hessian.get());
        gsl_vector_set_zero(gradient.get());
        for (std::size_t i = 0; i < n; ++i) {
            const double* xi = &x[i * d];
            probabilitiesOf(xi, d, beta, numbClasses, pi);
            for (std::size_t k = 1; k < numbClasses; ++k) {
                const double residual = (y[i] == k ? 1.0 : 0.0) - pi[k];
                for (std::size_t a = 0; a < d; ++a)
                    *gsl_vector_ptr(gradient.get(), (k - 1) * d + a) += w[i] * residual * xi[a];
                for (std::size_t l = 1; l < numbClasses; ++l) {
                    const double c = w[i] * pi[k] * ((k == l ? 1.0 : 0.0) - pi[l]);
                    for (std::size_t a = 0; a < d; ++a)
                        for (std::size_t b = 0; b < d; ++b)
                            *gsl_matrix_ptr(hessian.get(), (k - 1) * d + a, (l - 1) * d + b) +=
                                c * xi[a] * xi[b];
                }
            }
        }
        const auto converged = [&] {
            for (std::size_t k = 1; k < numbClasses; ++k)
                fit.coefficients.emplace_back(&beta[(k - 1) * d], &beta[k * d - 1] + 1);
            return fit;
        };
        if (gsl_linalg_cholesky_decomp1(hessian.get()) != GSL_SUCCESS ||
            gsl_linalg_cholesky_solve(hessian.get(), gradient.get(), step.get()) != GSL_SUCCESS) {
            // The statistics are linearly independent (see fitMultinomial),
            // so the fitted probabilities have reached 0 or 1.
            fit.error =
                "the multinomial regression is singular although no statistic is constant "
                "or collinear with others among the accepted simulations: the statistics "
                "separate the models, so the regression has no maximum; use --method "
                "rejection, or a larger --tol";
            return fit;
        }
        // The Newton decrement g' H^-1 g, twice the gain the step promises:
        // once it is negligible (rounding in the sums of the gradient keeps it
        // from reaching 0) the maximum is one step away.
        double decrement = 0.0;
        for (std::size_t j = 0; j < q; ++j)
            decrement += gsl_vector_get(gradient.get(), j) * gsl_vector_get(step.get(), j);
        if (decrement < 1e-12 * (std::fabs(ll) + 1)) {
            // One last full step takes the quadratic convergence to rounding.
            for (std::size_t j = 0; j < q; ++j) beta[j] += gsl_vector_get(step.get(), j);
            return converged();
        }
        // Newton's step, halved until the likelihood does not fall.
        std::vector<double> next(q);
        double nextLl = -infinity;
        for (double scale = 1.0; scale > 1e-10; scale /= 2) {
            for (std::size_t j = 0; j < q; ++j)
                next[j] = beta[j] + scale * gsl_vector_get(step.get(), j);
            nextLl = logLikelihood(next);
            if (nextLl >= ll) break;
        }
        if (!(nextLl >= ll)) break;
        beta = next;
        ll = nextLl;
        // Coefficients that grow without end while the likelihood creeps
        // towards its supremum: some models are separated (perfectly, or all
        // but a few of their rows) and there is no maximum. On statistics
        // scaled by their spread, a slope of 1000 is such a divergence.
        largest = 0.0;
        for (double b : beta) largest = std::max(largest, std::fabs(b));
        if (ll > -1e-8 * totalWeight || largest > 1e3) break;
    }
    fit.error = ll > -1e-8 * totalWeight || largest > 20
                    ? "the statistics separate the models (perfectly, or nearly) among the "
                      "accepted simulations, so the regression has no maximum; use --method "
                      "rejection, or a larger --tol"
                    : "the multinomial regression did not converge; use --method rejection, or "
                      "other statistics (--stats) or a larger --tol";
    return fit;
}

}  // namespace

MultinomialFit fitMultinomial(const std::vector<double>& predictors, std::size_t numbPredictors,
                              const std::vector<std::size_t>& classes, std::size_t numbClasses,
                              const std::vector<double>& weights) {
    // A constant statistic, or one collinear with others, adds nothing the
    // others do not carry: the fit is made without it, with slopes 0. It is
    // found before the fit, since a Cholesky decomposition of a Hessian that
    // is singular only up to rounding may pass and send Newton's steps off.
    const std::size_t d = numbPredictors + 1;
    std::size_t n = 0;
    for (double w : weights) n += w > 0.0 ? 1 : 0;
    // With fewer rows than coefficients nothing is left out: the fit says so.
    const IndependentColumns split =
        n < d ? IndependentColumns{} : independentColumns(predictors, numbPredictors, weights);
    if (split.dropped.empty())
        return newtonFit(predictors, numbPredictors, classes, numbClasses, weights);
    MultinomialFit fit = newtonFit(keptColumns(predictors, numbPredictors, split.kept),
                                   split.kept.size(), classes, numbClasses, weights);
    fit.dropped = split.dropped;
    for (std::vector<double>& c : fit.coefficients) {
        std::vector<double> all(d, 0.0);
        all[0] = c[0];
        for (std::size_t k = 0; k < split.kept.size(); ++k) all[split.kept[k] + 1] = c[k + 1];
        c = std::move(all);
    }
    return fit;
}

ModelChoice chooseModel(const PooledTables& pooled, const StatisticChoice& choice,
                        const std::vector<double>& observed, double tolerance, ChoiceMethod method,
                        const ModelPriors& priors, std::size_t excluded) {
    ModelChoice result;
    const std::size_t numbModels = pooled.sizes.size();
    const ComparedStatistics compared = comparedStatistics(choice, observed);
    const std::vector<std::size_t>& columns = compared.columns;
    const std::vector<double>& used = compared.observed;
    const std::vector<double>& scale = compared.scale;
    if (columns.empty()) {
        result.error = "no chosen statistic is a finite number in the observed data";
        return result;
    }
    std::vector<double> distances = scaledDistances(pooled.table, columns, used, scale);
    if (excluded < distances.size()) distances[excluded] = infinity;
    result.acceptance = acceptNearest(distances, tolerance);
    const Acceptance& a = result.acceptance;
    if (a.candidates == 0) {
        result.error = "no simulation has every chosen statistic defined";
        return result;
    }
    result.accepted.assign(numbModels, 0);
    result.probabilities.assign(numbModels, 0.0);
    double total = 0.0;
    for (std::size_t i : a.rows) {
        const std::size_t m = pooled.model[i];
        ++result.accepted[m];
        result.probabilities[m] += priors.rowWeight[m];
        total += priors.rowWeight[m];
    }
    for (double& p : result.probabilities) p /= total;
    if (method == ChoiceMethod::rejection) return result;

    std::vector<double> predictors, weights;
    std::vector<std::size_t> classes;
    for (std::size_t r = 0; r < a.rows.size(); ++r) {
        const std::size_t i = a.rows[r];
        for (std::size_t k = 0; k < columns.size(); ++k)
            predictors.push_back((pooled.table.stats[columns[k]][i] - used[k]) / scale[k]);
        classes.push_back(pooled.model[i]);
        weights.push_back(a.weights[r] * priors.rowWeight[pooled.model[i]]);
    }
    MultinomialFit fit = fitMultinomial(predictors, columns.size(), classes, numbModels, weights);
    std::vector<std::string> names;
    for (std::size_t j : columns) names.push_back(tableStatNames[j]);
    for (const CollinearColumn& c : fit.dropped)
        result.warnings.push_back(
            "statistic " + names[c.column] +
            " left out of the multinomial regression: " + collinearityText(c, names));
    if (!fit.error.empty()) {
        result.error = fit.error;
        return result;
    }
    // At the observed statistics every centred predictor is 0: only the
    // intercepts remain.
    std::vector<double> intercepts(numbModels - 1);
    for (std::size_t k = 1; k < numbModels; ++k) intercepts[k - 1] = fit.coefficients[k - 1][0];
    const double zero = 1.0;
    probabilitiesOf(&zero, 1, intercepts, numbModels, result.probabilities);
    return result;
}

ChoiceValidation crossValidateChoice(const PooledTables& pooled, const StatisticChoice& choice,
                                     std::size_t count, unsigned long seed, double tolerance,
                                     const ModelPriors& priors) {
    ChoiceValidation cv;
    const std::size_t numbModels = pooled.sizes.size();
    cv.confusionRejection.assign(numbModels, std::vector<std::size_t>(numbModels, 0));
    cv.confusionLogistic = cv.confusionRejection;
    cv.meanRejection.assign(numbModels, std::vector<double>(numbModels, 0.0));
    cv.meanLogistic = cv.meanRejection;
    std::vector<double> observed(choice.columns.size());
    std::size_t first = 0;
    for (std::size_t m = 0; m < numbModels; ++m) {
        if (count >= pooled.sizes[m]) {
            cv.error = "cross-validation on " + std::to_string(count) +
                       " simulations of each model needs more rows than that in every table; "
                       "model " +
                       std::to_string(m + 1) + " has " + std::to_string(pooled.sizes[m]);
            return cv;
        }
        std::size_t fitted = 0;
        for (std::size_t offset : drawPseudoObservedRows(pooled.sizes[m], count, seed + m)) {
            const std::size_t row = first + offset;
            for (std::size_t k = 0; k < choice.columns.size(); ++k)
                observed[k] = pooled.table.stats[choice.columns[k]][row];
            for (ChoiceMethod method : {ChoiceMethod::rejection, ChoiceMethod::mnlogistic}) {
                ModelChoice c =
                    chooseModel(pooled, choice, observed, tolerance, method, priors, row);
                const bool logistic = method == ChoiceMethod::mnlogistic;
                if (!c.warnings.empty()) ++cv.logisticReduced;
                if (!c.error.empty()) {
                    if (!logistic) {
                        cv.error = c.error;
                        return cv;
                    }
                    ++cv.logisticFailures;
                    continue;
                }
                const std::size_t chosen = static_cast<std::size_t>(
                    std::max_element(c.probabilities.begin(), c.probabilities.end()) -
                    c.probabilities.begin());
                (logistic ? cv.confusionLogistic : cv.confusionRejection)[m][chosen] += 1;
                auto& mean = (logistic ? cv.meanLogistic : cv.meanRejection)[m];
                for (std::size_t k = 0; k < numbModels; ++k) mean[k] += c.probabilities[k];
                fitted += logistic ? 1 : 0;
            }
        }
        for (double& p : cv.meanRejection[m]) p /= static_cast<double>(count);
        for (double& p : cv.meanLogistic[m])
            p = fitted > 0 ? p / static_cast<double>(fitted) : std::nan("");
        first += pooled.sizes[m];
    }
    return cv;
}
