#pragma once

#include <string>

#include "abc/Posterior.h"
#include "plot/PlotFormat.h"

// Pieces of gnuplot script that the results picture (Plot.h) and the
// reference-table picture (AbcPlot.h) share, so that both look alike and
// read alike in every format.

// Chooses the terminal for `format` at the pictures' common size. PNG uses
// pngcairo when gnuplot has it and the plain png terminal otherwise; SVG and
// PDF need the svg and pdfcairo terminals, and the script ends with a message
// and status 1 when gnuplot lacks the one it needs.
std::string terminalFor(PlotFormat format);

// Tick marks for a log x axis from `low` to `high`: 1, 2 and 5 times the
// powers of ten between them, or only the powers when those are many
// (gnuplot's own choice often leaves a single labelled tick on a span of less
// than two decades); automatic ticks when the span is not a positive range.
std::string logTics(double low, double high);

// Sets the x range from `low` to `high`. On a log axis both ends move out
// by a billionth, since gnuplot drops a tick that lies exactly at an end
// there (often the prior's bound, e.g. 100).
std::string xRange(double low, double high, bool logAxis);

// Vertical lines across the panel at the median and at the 2.5 % and 97.5 %
// quantiles of `col` (arrows 1 to 3, in front of the bars; `unset arrow`
// removes them). The median is solid and wider, the interval dashed and of
// another colour: the plain png terminal draws no dashes, and the svg
// terminal merges consecutive lines of one colour and width into one path
// that keeps only the first line's dashes.
std::string posteriorMarks(const ColumnSummary& col);

// A legend alone in the multiplot's next cell (an empty plot), so that it
// covers no panel; `entries` are keyentry plot elements, each beginning with
// ", \" and a line end.
std::string legendCell(const std::string& entries);

// Legend entries for the lines of posteriorMarks, to append to a plot
// command (each begins with ", \" and a line end); `whose` follows the
// entries' names, e.g. " (adjusted)".
std::string posteriorMarkKeys(const std::string& whose = "");
