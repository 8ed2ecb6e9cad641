#include "plot/CheckPlot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

#include "abc/Histogram.h"
#include "plot/Plot.h"
#include "plot/PlotFormat.h"
#include "plot/PlotParts.h"
#include "sim/Columns.h"

namespace {

const char* const barStyle = "fc rgb '#6a8fd0' fs solid 0.6";
const char* const observedStyle = "lw 3 lc rgb '#202020'";
const char* const flaggedStyle = "lw 3 lc rgb '#c00000'";

// The histogram of `values` as a datablock `$bars<index>` (centre, edges,
// height), each bar's height its share of `total` values; `top` becomes the
// tallest height.
std::string barsBlock(const std::vector<double>& values, std::size_t total, std::size_t index,
                      double& top) {
    top = 0.0;
    const Histogram h = makeHistogram(values, std::vector<double>(values.size(), 1.0), false);
    const double scale = total > 0 ? static_cast<double>(values.size()) / total : 0.0;
    std::string s = "$bars" + std::to_string(index) + " << EOD\n";
    for (std::size_t i = 0; i < h.mass.size(); ++i) {
        double lower = h.lowerEdge(i), upper = h.upperEdge(i);
        if (!(upper > lower)) {  // every value equal: a narrow bar around it
            const double half = lower != 0.0 ? std::fabs(lower) * 0.01 : 0.5;
            lower -= half;
            upper += half;
        }
        s += number(h.centre(i)) + " " + number(lower) + " " + number(upper) + " " +
             number(h.mass[i] * scale) + "\n";
        top = std::max(top, h.mass[i] * scale);
    }
    return s + "EOD\n";
}

// The vertical line of the observed value.
std::string observedLine(double observed, const char* style) {
    if (!std::isfinite(observed)) return "";
    return "set arrow 1 from first " + number(observed) + ", graph 0 to first " +
           number(observed) + ", graph 1 nohead " + style + " front\n";
}

// The finite values of `values`, in increasing order.
std::vector<double> sortedFinite(const std::vector<double>& values) {
    std::vector<double> finite;
    for (double x : values)
        if (std::isfinite(x)) finite.push_back(x);
    std::sort(finite.begin(), finite.end());
    return finite;
}

// The range of a panel from `low` to `high` with `observed` in view; a
// range of no width becomes one around its value.
std::pair<double, double> withObserved(double low, double high, double observed) {
    if (std::isfinite(observed)) low = std::min(low, observed), high = std::max(high, observed);
    if (!(high > low)) {
        const double half = low != 0.0 ? std::fabs(low) * 0.05 : 0.5;
        low -= half;
        high += half;
    }
    return {low, high};
}

std::string tailText(double tail) {
    if (!std::isfinite(tail)) return "undefined";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f", tail);
    return buf;
}

}  // namespace

std::string statisticMeaning(const std::string& name) {
    // What each statistic of TableStats.h measures; allele values are
    // numbers of repeats, so their differences and variances count repeats.
    // The panel's title names the population; a label too wide for a panel
    // of three a row keeps its unit on a second line.
    static const std::map<std::string, std::string> meanings = {
        {"S", "pairwise difference, summed\nover loci (repeats)"},
        {"NAL", "alleles per locus"},
        {"HET", "expected heterozygosity"},
        {"VAR", "variance in repeat number\n(repeats²)"},
        {"MGW", "M ratio (Garza–Williamson)"},
        {"DM2", "(δμ)² distance (repeats²)"},
        {"FST", "fixation index FST"},
        {"SDHET", "heterozygosity's standard\ndeviation over loci"},
        {"SDVAR", "variance's standard deviation\nover loci (repeats²)"},
        {"GAP", "share of gaps between\nneighbouring alleles"}};
    const auto it = meanings.find(name.substr(0, name.rfind('_')));
    return it == meanings.end() ? name : it->second;
}

