#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "abc/FeatureMatrix.h"
#include "abc/Forest.h"
#include "abc/Lda.h"
#include "abc/ModelChoice.h"

// Model choice by a classification forest on the pooled reference tables
// (Pudlo et al. 2016): the features are the chosen statistics and, unless
// left out, the linear discriminant axes of the pooled table (one fewer than
// the models). The chosen model is the one most trees vote for; the trees'
// vote shares are not posterior probabilities. The posterior probability of
// the chosen model comes from a second, regression forest of the out-of-bag
// misclassification indicator on the same features: one minus its prediction
// at the observed point.

struct ForestChoiceSettings {
    ForestSettings classification;  // minimum node size 1 by default
    ForestSettings regression;      // minimum node size 5 by default
    bool lda = true;                // append the discriminant axes
    // Equal prior probabilities: every model contributes as many rows as the
    // smallest table (its first rows), since trees take no case weights.
    bool equalPriors = false;
};

struct ForestChoice {
    std::vector<std::size_t> rowsUsed;              // per model: rows in the forest
    std::vector<std::vector<double>> votes;         // per point: vote share per model
    std::vector<std::size_t> chosen;                // per point: most voted model
    std::vector<double> probability;                // per point: of the chosen model
    double priorErrorRate = 0.0;                    // out-of-bag misclassification rate
    std::vector<std::vector<std::size_t>> confusion;  // true model x out-of-bag choice
    std::vector<double> importance;                 // per feature: statistics, then axes
    LdaAxes axes;                                   // empty without lda
    FeatureMatrix axisScores;  // the pooled rows on the axes (rows x axes), for pictures
    std::vector<std::size_t> model;                 // per row of axisScores: its model
    std::vector<std::vector<double>> pointScores;   // per point: its axis scores
    std::string error;                              // empty on success
};

// Chooses among the models of `pooled` for each of `points` (one value per
// statistic of `columns`, in that order).
ForestChoice chooseModelByForest(const PooledTables& pooled,
                                 const std::vector<std::size_t>& columns,
                                 const std::vector<std::vector<double>>& points,
                                 const ForestChoiceSettings& settings);
