#pragma once

#include <string>
#include <vector>

#include "plot/PlotFormat.h"

// The importance of the statistics in each parameter's forest: one panel per
// parameter, a horizontal bar per statistic, longest first, as a share of
// the largest importance in that panel, on a kTallPage. Returns the
// gnuplot script that writes `outputPath` in `format` (run it with drawPlot
// in Plot.h).
// `importance[k]` holds parameter k's importance of each of `statistics`.
std::string importancePlotScript(const std::vector<std::string>& parameters,
                                 const std::vector<std::vector<double>>& importance,
                                 const std::vector<std::string>& statistics,
                                 const std::string& outputPath, const std::string& title,
                                 PlotFormat format);

// The name of the importance picture beside the picture `plotPath`:
// "-importance" before its extension (abc.png: abc-importance.png).
std::string importancePlotPath(const std::string& plotPath);
