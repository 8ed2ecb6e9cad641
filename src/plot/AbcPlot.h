#pragma once

#include <string>
#include <vector>

#include "abc/Posterior.h"
#include "plot/PlotFormat.h"

// Returns a gnuplot script that draws, for each parameter, the adjusted
// posterior and the rejection-only one in one panel, into `outputPath` in
// `format` (terminals as terminalFor in PlotParts.h; run it with drawPlot
// from Plot.h). `adjusted` and `rejection` hold the same parameters in the
// same order; `title` heads the picture.
//
// Each panel shows the adjusted histogram filled and the rejection histogram
// as an outline over it, so both stay visible where they overlap. Heights
// are densities on the panel's x scale (per decade on a log axis), so that
// the two histograms, binned separately, compare by area; FracSueMono, which
// takes only multiples of 1 / loci, has a bar centred on each of its values,
// as high as that value's share of the weight. The x axis is labelled with
// the parameter's meaning and unit; it is logarithmic for a log-uniform
// prior (when the prior is not known: when either histogram is binned on a
// log scale), and also where the adjusted posterior would be a sliver of a
// linear axis that spans orders of magnitude. The axis spans the prior's
// bounds when known and every bar, with a margin (xAxis in PlotParts.h),
// and the prior's density is drawn: a line where it is flat on the axis, a
// curve where a uniform prior meets a log axis. The median and
// the 95 % interval of the adjusted posterior are marked as in the results
// picture. One legend, in the grid's free cell, names all of these; no
// panel carries one over its bars.
// The legend's names of the filled and the outlined histograms, and the
// words after "median" and "95 % interval".
struct ComparisonLabels {
    std::string filled = "adjusted posterior (regression)";
    std::string outline = "rejection posterior (no adjustment)";
    std::string marks = " (adjusted)";
};
std::string comparisonPlotScript(const std::vector<ColumnSummary>& adjusted,
                                 const std::vector<ColumnSummary>& rejection,
                                 const std::string& outputPath, const std::string& title,
                                 PlotFormat format, const ComparisonLabels& labels = {});
