#pragma once

#include <string>
#include <vector>

#include "summary/Options.h"
#include "summary/Posterior.h"

// Returns a gnuplot script that draws, for each parameter, the histogram of
// the adjusted posterior and that of the rejection-only posterior in one
// panel, into `outputPath` in `format` (run it with drawPlot from Plot.h).
// The prior of a column, where its summary knows it, is drawn beside them.
// `adjusted` and `rejection` hold the same parameters in the same order.
// Heights are densities on the panel's x scale, so that the two histograms,
// binned separately, compare by area; the x axis is logarithmic when either
// histogram is binned on a log scale. `title` heads the picture.
std::string comparisonPlotScript(const std::vector<ColumnSummary>& adjusted,
                                 const std::vector<ColumnSummary>& rejection,
                                 const std::string& outputPath, const std::string& title,
                                 PlotFormat format);
