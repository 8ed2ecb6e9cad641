#include "plot/AbcPlot.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "plot/Plot.h"
#include "plot/PlotFormat.h"
#include "plot/PlotParts.h"
#include "sim/PriorBounds.h"

namespace {

const char* const adjustedStyle = "fs solid 0.5 noborder lc rgb '#4070c0'";
const char* const rejectionStyle = "lw 1.5 lc rgb '#202020'";
const char* const priorStyle = "lw 2 lc rgb '#208020'";

// One bar: its centre, edges and height, in the panel's units.
struct Bar {
    double centre, lower, upper, height;
};

// The bars of a column: one per value for FracSueMono, as high as the
// value's share and half as wide as the closest gap between values on
// either side; otherwise one per bin, as high as the bin's density on the
// axis scale. A bin of no width (all values equal) becomes a narrow bar
// around the value. A bar that no number can place (a value beyond the
// doubles, from an adjustment gone astray) is left out.
std::vector<Bar> barsOf(const ColumnSummary& col, bool logAxis) {
    std::vector<Bar> bars;
    if (!col.shares.empty()) {
        double gap = 0.1;
        for (std::size_t i = 1; i < col.shares.size(); ++i)
            gap = std::min(gap, col.shares[i].first - col.shares[i - 1].first);
        for (const auto& [value, share] : col.shares)
            bars.push_back({value, value - 0.4 * gap, value + 0.4 * gap, share});
        return bars;
    }
    const Histogram& h = col.histogram;
    for (std::size_t i = 0; i < h.mass.size(); ++i) {
        double lower = h.lowerEdge(i), upper = h.upperEdge(i);
        if (!(upper > lower)) {
            const double half = lower != 0.0 ? std::fabs(lower) * 0.01 : 0.5;
            lower -= half;
            upper += half;
        }
        const double width = logAxis ? std::log10(upper) - std::log10(lower) : upper - lower;
        const double height = h.mass[i] / width;
        if (std::isfinite(lower) && std::isfinite(upper) && std::isfinite(height))
            bars.push_back({h.centre(i), lower, upper, height});
    }
    return bars;
}

// A datablock of `bars`, one line each: centre, lower edge, upper edge, height.
std::string barsBlock(const std::string& name, const std::vector<Bar>& bars) {
    std::string s = "$" + name + " << EOD\n";
    for (const Bar& b : bars)
        s += number(b.centre) + " " + number(b.lower) + " " + number(b.upper) + " " +
             number(b.height) + "\n";
    return s + "EOD\n";
}

// A datablock of the outline of `bars` as one line of x, y points: up each
// bar's left side, across its top and down its right side, except that
// where two bars touch the line steps straight from one top to the next.
std::string outlineBlock(const std::string& name, const std::vector<Bar>& bars) {
    std::string s = "$" + name + " << EOD\n";
    for (std::size_t i = 0; i < bars.size(); ++i) {
        const Bar& b = bars[i];
        if (i == 0 || bars[i - 1].upper != b.lower) s += number(b.lower) + " 0\n";
        s += number(b.lower) + " " + number(b.height) + "\n";
        s += number(b.upper) + " " + number(b.height) + "\n";
        if (i + 1 == bars.size() || bars[i + 1].lower != b.upper) s += number(b.upper) + " 0\n";
    }
    return s + "EOD\n";
}

// The density of the column's flat prior on the panel's x scale at `x`
// (per unit, or per decade on a log axis): constant where the prior is flat
// on the axis' own scale, rising as x ln 10 / (upper - lower) where a
// uniform prior is drawn on a log axis. 0 outside the bounds or when the
// prior is not known or not flat.
double priorDensityAt(const ColumnPrior& p, bool logAxis, double x) {
    if (!p.known || !p.flat || x < p.lower || x > p.upper) return 0.0;
    const double density =
        p.logScale ? (logAxis ? 1.0 : 1.0 / (x * std::log(10.0))) /
                         (std::log10(p.upper) - std::log10(p.lower))
                   : (logAxis ? x * std::log(10.0) : 1.0) / (p.upper - p.lower);
    return std::isfinite(density) && density > 0.0 ? density : 0.0;
}

// The points of the prior's line: its two ends where it is flat on the
// axis, else 60 points evenly spaced on the axis.
std::vector<std::pair<double, double>> priorLine(const ColumnPrior& p, bool logAxis) {
    std::vector<std::pair<double, double>> points;
    if (priorDensityAt(p, logAxis, p.lower) <= 0.0) return points;
    const int steps = p.logScale == logAxis ? 1 : 60;
    for (int i = 0; i <= steps; ++i) {
        const double f = static_cast<double>(i) / steps;
        double x = logAxis ? std::pow(10.0, std::log10(p.lower) +
                                                f * (std::log10(p.upper) - std::log10(p.lower)))
                           : p.lower + f * (p.upper - p.lower);
        // The bounds exactly: 10^log10(lower) may round below the lower bound
        // (10^0.3 does), where the density is 0, and the line would rise from 0.
        x = i == 0 ? p.lower : i == steps ? p.upper : std::min(std::max(x, p.lower), p.upper);
        points.push_back({x, priorDensityAt(p, logAxis, x)});
    }
    return points;
}

bool positiveEdges(const std::vector<Bar>& bars) {
    return std::all_of(bars.begin(), bars.end(), [](const Bar& b) { return b.lower > 0.0; });
}

// One panel: the data, the axes and the plot command.
struct Panel {
    std::string data;  // datablocks
    std::string plot;  // settings and the plot command
    bool prior = false;
    bool adjusted = false;  // the two posteriors differ
};

Panel panelFor(const ColumnSummary& adjusted, const ColumnSummary& rejection, std::size_t index) {
    Panel p;
    const std::string n = std::to_string(index + 1);
    const bool discrete = !adjusted.shares.empty();
    bool logAxis = !discrete && (adjusted.prior.known ? adjusted.prior.logScale
                                                      : adjusted.logScale || rejection.logScale);
    std::vector<Bar> a = barsOf(adjusted, logAxis), r = barsOf(rejection, logAxis);
    // A posterior squeezed into a sliver of a linear axis that the other
    // spreads over orders of magnitude (an adjustment that concentrates the
    // mass near a small bound): on a log axis both stay readable.
    if (!discrete && !logAxis && !a.empty() && positiveEdges(a) && positiveEdges(r)) {
        double low = a.front().lower, high = a.back().upper;
        for (const Bar& b : r) low = std::min(low, b.lower), high = std::max(high, b.upper);
        if (adjusted.prior.known) low = std::min(low, adjusted.prior.lower), high = std::max(high, adjusted.prior.upper);
        const double bulk = adjusted.q975 - adjusted.q025;
        if (high / low >= 10.0 && bulk < 0.25 * (high - low)) logAxis = true;
    }
    if (logAxis) {
        a = barsOf(adjusted, true);
        r = barsOf(rejection, true);
    }
    // Equal summaries: the parameter was not adjusted (or nothing was).
    const bool same = adjusted.mean == rejection.mean && adjusted.sd == rejection.sd;
    p.adjusted = !same;
    std::string& s = p.plot;
    s += "set title " + quoted(adjusted.name + (same ? " (not adjusted)" : "")) + "\n";
    s += "set xlabel " + quotedLines(columnMeaning(adjusted.name, logAxis)) + "\n";
    s += logAxis ? "set logscale x\n" : "unset logscale x\n";
    if (a.empty() && r.empty()) {
        s += "set xrange [0:1]\nset yrange [0:1]\nset xtics autofreq\nset ytics autofreq\nset ylabel ''\n";
        s += "set label 1 'no values' at graph 0.5, graph 0.5 center\n";
        s += "plot NaN notitle\nunset label 1\nset yrange [0:*]\n";
        return p;
    }
    s += "set ylabel " +
         quoted(discrete  ? "share of weight"
                : logAxis ? "density per decade"
                          : "density") +
         "\n";

    double low = std::numeric_limits<double>::infinity(), high = -low;
    for (const std::vector<Bar>* bars : {&a, &r})
        for (const Bar& b : *bars) {
            low = std::min(low, b.lower);
            high = std::max(high, b.upper);
        }
    if (discrete) {
        s += "set xrange [-0.05:1.05]\nset xtics 0, 0.2, 1\n";
    } else {
        std::vector<double> marks;
        if (adjusted.prior.known) {
            low = std::min(low, adjusted.prior.lower);
            high = std::max(high, adjusted.prior.upper);
            marks = {adjusted.prior.lower, adjusted.prior.upper};
        }
        s += xAxis(low, high, logAxis, axisEms(kPortraitPage, 2, 14), marks);
    }

    double top = 0.0;
    for (const std::vector<Bar>* bars : {&a, &r})
        for (const Bar& b : *bars) top = std::max(top, b.height);
    for (const auto& point : priorLine(adjusted.prior, logAxis)) top = std::max(top, point.second);
    s += yTics(top);

    p.data += barsBlock("adjusted" + n, a) + outlineBlock("rejection" + n, r);
    s += posteriorMarks(adjusted);
    std::vector<std::string> elements;
    if (!a.empty())
        elements.push_back("$adjusted" + n + " using 1:4:2:3:(0):4 with boxxyerror " +
                           adjustedStyle + " notitle");
    if (!r.empty())
        elements.push_back("$rejection" + n + " using 1:2 with lines " + rejectionStyle +
                           " notitle");
    const std::vector<std::pair<double, double>> prior = priorLine(adjusted.prior, logAxis);
    if (!prior.empty()) {
        p.prior = true;
        p.data += "$prior" + n + " << EOD\n";
        for (const auto& [x, density] : prior) p.data += number(x) + " " + number(density) + "\n";
        p.data += "EOD\n";
        elements.push_back("$prior" + n + " using 1:2 with lines " + priorStyle + " notitle");
    }
    s += "plot ";
    for (std::size_t i = 0; i < elements.size(); ++i) s += (i ? ", \\\n     " : "") + elements[i];
    s += "\nunset arrow\nunset label 9\n";
    return p;
}

// The legend's entries. When no parameter was adjusted the outline only
// borders the same bars.
std::string legendEntries(bool prior, bool adjusted, const ComparisonLabels& labels) {
    std::string s;
    if (adjusted) {
        s += std::string(", \\\n     keyentry with boxes ") + adjustedStyle + " title " +
             quoted(labels.filled);
        s += std::string(", \\\n     keyentry with lines ") + rejectionStyle + " title " +
             quoted(labels.outline);
    } else {
        s += std::string(", \\\n     keyentry with boxes ") + adjustedStyle +
             " title 'posterior (no adjustment)'";
    }
    if (prior)
        s += std::string(", \\\n     keyentry with lines ") + priorStyle + " title 'prior density'";
    return s + posteriorMarkKeys(adjusted ? labels.marks : "");
}

}  // namespace

