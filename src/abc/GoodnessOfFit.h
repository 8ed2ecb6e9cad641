#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "abc/Abc.h"
#include "sim/Columns.h"

// Goodness of fit of the model to the observed statistics (Lemaire, Jay,
// Lee, Blum and François 2016): the observed data's score is the mean
// distance of its accepted simulations; under the model, the scores of
// simulations of the table, each scored against the others the same way,
// give its null distribution. Data the model cannot produce lie far from
// every simulation and score high. (R's abc::gfit averages the distances of
// all rows rather than the accepted ones; this follows the paper.)

// The score of `observed` (one value per chosen column of `choice`; values
// that are not finite are left out of the distance): the mean distance of
// the ceil(tolerance * n) nearest rows, ties at the cut-off included,
// leaving out row `excluded` (table.rows() for none). NaN when no row can be
// compared.
double fitScore(const ReferenceTable& table, const StatisticChoice& choice,
                const std::vector<double>& observed, double tolerance, std::size_t excluded);

struct GoodnessOfFit {
    double observedScore = 0.0;
    std::vector<std::size_t> rows;   // the pseudo-observed rows, in drawing order
    std::vector<double> nullScores;  // their scores, in the same order
    // Share of the null scores at or above the observed score.
    double pValue = 0.0;
    std::size_t statisticsLeftOut = 0;  // pseudo-observed values that were not finite
    std::string error;
};

// Scores the observed statistics and `count` rows of the table drawn as for
// cross-validation (GSL's mt19937 seeded with `seed`: the same seed draws
// the same rows). 1 <= count < table.rows().
GoodnessOfFit goodnessOfFit(const ReferenceTable& table, const StatisticChoice& choice,
                            std::size_t count, unsigned long seed, double tolerance);

// Where the observed value of each statistic lies among the table's
// simulations (the prior predictive distribution): the share of finite
// simulated values below it, plus half the share equal to it. NaN where the
// observed value or every simulated one is not finite.
std::array<double, numbTableStats> priorPredictiveQuantiles(
    const ReferenceTable& table, const std::array<double, numbTableStats>& observed);