std::string fitPlotScript(const std::vector<double>& nullScores, double observedScore,
                          const std::string& outputPath, const std::string& title,
                          PlotFormat format, const std::string& scoreAxis) {
    const std::vector<double> finite = sortedFinite(nullScores);
    double top = 0.0;
    std::string s = barsBlock(finite, finite.size(), 1, top);
    s += terminalFor(format, kLandscapePage) + "set output " + quoted(outputPath) + "\n";
    s += "set title " + heading(title, kLandscapePage) + " noenhanced\n";
    s += "set xlabel " + quoted(scoreAxis) + "\n";
    s += "set ylabel 'share of the null scores'\nset yrange [0:*]\n";
    s += "set offsets 0, 0, graph 0.1, 0\nset format y '%g'\n";
    s += "set xtics nomirror\nset ytics nomirror\n";
    s += "set key top right samplen 3\n";
    s += "set lmargin 10\nset rmargin 3\n" + yTics(top);
    if (!finite.empty()) {
        const auto [low, high] = withObserved(finite.front(), finite.back(), observedScore);
        s += xAxis(low, high, false, axisEms(kLandscapePage, 1, 13));
    }
    s += observedLine(observedScore, flaggedStyle);
    s += "plot " + std::string(finite.empty() ? "NaN" : "$bars1 using 1:4:2:3:(0):4") +
         " with boxxyerror " + barStyle +
         " title 'simulations of the model (null)', \\\n"
         "     keyentry with lines " +
         flaggedStyle + " title 'the data'\n";
    return s + "set output\n";
}

std::string predictivePlotScript(const ReferenceTable& table,
                                 const std::array<PredictiveStatistic, numbTableStats>& check,
                                 const std::string& outputPath, const std::string& title,
                                 PlotFormat format) {
    constexpr int columns = 3;
    const int rows = static_cast<int>((table.numbStats + columns - 1) / columns);
    // The six rows of a table with the spread and shape statistics take a
    // taller page, and their lower panels fewer labels up the side.
    const Page page = rows > 4 ? kTallPage : kPortraitPage;
    const double ySteps = rows > 4 ? 2.5 : 4.5;
    std::string data, panels;
    const double ems = axisEms(page, columns, 11);
    for (std::size_t j = 0; j < table.numbStats; ++j) {
        const std::vector<double> finite = sortedFinite(table.stats[j]);
        const PredictiveStatistic& c = check[j];
        const bool flagged = c.tail < 0.05;
        // The axis spans the central 99 % of the simulations and the observed
        // value: a long tail (VAR's run to many times the bulk) would
        // otherwise squeeze the bulk and the observed line against the axis.
        std::vector<double> bulk;
        double low = 0.0, high = 0.0;
        if (!finite.empty()) {
            low = finite[static_cast<std::size_t>(0.005 * (finite.size() - 1))];
            high = finite[static_cast<std::size_t>(std::ceil(0.995 * (finite.size() - 1)))];
            for (double x : finite)
                if (x >= low && x <= high) bulk.push_back(x);
        }
        double top = 0.0;
        data += barsBlock(bulk, finite.size(), j + 1, top);
        std::string& s = panels;
        s += "set title " +
             quoted(std::string(tableStatNames[j]) + "   p = " + tailText(c.tail) +
                    (flagged ? " *" : "")) +
             " noenhanced" + (flagged ? " textcolor rgb '#c00000'" : " textcolor rgb 'black'") + "\n";
        s += "set xlabel " + quotedLines(statisticMeaning(tableStatNames[j])) + " noenhanced\n";
        s += "unset arrow\n";
        s += observedLine(c.observed, flagged ? flaggedStyle : observedStyle);
        if (finite.empty()) {
            s += "set xrange [0:1]\nset xtics autofreq\nset ytics autofreq\nplot NaN notitle\n";
            continue;
        }
        const auto [a, b] = withObserved(low, high, c.observed);
        s += xAxis(a, b, false, ems) + yTics(top, ySteps);
        s += "plot $bars" + std::to_string(j + 1) + " using 1:4:2:3:(0):4 with boxxyerror " +
             barStyle + " notitle\n";
    }
    std::string s = data;
    s += terminalFor(format, page) + "set output " + quoted(outputPath) + "\n";
    // The legend is the heading's second line, so that every cell holds a
    // panel.
    s += "set multiplot layout " + std::to_string(rows) + "," + std::to_string(columns) +
         " title " + heading(title, page) + ".\"\\n\"." +
         heading("bars: the statistic in the simulations (share of them, central 99 %); "
                 "line: its observed value; p: tail probability, red and * below 0.05",
                 page) +
         " noenhanced\n";
    s += "set yrange [0:*]\nset ylabel 'share'\nset offsets 0, 0, graph 0.05, 0\nunset key\n";
    s += "set format y '%g'\nset xtics nomirror\nset ytics nomirror\n";
    s += "set lmargin 8\nset rmargin 3\nset bmargin 4\n";
    s += panels;
    return s + "unset multiplot\nset output\n";
}