std::string comparisonPlotScript(const std::vector<ColumnSummary>& adjusted,
                                 const std::vector<ColumnSummary>& rejection,
                                 const std::string& outputPath, const std::string& title,
                                 PlotFormat format, const ComparisonLabels& labels) {
    std::string data, panels;
    bool anyPrior = false, anyAdjusted = false;
    for (std::size_t c = 0; c < adjusted.size(); ++c) {
        const Panel p = panelFor(adjusted[c], rejection[c], c);
        data += p.data;
        panels += p.plot;
        anyPrior = anyPrior || p.prior;
        anyAdjusted = anyAdjusted || p.adjusted;
    }
    std::string s;
    s += "# Posteriors per parameter: after regression adjustment (filled) and from\n";
    s += "# rejection alone (outline), as densities on the panel's x scale, with the\n";
    s += "# prior density (green) and the adjusted posterior's median and 95 % interval.\n";
    s += data;
    s += terminalFor(format, kPortraitPage);
    s += "set output " + quoted(outputPath) + "\n";
    // Two panels a row, and a cell left over for the legend. The title names
    // a file: an underscore in it is no subscript.
    s += "set multiplot layout " + std::to_string(adjusted.size() / 2 + 1) + ",2 title " +
         heading(title, kPortraitPage) + " noenhanced\n";
    s += "set lmargin 10\nset rmargin 4\nset bmargin 4\n";
    s += "unset key\n";
    s += "set yrange [0:*]\n";
    s += "set offsets 0, 0, graph 0.05, 0\n";  // headroom above the tallest bar
    s += "set format x '%g'\nset format y '%g'\n";
    s += "set xtics nomirror\nset ytics nomirror\n";
    s += panels;
    s += legendCell(legendEntries(anyPrior, anyAdjusted, labels));
    s += "unset multiplot\n";
    s += "set output\n";
    return s;
}
