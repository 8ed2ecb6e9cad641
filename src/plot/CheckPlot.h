#pragma once

#include <array>
#include <string>
#include <vector>

#include "io/ObservedFile.h"
#include "io/ReferenceTable.h"
#include "plot/PlotFormat.h"
#include "sim/Columns.h"

// Pictures of the model checks, as gnuplot scripts to run with drawPlot
// (Plot.h): each a histogram of what the model gives, with the observed value
// as a vertical line across it.

// The goodness of fit: the null scores (NaN ones left out) and the observed
// score, into `outputPath` in `format`.
std::string fitPlotScript(const std::vector<double>& nullScores, double observedScore,
                          const std::string& outputPath, const std::string& title,
                          PlotFormat format);

// The posterior predictive check: one panel per statistic with the
// predictive histogram of the table's finite values and the observed value.
std::string predictivePlotScript(const ReferenceTable& table,
                                 const std::array<double, numbTableStats>& observed,
                                 const std::string& outputPath, const std::string& title,
                                 PlotFormat format);
