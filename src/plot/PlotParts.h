#pragma once

#include <string>
#include <vector>

#include "abc/Posterior.h"
#include "plot/PlotFormat.h"

// Pieces of gnuplot script that every picture shares, so that all of them
// look alike and read alike in every format.

// A picture's page, in inches: the PDF's own size, which prints unscaled on
// A4 or letter paper, so its text keeps the size it is set in.
struct Page {
    double width = 8.0;
    double height = 10.0;
};

// Four rows of two panels (the posteriors, the importance of the statistics,
// the predictive check's four rows of three).
constexpr Page kPortraitPage{8.0, 10.0};
// Four rows of two panels of twelve names each (the importance of the
// statistics): letter paper's full height, within A4's.
// Also the predictive check's six rows of three.
constexpr Page kTallPage{8.0, 11.0};
// One wide panel (the goodness of fit, the model choice).
constexpr Page kLandscapePage{8.0, 5.5};

// The size of all text, in points as the PDF prints it. A referee reads 9 pt
// and more; titles and labels use the same size, so none is scaled below it.
constexpr double kTextPoints = 10.0;

// Chooses the terminal for `format` with a page of `page` and text of
// kTextPoints as printed. The PDF is `page` itself; the SVG is laid out at 96 pixels
// an inch (the unit of its text), the PNG at 150, so that all three show
// the same picture. PNG uses pngcairo when gnuplot has it and the plain png
// terminal otherwise; SVG and PDF need the svg and pdfcairo terminals, and
// the script ends with a message and status 1 when gnuplot lacks the one it
// needs.
std::string terminalFor(PlotFormat format, Page page = kPortraitPage);

// A picture's heading as a gnuplot string expression: `text` broken into
// lines at its ", ", "; " and ": " where it would be wider than `page`.
std::string heading(const std::string& text, Page page);

// The width of one panel's x axis in ems of the text, on `page` with
// `columns` panels a row each keeping `marginChars` character widths of
// margin left and right together: what the tick labels of one axis share.
double axisEms(Page page, int columns, double marginChars);

// The x range from `low` to `high` widened by 3 % of the span on each side
// (of the log span on a log axis), so that no bar or line at an end (often a
// prior's bound) lies on the frame, and its tick labels: the values `marks`
// first (a prior's bounds, so both ends of a log axis are labelled), then
// round values (1, 2 or 5 times a power of ten; on a log axis 1, 2 and 5 or
// only the powers of ten) wherever their labels keep an em apart from all
// others on an axis `ems` wide. Automatic ticks when the span is not a
// positive range (or a log axis reaches 0).
std::string xAxis(double low, double high, bool logAxis, double ems,
                  const std::vector<double>& marks = {});

// Ticks of a y axis from 0 to about `top`: a round step (1, 2 or 5 times a
// power of ten) giving at most five labels (`steps` 4.5; fewer for a lower
// panel), so that a panel a few lines high does not stack a dozen; automatic
// ticks when `top` is not positive. The labels are written without exponents.
std::string yTics(double top, double steps = 4.5);

// Vertical lines across the panel at the median and at the 2.5 % and 97.5 %
// quantiles of `col` (arrows 1 to 3, in front of the bars; `unset arrow`
// removes them, `unset label 9` their note). The median is solid, wider and
// drawn first, the interval dashed, of another colour and on top, so that a
// quantile equal to the median (FracSueMono's often are, at 1) shows as
// dashes over the solid line, and a note at the panel's top says which
// coincide. The plain png terminal draws no dashes, and the svg terminal
// merges consecutive lines of one colour and width into one path that keeps
// only the first line's dashes: hence the two colours.
std::string posteriorMarks(const ColumnSummary& col);

// A legend alone in the multiplot's next cell (an empty plot), so that it
// covers no panel; `entries` are keyentry plot elements, each beginning with
// ", \" and a line end.
std::string legendCell(const std::string& entries);

// Legend entries for the lines of posteriorMarks, to append to a plot
// command (each begins with ", \" and a line end); `whose` follows the
// entries' names, e.g. " (adjusted)".
std::string posteriorMarkKeys(const std::string& whose = "");
