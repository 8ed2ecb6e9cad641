#include "plot/ImportancePlot.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "plot/Plot.h"
#include "plot/PlotParts.h"

std::string importancePlotScript(const std::vector<std::string>& parameters,
                                 const std::vector<std::vector<double>>& importance,
                                 const std::vector<std::string>& statistics,
                                 const std::string& outputPath, const std::string& title,
                                 PlotFormat format) {
    const std::size_t rows = (parameters.size() + 1) / 2;
    // The left margin and the space between the columns hold the names: seven
    // characters (NAL_sue) in the room of the core statistics, and for each
    // character more a character's width of the page (0.6 em of 10 pt on 8
    // inches) more.
    std::size_t longest = 7;
    for (const std::string& name : statistics) longest = std::max(longest, name.size());
    const double extra =
        static_cast<double>(longest - 7) * 0.6 * kTextPoints / 72.0 / kTallPage.width;
    const std::string left = longest > 7 ? number(0.1 + extra) : "0.1";
    const std::string between = longest > 7 ? number(0.12 + extra) : "0.12";
    std::string s = terminalFor(format, kTallPage) + "set output " + quoted(outputPath) +
                    "\nset multiplot layout " + std::to_string(rows) +
                    // Every panel alike, the names of each as far apart as
                    // the page allows: margins and spacing fixed as shares
                    // of the page, room below for the x axis' label.
                    ",2 margins " + left + ", 0.98, 0.055, 0.93 spacing " + between +
                    ", 0.075 title " +
                    heading(title, kTallPage) +
                    " noenhanced\nset termoption noenhanced\nunset key\nset style fill solid 0.7 noborder\n"
                    "set xrange [0:1.05]\nset xtics 0, 0.25, 1\n"
                    "set xtics nomirror\nset ytics nomirror scale 0\n";
    for (std::size_t k = 0; k < parameters.size(); ++k) {
        const std::vector<double>& v = importance[k];
        std::vector<std::size_t> order(v.size());
        std::iota(order.begin(), order.end(), std::size_t{0});
        std::stable_sort(order.begin(), order.end(),
                         [&](std::size_t a, std::size_t b) { return v[a] > v[b]; });
        const double largest = v.empty() ? 0.0 : v[order[0]];
        const std::string data = "$importance" + std::to_string(k);
        s += data + " << EOD\n";
        // Longest at the top: the last row is drawn highest.
        for (std::size_t r = order.size(); r-- > 0;) {
            const double share = largest > 0.0 ? v[order[r]] / largest : 0.0;
            s += std::to_string(order.size() - 1 - r) + " " + number(share) + " " +
                 statistics[order[r]] + "\n";
        }
        s += "EOD\n";
        s += "set title " + quoted(parameters[k]) + " noenhanced\n";
        // The axis is named under the lowest panel of each column only, in
        // the page's margin or the empty cell below.
        s += k + 2 >= parameters.size() ? "set xlabel 'variance decrease (share of the largest)'\n"
                                        : "unset xlabel\n";
        s += "set yrange [-0.6:" + std::to_string(order.size()) + "-0.4]\n";
        s += "plot " + data +
             " using ($2/2):1:($2/2):(0.35):ytic(3) with boxxyerror lc rgb '#6a8fd0'\n";
    }
    return s + "unset multiplot\nset output\n";
}

std::string importancePlotPath(const std::string& plotPath) {
    const std::size_t dot = plotPath.find_last_of("./");
    if (dot == std::string::npos || plotPath[dot] != '.') return plotPath + "-importance";
    return plotPath.substr(0, dot) + "-importance" + plotPath.substr(dot);
}
