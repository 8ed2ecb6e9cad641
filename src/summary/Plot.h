#pragma once

#include <string>
#include <vector>

#include "summary/Posterior.h"

// Returns a gnuplot script that draws the histograms of `summaries` into the
// PNG file `pngPath`, one panel per column, with the median (solid line) and
// the 95 % interval (dashed lines) marked and a log-scaled x axis for the
// columns binned on a log scale. It uses the pngcairo terminal when gnuplot
// has it and the plain png terminal otherwise. `title` heads the picture.
std::string plotScript(const std::vector<ColumnSummary>& summaries, const std::string& pngPath,
                       const std::string& title);

enum class PlotOutcome { drawn, gnuplotMissing, failed };

// Runs `gnuplotProgram` (a name looked up on PATH, or a path) on `script`.
// Returns gnuplotMissing when there is no such executable, failed when
// gnuplot ends with an error (its own messages go to standard error) or
// leaves no picture at `pngPath`, and drawn otherwise.
PlotOutcome drawPlot(const std::string& script, const std::string& pngPath,
                     const std::string& gnuplotProgram = "gnuplot");
