#include "summary/AbcPlot.h"

#include <cmath>
#include <cstdio>

#include "summary/Plot.h"

namespace {

bool positiveEdges(const Histogram& h) { return h.mass.empty() || (h.lowerEdge(0) > 0.0); }

// One bar per line: centre, lower edge, upper edge, density on the axis scale.
std::string bars(const std::string& name, const Histogram& h, bool logAxis) {
    std::string s = "$" + name + " << EOD\n";
    for (std::size_t i = 0; i < h.mass.size(); ++i) {
        double lower = h.lowerEdge(i), upper = h.upperEdge(i);
        if (!(upper > lower)) {  // all values equal: a narrow bar around the value
            double half = lower != 0.0 ? std::fabs(lower) * 0.01 : 0.5;
            lower -= half;
            upper += half;
        }
        double width = logAxis ? std::log10(upper) - std::log10(lower) : upper - lower;
        s += number(h.centre(i)) + " " + number(lower) + " " + number(upper) + " " +
             number(h.mass[i] / width) + "\n";
    }
    return s + "EOD\n";
}

}  // namespace

std::string comparisonPlotScript(const std::vector<ColumnSummary>& adjusted,
                                 const std::vector<ColumnSummary>& rejection,
                                 const std::string& pngPath, const std::string& title,
                                 PlotFormat format) {
    (void)format;
    std::string s;
    s += "# Posterior histograms per parameter: after regression adjustment (red) and\n";
    s += "# from rejection alone (blue), as densities on the panel's x scale.\n";
    std::vector<bool> logAxis(adjusted.size());
    for (std::size_t c = 0; c < adjusted.size(); ++c) {
        const Histogram &a = adjusted[c].histogram, &r = rejection[c].histogram;
        logAxis[c] = (a.logScale || r.logScale) && positiveEdges(a) && positiveEdges(r);
        s += bars("adjusted" + std::to_string(c + 1), a, logAxis[c]);
        s += bars("rejection" + std::to_string(c + 1), r, logAxis[c]);
    }
    s += "if (strstrt(GPVAL_TERMINALS, 'pngcairo') > 0) {\n"
         "    set terminal pngcairo size 1200,1500 font ',10'\n"
         "} else {\n"
         "    set terminal png size 1200,1500\n"
         "}\n";
    s += "set output " + quoted(pngPath) + "\n";
    s += "set multiplot layout 4,2 title " + quoted(title) + "\n";
    s += "set style fill transparent solid 0.45 noborder\n";
    s += "set key top right\n";
    s += "set yrange [0:*]\n";
    s += "set offsets 0, 0, graph 0.05, 0\n";
    for (std::size_t c = 0; c < adjusted.size(); ++c) {
        const std::string n = std::to_string(c + 1);
        // Equal summaries: the parameter was not adjusted (or nothing was).
        const bool same =
            adjusted[c].mean == rejection[c].mean && adjusted[c].sd == rejection[c].sd;
        s += "set title " + quoted(adjusted[c].name + (same ? " (not adjusted)" : "")) + "\n";
        s += logAxis[c] ? "set logscale x\nset ylabel 'density per decade'\n"
                        : "unset logscale x\nset ylabel 'density'\n";
        s += "plot $rejection" + n +
             " using 1:4:2:3:(0):4 with boxxyerror lc rgb '#3060c0' title 'rejection', \\\n"
             "     $adjusted" +
             n + " using 1:4:2:3:(0):4 with boxxyerror lc rgb '#c03030' title 'adjusted'\n";
    }
    s += "unset multiplot\n";
    s += "set output\n";
    return s;
}
