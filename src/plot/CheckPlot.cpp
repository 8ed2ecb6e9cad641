#include "plot/CheckPlot.h"

#include <cmath>

#include "abc/Histogram.h"
#include "plot/Plot.h"
#include "plot/PlotFormat.h"
#include "plot/PlotParts.h"
#include "sim/Columns.h"

namespace {

// One panel: the histogram of `values` as shares, and the observed value.
std::string panel(const std::vector<double>& values, double observed, const std::string& name,
                  const std::string& xLabel, std::size_t index) {
    std::vector<double> finite;
    for (double x : values)
        if (std::isfinite(x)) finite.push_back(x);
    const Histogram h = makeHistogram(finite, std::vector<double>(finite.size(), 1.0), false);
    const std::string data = "$bars" + std::to_string(index);
    std::string s = data + " << EOD\n";
    for (std::size_t i = 0; i < h.mass.size(); ++i) {
        double lower = h.lowerEdge(i), upper = h.upperEdge(i);
        if (!(upper > lower)) {  // every value equal: a narrow bar around it
            const double half = lower != 0.0 ? std::fabs(lower) * 0.01 : 0.5;
            lower -= half;
            upper += half;
        }
        s += number(h.centre(i)) + " " + number(lower) + " " + number(upper) + " " +
             number(h.mass[i]) + "\n";
    }
    s += "EOD\n";
    s +=
        "set title " + quoted(name) + " noenhanced\nset xlabel " + quoted(xLabel) + " noenhanced\n";
    s += "unset arrow\n";
    if (std::isfinite(observed))
        s += "set arrow 1 from " + number(observed) + ", graph 0 to " + number(observed) +
             ", graph 1 nohead lw 3 lc rgb '#c00000' front\n";
    if (h.mass.empty()) return s + "plot 0 notitle lc rgb '#ffffff'\n";
    // The observed value stays in view even far in a tail.
    double low = h.lowerEdge(0), high = h.upperEdge(h.mass.size() - 1);
    if (std::isfinite(observed)) low = std::fmin(low, observed), high = std::fmax(high, observed);
    const double pad = high > low ? (high - low) * 0.03 : 0.5;
    s += "set xrange [" + number(low - pad) + ":" + number(high + pad) + "]\n";
    return s + "plot " + data +
           " using 1:4:2:3:(0):4 with boxxyerror fc rgb '#6a8fd0' fs solid 0.6 notitle\n";
}

std::string header(const std::string& outputPath, const std::string& title, PlotFormat format,
                   const std::string& layout) {
    return terminalFor(format) + "set output " + quoted(outputPath) + "\nset multiplot layout " +
           layout + " title " + quoted(title) +
           " noenhanced\nset yrange [0:*]\n"
           "set ylabel 'share'\nset offsets 0, 0, graph 0.05, 0\nunset key\n";
}

std::string legend(const std::string& model, const std::string& observed) {
    return legendCell(
        ", \\\n     keyentry with boxes fc rgb '#6a8fd0' fs solid 0.6 title " + quoted(model) +
        ", \\\n     keyentry with lines lw 3 lc rgb '#c00000' title " + quoted(observed) + "\n");
}

}  // namespace

std::string fitPlotScript(const std::vector<double>& nullScores, double observedScore,
                          const std::string& outputPath, const std::string& title,
                          PlotFormat format) {
    std::string s = header(outputPath, title, format, "1,2");
    s += panel(nullScores, observedScore, "goodness of fit",
               "score: mean distance of the accepted simulations", 1);
    s += legend("simulations of the model (null)", "the data");
    return s + "unset multiplot\nset output\n";
}

std::string predictivePlotScript(const ReferenceTable& table,
                                 const std::array<double, numbTableStats>& observed,
                                 const std::string& outputPath, const std::string& title,
                                 PlotFormat format) {
    std::string s = header(outputPath, title, format, "4,4");
    for (std::size_t j = 0; j < numbTableStats; ++j)
        s += panel(table.stats[j], observed[j], tableStatNames[j], tableStatNames[j], j + 1);
    s += legend("posterior predictive", "observed");
    return s + "unset multiplot\nset output\n";
}
