#pragma once

#include <array>
#include <string>
#include <vector>

#include "abc/PredictiveCheck.h"
#include "io/ReferenceTable.h"
#include "plot/PlotFormat.h"
#include "sim/Columns.h"

// Pictures of the model checks, as gnuplot scripts to run with drawPlot
// (Plot.h): each a histogram of what the model gives, with the observed value
// as a vertical line across it.

// The goodness of fit: the null scores (NaN ones left out) and the observed
// score in one wide panel (kLandscapePage), into `outputPath` in `format`;
// `title` heads it once, and the x axis says what the score is (by
// default the goodness of fit's mean distance, in its unit).
std::string fitPlotScript(const std::vector<double>& nullScores, double observedScore,
                          const std::string& outputPath, const std::string& title,
                          PlotFormat format,
                          const std::string& scoreAxis =
                              "score: mean distance to the accepted simulations (in median "
                              "absolute deviations)");

// The x axis of the fit check's picture (fitPlotScript's scoreAxis).
inline constexpr const char* fitCheckScoreAxis =
    "score: squared Mahalanobis distance from the mean of the nearest simulations";

// The posterior predictive check: one panel per statistic, three a row,
// with the predictive histogram of the table's finite values over their
// central 99 % (and the observed value), as shares of all of them, and the
// observed value. `check` holds each statistic's tail probability: each
// panel's title gives it, and a statistic the fitted model does not
// reproduce (below 0.05) has a red line and title and a star. The x axis
// names what the statistic measures.
std::string predictivePlotScript(const ReferenceTable& table,
                                 const std::array<PredictiveStatistic, numbTableStats>& check,
                                 const std::string& outputPath, const std::string& title,
                                 PlotFormat format);

// What the summary statistic `name` (one of tableStatNames) measures, and
// its unit, as an axis label of one or two lines (quote it with quotedLines
// of Plot.h); its population is the panel's title.
std::string statisticMeaning(const std::string& name);
