#pragma once

#include <cstddef>

// Whether the data tell founding models apart: one rule for every method of
// model choice, from what the method measures.
//
// The prior error rate (out of bag, or by cross-validation) is set against
// chance, the error rate of a blind guess that always names the model of
// largest prior (1 - 1/K for K models of equal prior). Its standard error is
// that of a binomial share at chance over the rows classified,
// sqrt(chance (1 - chance) / rows): the spread the error rate would have if
// the statistics told nothing, which does not shrink to 0 on a few rows that
// happen to be classified right. A rate not below chance by more than two
// standard errors (rate >= chance - 2 se) means the statistics do not tell
// the models apart.
// Otherwise, at an observed point, the chosen model is favoured when its
// posterior probability reaches kFavouredProbability, posterior odds of 3 to 1
// against all the other models together ("positive evidence" on the scale of
// Kass and Raftery 1995); below it the data leave the choice open.

constexpr double kFavouredProbability = 0.75;

enum class ChoiceVerdictKind {
    favoured,         // at a point: the chosen model's probability reaches the threshold
    notApart,         // the error rate is not 2 standard errors below chance, or unmeasured
    tooUncertain,     // at a point: the chosen model's probability is below the threshold
    betterThanChance  // no point (cross-validation): the rate is 2 standard errors below chance
};

struct ChoiceVerdict {
    ChoiceVerdictKind kind = ChoiceVerdictKind::notApart;
    double chance = 0.0;         // 1 - the largest prior
    double standardError = 0.0;  // of an error rate at chance over the rows; NaN for no rows
};

// The verdict for a prior error rate `errorRate` measured on `rows` rows
// (0 rows when the method measures none) and the posterior probability
// `probability` of the chosen model at the observed point (NaN without a
// point), the largest prior of the models being `largestPrior`. An error rate
// that was to be measured (rows > 0) but is not a number (no row was left
// out of any tree) leaves the probability, made from those errors, without
// ground: notApart. So does having neither an error rate nor a probability.
ChoiceVerdict choiceVerdict(double largestPrior, double errorRate, std::size_t rows,
                            double probability);
