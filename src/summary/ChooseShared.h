#pragma once

#include <array>
#include <ostream>
#include <string>
#include <vector>

#include "abc/Abc.h"
#include "abc/ChoiceVerdict.h"
#include "abc/ModelChoice.h"
#include "abc/VerdictText.h"
#include "sim/Columns.h"

// What the model-choice commands share: their options and the pieces of
// their text output.

struct ChooseOptions {
    std::vector<std::string> tables, names, stats;
    double tolerance = 0.01;
    ChoiceMethod method = ChoiceMethod::mnlogistic;
    bool equalPriors = false, tsv = false;
    std::size_t crossValidations = 0;
    unsigned long seed = 1;
    bool forest = false;        // a classification forest instead of `method`
    bool lda = true;            // the forest's features include the discriminant axes
    int trees = 500, threads = 0;
    std::string observedPath;   // observed points; empty: the tables' own
    std::string plotPath;       // the pooled table on its discriminant axes
    std::string gnuplotProgram = "gnuplot";
};

// A matrix of models with a label column, for people or (tsv) programs.
void printMatrix(std::ostream& out, const std::vector<std::string>& names,
                 const std::vector<std::vector<std::string>>& cells, bool tsv);

// Model choice by random forests for `pooled` (the models' tables, named
// `names`) at `observed` or the points of o.observedPath; returns the exit
// status.
int forestChoice(const ChooseOptions& o, const std::vector<std::string>& names,
                 const PooledTables& pooled, const StatisticChoice& choice,
                 const std::array<double, numbTableStats>& observed, std::ostream& out,
                 std::ostream& err);
