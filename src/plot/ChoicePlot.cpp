#include "plot/ChoicePlot.h"

#include <algorithm>
#include <cmath>

#include "abc/Histogram.h"
#include "plot/Plot.h"
#include "plot/PlotParts.h"

namespace {

constexpr std::size_t kDrawnPerModel = 1000;
const char* const kColours[] = {"#1f77b4", "#d62728", "#2ca02c", "#9467bd",
                                "#ff7f0e", "#8c564b", "#e377c2", "#17becf"};

std::string colour(std::size_t m) { return kColours[m % (sizeof kColours / sizeof *kColours)]; }

// Each axis' scores have a within-model variance of 1 (Lda.h): their unit.
std::string axisLabel(const char* which, int axis) {
    return std::string(which) + "linear discriminant axis (LD" + std::to_string(axis) +
           ")\nin within-model standard deviations";
}

// The range from the 0.5 % to the 99.5 % quantile of `values`, and `observed`
// when finite: a few scattered simulations far out would otherwise shrink
// the cloud where the models differ to a corner.
std::pair<double, double> bulkRange(std::vector<double> values, double observed) {
    std::sort(values.begin(), values.end());
    double low = values[static_cast<std::size_t>(0.005 * (values.size() - 1))];
    double high = values[static_cast<std::size_t>(std::ceil(0.995 * (values.size() - 1)))];
    if (std::isfinite(observed)) low = std::min(low, observed), high = std::max(high, observed);
    if (!(high > low)) low -= 0.5, high += 0.5;
    return {low, high};
}

}  // namespace

std::string choicePlotScript(const FeatureMatrix& scores, const std::vector<std::size_t>& model,
                             const std::vector<double>& observed,
                             const std::vector<std::string>& names, const std::string& outputPath,
                             const std::string& title, PlotFormat format) {
    std::string s = terminalFor(format, kLandscapePage) + "set output " + quoted(outputPath) +
                    "\nset title " + heading(title, kLandscapePage) +
                    " noenhanced\nset key outside right top Left reverse noenhanced samplen 2\n"
                    "set xtics nomirror\nset ytics nomirror\nset format y '%g'\n";
    const double ems = axisEms(kLandscapePage, 1, 40);  // the key takes about 30 characters
    const std::size_t models = names.size();
    std::vector<std::size_t> drawn(models, 0);
    if (scores.cols >= 2) {
        std::vector<double> xs, ys;
        for (std::size_t m = 0; m < models; ++m) {
            s += "$model" + std::to_string(m) + " << EOD\n";
            for (std::size_t r = 0; r < scores.rows; ++r)
                if (model[r] == m && drawn[m] < kDrawnPerModel &&
                    std::isfinite(scores.at(r, 0)) && std::isfinite(scores.at(r, 1))) {
                    s += number(scores.at(r, 0)) + " " + number(scores.at(r, 1)) + "\n";
                    xs.push_back(scores.at(r, 0));
                    ys.push_back(scores.at(r, 1));
                    ++drawn[m];
                }
            s += "EOD\n";
        }
        const bool seen = observed.size() >= 2 && std::isfinite(observed[0]) &&
                          std::isfinite(observed[1]);
        s += "set xlabel " + quotedLines(axisLabel("first ", 1)) + "\nset ylabel " +
             quotedLines(axisLabel("second ", 2)) + "\n";
        if (!xs.empty()) {
            const auto [xLow, xHigh] = bulkRange(xs, seen ? observed[0] : NAN);
            const auto [yLow, yHigh] = bulkRange(ys, seen ? observed[1] : NAN);
            s += xAxis(xLow, xHigh, false, ems);
            s += "set yrange [" + number(yLow - 0.03 * (yHigh - yLow)) + ":" +
                 number(yHigh + 0.03 * (yHigh - yLow)) + "]\n";
        }
        // The legend's points larger than the drawn ones, to show their colour.
        std::string plot = "plot ";
        for (std::size_t m = 0; m < models; ++m)
            plot += "$model" + std::to_string(m) + " using 1:2 with points pt 7 ps 0.4 lc rgb '" +
                    colour(m) + "' notitle, \\\n     keyentry with points pt 7 ps 1.5 lc rgb '" +
                    colour(m) + "' title " + quoted(names[m]) + ", \\\n     ";
        if (seen)
            plot += "'+' using (" + number(observed[0]) + "):(" + number(observed[1]) +
                    ") every ::0::0 with points pt 2 ps 4 lw 3 lc rgb 'black' title 'the data'\n";
        else
            plot += "NaN notitle\n";
        return s + plot + "set output\n";
    }
    // One axis: each model's scores as a histogram of shares.
    s += "set xlabel " + quotedLines(axisLabel("", 1)) +
         "\nset ylabel 'share of the model''s simulations'\nset yrange [0:*]\n"
         "set style fill transparent solid 0.4 noborder\n";
    std::string plot = "plot ";
    std::vector<double> all;
    for (std::size_t m = 0; m < models; ++m) {
        std::vector<double> values;
        for (std::size_t r = 0; r < scores.rows; ++r)
            if (model[r] == m && std::isfinite(scores.at(r, 0))) values.push_back(scores.at(r, 0));
        all.insert(all.end(), values.begin(), values.end());
        const Histogram h = makeHistogram(values, std::vector<double>(values.size(), 1.0), false);
        s += "$model" + std::to_string(m) + " << EOD\n";
        for (std::size_t i = 0; i < h.mass.size(); ++i)
            s += number(h.centre(i)) + " " + number(h.mass[i]) + " " +
                 number(h.upperEdge(i) - h.lowerEdge(i)) + "\n";
        s += "EOD\n";
        plot += "$model" + std::to_string(m) + " using 1:2:3 with boxes lc rgb '" + colour(m) +
                "' title " + quoted(names[m]) + ", \\\n     ";
    }
    const bool seen = !observed.empty() && std::isfinite(observed[0]);
    if (!all.empty()) {
        const auto [low, high] = bulkRange(all, seen ? observed[0] : NAN);
        s += xAxis(low, high, false, ems);
    }
    if (seen)
        s += "set arrow 1 from first " + number(observed[0]) + ", graph 0 to first " +
             number(observed[0]) + ", graph 1 nohead lw 3 lc rgb 'black' front\n";
    plot += "NaN with lines lw 3 lc rgb 'black' title 'the data'\n";
    return s + plot + "set output\n";
}
