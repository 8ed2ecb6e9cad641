#include "plot/ChoicePlot.h"

#include <algorithm>
#include <cmath>

#include "abc/Histogram.h"
#include "plot/Plot.h"
#include "plot/PlotParts.h"

namespace {

constexpr std::size_t kDrawnPerModel = 2000;
const char* const kColours[] = {"#1f77b4", "#d62728", "#2ca02c", "#9467bd",
                                "#ff7f0e", "#8c564b", "#e377c2", "#17becf"};

std::string colour(std::size_t m) { return kColours[m % (sizeof kColours / sizeof *kColours)]; }

}  // namespace

std::string choicePlotScript(const FeatureMatrix& scores, const std::vector<std::size_t>& model,
                             const std::vector<double>& observed,
                             const std::vector<std::string>& names, const std::string& outputPath,
                             const std::string& title, PlotFormat format) {
    std::string s = terminalFor(format) + "set output " + quoted(outputPath) + "\nset title " +
                    quoted(title) + " noenhanced\nset key outside right top noenhanced\n";
    const std::size_t models = names.size();
    std::vector<std::size_t> drawn(models, 0);
    if (scores.cols >= 2) {
        for (std::size_t m = 0; m < models; ++m) {
            s += "$model" + std::to_string(m) + " << EOD\n";
            for (std::size_t r = 0; r < scores.rows; ++r)
                if (model[r] == m && drawn[m] < kDrawnPerModel &&
                    std::isfinite(scores.at(r, 0)) && std::isfinite(scores.at(r, 1))) {
                    s += number(scores.at(r, 0)) + " " + number(scores.at(r, 1)) + "\n";
                    ++drawn[m];
                }
            s += "EOD\n";
        }
        s += "set xlabel 'first linear discriminant axis (LD1)'\n"
             "set ylabel 'second linear discriminant axis (LD2)'\n";
        std::string plot = "plot ";
        for (std::size_t m = 0; m < models; ++m)
            plot += "$model" + std::to_string(m) + " using 1:2 with points pt 7 ps 0.5 lc rgb '" +
                    colour(m) + "' title " + quoted(names[m]) + ", \\\n     ";
        if (observed.size() >= 2 && std::isfinite(observed[0]) && std::isfinite(observed[1]))
            plot += "'+' using (" + number(observed[0]) + "):(" + number(observed[1]) +
                    ") every ::0::0 with points pt 2 ps 4 lw 3 lc rgb 'black' title 'the data'\n";
        else
            plot += "NaN notitle\n";
        return s + plot + "set output\n";
    }
    // One axis: each model's scores as a histogram of shares.
    s += "set xlabel 'linear discriminant axis (LD1)'\nset ylabel 'share of the model''s "
         "simulations'\nset yrange [0:*]\nset style fill transparent solid 0.4 noborder\n";
    std::string plot = "plot ";
    for (std::size_t m = 0; m < models; ++m) {
        std::vector<double> values;
        for (std::size_t r = 0; r < scores.rows; ++r)
            if (model[r] == m && std::isfinite(scores.at(r, 0))) values.push_back(scores.at(r, 0));
        const Histogram h = makeHistogram(values, std::vector<double>(values.size(), 1.0), false);
        s += "$model" + std::to_string(m) + " << EOD\n";
        for (std::size_t i = 0; i < h.mass.size(); ++i)
            s += number(h.centre(i)) + " " + number(h.mass[i]) + " " +
                 number(h.upperEdge(i) - h.lowerEdge(i)) + "\n";
        s += "EOD\n";
        plot += "$model" + std::to_string(m) + " using 1:2:3 with boxes lc rgb '" + colour(m) +
                "' title " + quoted(names[m]) + ", \\\n     ";
    }
    if (!observed.empty() && std::isfinite(observed[0]))
        s += "set arrow 1 from " + number(observed[0]) + ", graph 0 to " + number(observed[0]) +
             ", graph 1 nohead lw 3 lc rgb 'black' front\n";
    plot += "NaN with lines lw 3 lc rgb 'black' title 'the data'\n";
    return s + plot + "set output\n";
}
