#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "abc/Abc.h"
#include "sim/SimulationTable.h"

// The fit check: whether the observed statistics keep the relations that the
// model's simulations near them keep among themselves. Near any data set the
// simulations fill a thin cloud: the statistics move together as the
// parameters move, and vary only a little across the cloud, where only the
// randomness of genealogies and mutations moves them. Data that the model
// cannot make (loci whose mutations jump by several repeats, or whose rates
// differ) may lie at an ordinary distance from their nearest simulations and
// still across that cloud; a Euclidean distance over every statistic
// (goodnessOfFit) sees fewer of them than the Mahalanobis distance in the
// cloud's own covariance. Its null distribution comes from simulations of the
// table scored the same way, so that under the model the p-value is uniform.

// The score of one data set: the squared Mahalanobis distance of `observed`
// (one value per chosen column of `choice`; values that are not finite are
// left out) from the mean of its neighbourhood, the ceil(share * n) nearest
// rows by the scaled Euclidean distance (ties at the cut-off included,
// leaving out row `excluded`; table.rows() for none), in the covariance of
// those rows with its off-diagonal terms multiplied by 1 - varianceShare
// (the correlations scaled, the variances kept). Directions
// in which the neighbourhood does not vary (an eigenvalue of at most 1e-9 of
// the largest) are left out: the pseudo-inverse.
//
// Why the shrinking: the directions in which the simulations near the data
// barely vary are where the model's own simulations, near the bounds of the
// priors or where the statistics bend as the parameters move, stray most
// from a flat cloud; weighted by the inverse of their variance, that chance
// would swamp the score, and a real misfit with it. Blending in the
// statistics' own variances bounds the weight of any one narrow direction.
// (On data sets of another simulator whose loci mutate in multi-step jumps,
// a share of 0.3 flagged about 0.35 of them where none flagged 0.29, and as
// few data sets of the model itself.)
constexpr double varianceShare = 0.3;

// The neighbourhood's share of the table unless the user gives one: a
// covariance wants more rows than an average of distances does.
constexpr double defaultFitCheckShare = 0.05;

// A statistic whose residual (NeighbourhoodScore::conditional) is at least
// this many standard deviations is named beside the check's verdict.
constexpr double namedResidual = 3.0;

struct NeighbourhoodScore {
    double score = 0.0;  // NaN when no row can be compared
    std::size_t neighbours = 0;
    // With `residuals`, per chosen column: how far the statistic lies from
    // what the others predict in the neighbourhood (the residual of its
    // linear regression on them, with the unshrunk covariance, in standard
    // deviations); NaN for a statistic left out, and without `residuals`.
    std::vector<double> conditional;
};
NeighbourhoodScore neighbourhoodScore(const ReferenceTable& table, const StatisticChoice& choice,
                                      const std::vector<double>& observed, double share,
                                      std::size_t excluded, bool residuals);

struct FitCheck {
    NeighbourhoodScore observed;     // the data's
    std::vector<std::size_t> rows;   // the pseudo-observed rows, in drawing order
    std::vector<double> nullScores;  // their scores, in the same order
    // Share of the null scores at or above the observed score.
    double pValue = 0.0;
    std::size_t statisticsLeftOut = 0;  // pseudo-observed values that were not finite
    std::string error;
    bool tooFewNeighbours = false;  // the error is that the neighbourhood is too small
};

// Scores the observed statistics of `choice` and `count` rows of the table
// drawn as for cross-validation (GSL's mt19937 seeded with `seed`: the same
// seed draws the same rows as goodnessOfFit), each against the others.
// 1 <= count < table.rows(); the neighbourhood must hold at least two rows
// more than there are statistics, or `error` says so.
FitCheck fitCheck(const ReferenceTable& table, const StatisticChoice& choice, std::size_t count,
                  unsigned long seed, double share);
