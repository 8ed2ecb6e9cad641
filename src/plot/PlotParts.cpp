#include "plot/PlotParts.h"

#include <cmath>
#include <cstdio>
#include <vector>

#include "plot/Plot.h"
#include "plot/PlotFormat.h"

namespace {

const char* const medianStyle = "lw 3 lc rgb '#c00000'";
const char* const intervalStyle = "dt 2 lw 2 lc rgb '#e08000'";

// No line where `x` is no number (a quantile of no values).
std::string verticalLine(int arrow, double x, const char* style) {
    if (!std::isfinite(x)) return "";
    return "set arrow " + std::to_string(arrow) + " from first " + number(x) +
           ", graph 0 to first " + number(x) + ", graph 1 nohead " + style + " front\n";
}

}  // namespace

std::string terminalFor(PlotFormat format) {
    switch (format) {
        case PlotFormat::svg:
            return "if (strstrt(GPVAL_TERMINALS, ' svg ') == 0) {\n"
                   "    print 'this gnuplot cannot write SVG (it has no svg terminal)'\n"
                   "    exit status 1\n"
                   "}\n"
                   "set terminal svg size 1200,1500 font 'sans,12' background rgb 'white'\n";
        case PlotFormat::pdf:
            return "if (strstrt(GPVAL_TERMINALS, 'pdfcairo') == 0) {\n"
                   "    print 'this gnuplot cannot write PDF (it has no pdfcairo terminal)'\n"
                   "    exit status 1\n"
                   "}\n"
                   "set terminal pdfcairo size 8in,10in font ',8'\n";
        default:
            return "if (strstrt(GPVAL_TERMINALS, 'pngcairo') > 0) {\n"
                   "    set terminal pngcairo size 1200,1500 font ',10'\n"
                   "} else {\n"
                   "    set terminal png size 1200,1500 font ',9'\n"
                   "}\n";
    }
}

std::string logTics(double low, double high) {
    if (!(low > 0.0) || !(high > low) || !std::isfinite(high)) return "set xtics autofreq\n";
    std::vector<double> tics, powers;
    for (int e = static_cast<int>(std::floor(std::log10(low)));
         e <= static_cast<int>(std::ceil(std::log10(high))); ++e) {
        for (double m : {1.0, 2.0, 5.0}) {
            const double x = m * std::pow(10.0, e);
            if (x < low * (1 - 1e-9) || x > high * (1 + 1e-9)) continue;
            tics.push_back(x);
            if (m == 1.0) powers.push_back(x);
        }
    }
    if (tics.size() > 9 && powers.size() >= 2) tics = powers;
    if (tics.size() < 2) return "set xtics autofreq\n";
    std::string s = "set xtics (";
    char buf[32];
    for (std::size_t i = 0; i < tics.size(); ++i) {
        std::snprintf(buf, sizeof buf, "%.6g", tics[i]);  // 2e-4, not 0.00020000000000000001
        s += (i ? ", " : "") + std::string(buf);
    }
    return s + ")\n";
}

std::string xRange(double low, double high, bool logAxis) {
    if (logAxis) {
        low *= 1 - 1e-9;
        high *= 1 + 1e-9;
    }
    return "set xrange [" + number(low) + ":" + number(high) + "]\n";
}

std::string posteriorMarks(const ColumnSummary& col) {
    return verticalLine(1, col.median, medianStyle) + verticalLine(2, col.q025, intervalStyle) +
           verticalLine(3, col.q975, intervalStyle);
}

std::string legendCell(const std::string& entries) {
    std::string s = "unset title\nunset xlabel\nunset ylabel\nunset logscale x\nunset arrow\n";
    s += "unset border\nunset xtics\nunset ytics\nset xrange [0:1]\nset yrange [0:1]\n";
    s += "set key center center vertical Left reverse samplen 5 spacing 1.5 font ',11'\n";
    // A plot of keys alone is refused: the NaN gives it something to draw.
    return s + "plot NaN notitle" + entries + "\n";
}

std::string posteriorMarkKeys(const std::string& whose) {
    return std::string(", \\\n     keyentry with lines ") + medianStyle + " title " +
           quoted("median" + whose) + ", \\\n     keyentry with lines " + intervalStyle +
           " title " + quoted("95 % interval" + whose);
}
