#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "abc/Abc.h"
#include "abc/Collinearity.h"

// Model choice between founding models (Beaumont 2008): the reference tables
// of several models, simulated for the same observed data, are pooled; the
// simulations nearest to the observed statistics are accepted, and the
// posterior probability of each model is read off them, by its share of the
// accepted simulations (rejection) or by a weighted multinomial logistic
// regression of the model on the statistics, evaluated at the observed ones.

// The pooled tables: the statistics of every simulation and its model.
struct PooledTables {
    ReferenceTable table;            // all rows, model by model (parameters unused)
    std::vector<std::size_t> model;  // per row: the index of its model
    std::vector<std::size_t> sizes;  // per model: its number of rows
};

// Prior probabilities of the models: their shares of the simulations, or
// equal. Rows are weighted by prior / share so that equal priors hold.
struct ModelPriors {
    std::vector<double> prior;      // per model
    std::vector<double> rowWeight;  // per model: the factor of its rows' weights
};
ModelPriors modelPriors(const std::vector<std::size_t>& sizes, bool equalPriors);

enum class ChoiceMethod { rejection, mnlogistic };

struct ModelChoice {
    Acceptance acceptance;
    std::vector<std::size_t> accepted;  // per model: its accepted simulations
    std::vector<double> probabilities;  // per model: the posterior probability
    std::vector<std::string> warnings;  // statistics the regression left out, and why
    std::string error;                  // empty on success
};

// The weighted multinomial logistic regression of `classes` (each below
// `numbClasses`) on `predictors` (row-major, rows x numbPredictors) with
// `weights`, the first class the baseline, fitted by Newton's method to the
// maximum of the weighted log-likelihood. `coefficients[k - 1]` holds the
// intercept and slopes of class k against the baseline. `error` is set when
// a class has no row of positive weight, the statistics separate the
// classes perfectly (the likelihood has no maximum), the fit is singular,
// or it does not converge. Statistics constant or collinear with others
// among the rows of positive weight are left out first (`dropped`, slope 0)
// and the fit is made on the rest.
struct MultinomialFit {
    std::vector<std::vector<double>> coefficients;
    std::size_t iterations = 0;
    std::vector<CollinearColumn> dropped;
    std::string error;
};
MultinomialFit fitMultinomial(const std::vector<double>& predictors, std::size_t numbPredictors,
                              const std::vector<std::size_t>& classes, std::size_t numbClasses,
                              const std::vector<double>& weights);

// The posterior probabilities of the models for `observed` (one value per
// chosen column; values that are not finite are left out) by `method`, with
// tolerance `tolerance`, leaving out row `excluded` (for cross-validation;
// pass the number of rows to keep all).
ModelChoice chooseModel(const PooledTables& pooled, const StatisticChoice& choice,
                        const std::vector<double>& observed, double tolerance, ChoiceMethod method,
                        const ModelPriors& priors, std::size_t excluded);

// Cross-validation of the choice: `count` simulations of each model (drawn as
// for parameter cross-validation, with `seed` + model index) serve in turn as
// the observed data. Per method: the confusion matrix (true model x chosen
// model, counts) and the mean posterior probabilities (true x model).
struct ChoiceValidation {
    std::vector<std::vector<std::size_t>> confusionRejection, confusionLogistic;
    std::vector<std::vector<double>> meanRejection, meanLogistic;
    std::size_t logisticFailures = 0;  // pseudo-observed rows whose regression failed
    std::size_t logisticReduced = 0;   // pseudo-observed rows whose regression left out statistics
    std::string error;
};
ChoiceValidation crossValidateChoice(const PooledTables& pooled, const StatisticChoice& choice,
                                     std::size_t count, unsigned long seed, double tolerance,
                                     const ModelPriors& priors);
