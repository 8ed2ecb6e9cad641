#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "abc/FeatureMatrix.h"
#include "plot/PlotFormat.h"

// The picture of a model choice: the pooled simulations on the first two
// linear discriminant axes, one colour per model, with the observed data as a
// large black cross; for two models (one axis) the histogram of each model's
// scores as shares, with the observed score as a vertical line. At most
// 1 000 simulations of each model (its first) are drawn, so that an SVG or
// PDF of a large table stays small. The axes span the central 99 % of the
// drawn scores and the data, and count within-model standard deviations;
// the page is kLandscapePage. Returns the gnuplot script that writes
// `outputPath` in `format` (run it with drawPlot in Plot.h).
std::string choicePlotScript(const FeatureMatrix& scores, const std::vector<std::size_t>& model,
                             const std::vector<double>& observed,
                             const std::vector<std::string>& names, const std::string& outputPath,
                             const std::string& title, PlotFormat format);
