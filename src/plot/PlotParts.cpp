#include "plot/PlotParts.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "plot/Plot.h"
#include "plot/PlotFormat.h"

namespace {

const char* const medianStyle = "lw 4 lc rgb '#c00000'";
const char* const intervalStyle = "dt 2 lw 2 lc rgb '#e08000'";

// Pixels an inch of the raster and vector pictures, and the points of an
// inch. An SVG's text size is in its pixels, a cairo PNG's in points of 96
// pixels an inch.
constexpr double kPngPixelsPerInch = 150.0;
constexpr double kSvgPixelsPerInch = 96.0;
constexpr double kPointsPerInch = 72.0;
// gnuplot's pdfcairo terminal sets its text at two thirds of the font size
// it is given ('sans,15' prints 10 pt text): the size asked for is scaled up
// by as much.
constexpr double kPdfcairoFontScale = 1.5;

// A sans-serif digit is about 0.55 to 0.64 em wide: the wider bound, so
// that labels judged apart are apart in every font.
constexpr double kEmsPerChar = 0.64;
// Empty space kept between two tick labels, in ems.
constexpr double kLabelGap = 1.0;

// No line where `x` is no number (a quantile of no values).
std::string verticalLine(int arrow, double x, const char* style) {
    if (!std::isfinite(x)) return "";
    return "set arrow " + std::to_string(arrow) + " from first " + number(x) +
           ", graph 0 to first " + number(x) + ", graph 1 nohead " + style + " front\n";
}

std::string fixed(double x, const char* format) {
    char buf[32];
    std::snprintf(buf, sizeof buf, format, x);
    return buf;
}

// A tick label: three significant digits (all digits before the point),
// never an exponent (0.0002, 10000), and no "-0" for a 0 that rounding left
// negative. A prior's bound of 10^1.7 reads 50.1.
std::string ticLabel(double x) {
    if (x == 0.0) return "0";
    const int decimals = std::max(0, 2 - static_cast<int>(std::floor(std::log10(std::fabs(x)))));
    std::string s = fixed(x, ("%." + std::to_string(std::min(decimals, 12)) + "f").c_str());
    if (s.find('.') != std::string::npos) {
        s.erase(s.find_last_not_of('0') + 1);
        if (s.back() == '.') s.pop_back();
    }
    return s == "-0" ? "0" : s;
}

// The tick candidates between `low` and `high`: multiples of the smallest
// round step (1, 2 or 5 times a power of ten) whose labels keep apart on an
// axis `ems` wide.
std::vector<double> linearCandidates(double low, double high, double ems) {
    const double span = high - low;
    std::vector<double> finer;  // the tics of the last step that crowded
    for (int e = static_cast<int>(std::floor(std::log10(span))) - 3;
         e <= static_cast<int>(std::ceil(std::log10(span))) + 1; ++e)
        for (double m : {1.0, 2.0, 5.0}) {
            const double step = m * std::pow(10.0, e);
            const double first = std::ceil(low / step - 1e-9), last = std::floor(high / step + 1e-9);
            if (last - first > 50) continue;
            std::vector<double> tics;
            std::size_t longest = 0;
            for (double k = first; k <= last; ++k) {
                tics.push_back(k * step);
                longest = std::max(longest, ticLabel(k * step).size());
            }
            // A step that keeps its labels apart but leaves a single one on
            // the axis is no scale: the finer step's tics are offered
            // instead, and every other one of them keeps apart.
            if (step / span * ems >= longest * kEmsPerChar + kLabelGap)
                return tics.size() < 2 && finer.size() >= 3 ? finer : tics;
            finer = std::move(tics);
        }
    return {};
}

// The tick candidates of a log axis: 1, 2 and 5 times the powers of ten, or
// the powers alone (every second or fifth on a long span) when those crowd.
std::vector<double> logCandidates(double low, double high, double ems) {
    const double decades = std::log10(high) - std::log10(low);
    const double perDecade = ems / decades;
    std::vector<double> mantissas = {1.0, 2.0, 5.0};
    int every = 1;
    // Between 1 and 2 lies 0.3 of a decade: room there for labels of up
    // to about four characters.
    if (0.301 * perDecade < 4 * kEmsPerChar + kLabelGap) mantissas = {1.0};
    while (every * perDecade < 5 * kEmsPerChar + kLabelGap && every < 100) every = every == 1 ? 2 : every * 5 / 2;
    std::vector<double> tics;
    for (int e = static_cast<int>(std::floor(std::log10(low)));
         e <= static_cast<int>(std::ceil(std::log10(high))); ++e) {
        if (e % every != 0) continue;
        for (double m : mantissas) tics.push_back(m * std::pow(10.0, e));
    }
    return tics;
}

}  // namespace

std::string terminalFor(PlotFormat format, Page page) {
    const std::string pngSize = fixed(page.width * kPngPixelsPerInch, "%.0f") + "," +
                                fixed(page.height * kPngPixelsPerInch, "%.0f");
    // Points on a cairo PNG are 1/96 inch of its pixels; the plain png
    // terminal's fonts run about a tenth larger.
    const double pngPoints = kTextPoints * kPngPixelsPerInch / 96.0;
    switch (format) {
        case PlotFormat::svg:
            return "if (strstrt(GPVAL_TERMINALS, ' svg ') == 0) {\n"
                   "    print 'this gnuplot cannot write SVG (it has no svg terminal)'\n"
                   "    exit status 1\n"
                   "}\n"
                   "set encoding utf8\n"
                   "set terminal svg size " +
                   fixed(page.width * kSvgPixelsPerInch, "%.0f") + "," +
                   fixed(page.height * kSvgPixelsPerInch, "%.0f") + " font 'sans," +
                   fixed(kTextPoints * kSvgPixelsPerInch / kPointsPerInch, "%.2f") +
                   "' background rgb 'white'\n";
        case PlotFormat::pdf:
            return "if (strstrt(GPVAL_TERMINALS, 'pdfcairo') == 0) {\n"
                   "    print 'this gnuplot cannot write PDF (it has no pdfcairo terminal)'\n"
                   "    exit status 1\n"
                   "}\n"
                   "set encoding utf8\n"
                   "set terminal pdfcairo size " +
                   fixed(page.width, "%g") + "in," + fixed(page.height, "%g") + "in font 'sans," +
                   fixed(kTextPoints * kPdfcairoFontScale, "%g") + "'\n";
        default:
            return "set encoding utf8\n"
                   "if (strstrt(GPVAL_TERMINALS, 'pngcairo') > 0) {\n"
                   "    set terminal pngcairo size " +
                   pngSize + " font 'sans," + fixed(pngPoints, "%.1f") +
                   "' linewidth 1.5\n"
                   "} else {\n"
                   "    set terminal png size " +
                   pngSize + " font 'sans," + fixed(pngPoints * 0.9, "%.1f") +
                   "'\n"
                   "}\n";
    }
}

std::string heading(const std::string& text, Page page) {
    // About 0.55 em a character of running text, and a little room at the
    // page's edges.
    const std::size_t most =
        static_cast<std::size_t>((page.width * kPointsPerInch / kTextPoints - 4) / 0.55);
    std::string out, line;
    std::size_t start = 0;
    while (start < text.size()) {
        // The next piece: up to and including the next break's blank.
        std::size_t cut = text.size();
        for (const char* mark : {", ", "; ", ": "}) {
            const std::size_t at = text.find(mark, start);
            if (at != std::string::npos) cut = std::min(cut, at + 2);
        }
        const std::string piece = text.substr(start, cut - start);
        if (!line.empty() && line.size() + piece.size() > most) {
            out += line + "\n";
            line.clear();
        }
        line += piece;
        start = cut;
    }
    return quotedLines(out + line);
}

double axisEms(Page page, int columns, double marginChars) {
    const double panelEms = page.width * kPointsPerInch / columns / kTextPoints;
    // gnuplot's character width is about 0.6 em.
    return std::max(1.0, panelEms - 0.6 * marginChars);
}

std::string xAxis(double low, double high, bool logAxis, double ems,
                  const std::vector<double>& marks) {
    if (!std::isfinite(low) || !std::isfinite(high) || !(high > low) || (logAxis && !(low > 0.0)))
        return "set autoscale x\nset xtics autofreq\n";
    // The range, widened.
    double a = low, b = high;
    if (logAxis) {
        const double pad = 0.03 * (std::log10(high) - std::log10(low));
        a = std::pow(10.0, std::log10(low) - pad);
        b = std::pow(10.0, std::log10(high) + pad);
    } else {
        const double pad = 0.03 * (high - low);
        a = low - pad;
        b = high + pad;
    }
    const auto at = [&](double x) {
        return logAxis ? (std::log10(x) - std::log10(a)) / (std::log10(b) - std::log10(a))
                       : (x - a) / (b - a);
    };
    struct Tic {
        double x;
        std::string label;
    };
    std::vector<Tic> kept;
    const auto offer = [&](double x) {
        if (!std::isfinite(x) || (logAxis && !(x > 0.0))) return;
        const double p = at(x);
        if (p < 0.0 || p > 1.0) return;
        const std::string label = ticLabel(x);
        for (const Tic& t : kept) {
            const double room = (label.size() + t.label.size()) / 2.0 * kEmsPerChar + kLabelGap;
            if (std::fabs(p - at(t.x)) * ems < room) return;
        }
        kept.push_back({x, label});
    };
    for (double m : marks) offer(m);
    for (double x : logAxis ? logCandidates(a, b, ems) : linearCandidates(a, b, ems)) offer(x);
    std::string s = "set xrange [" + number(a) + ":" + number(b) + "]\n";
    if (kept.size() < 2) return s + "set xtics autofreq\n";
    std::sort(kept.begin(), kept.end(), [](const Tic& l, const Tic& r) { return l.x < r.x; });
    s += "set xtics (";
    for (std::size_t i = 0; i < kept.size(); ++i)
        s += (i ? ", " : "") + quoted(kept[i].label) + " " + number(kept[i].x);
    return s + ")\n";
}

std::string yTics(double top, double steps) {
    if (!(top > 0.0) || !std::isfinite(top)) return "set ytics autofreq\nset format y '%g'\n";
    const double power = std::pow(10.0, std::floor(std::log10(top / 4)));
    double step = power;
    for (double m : {1.0, 2.0, 5.0, 10.0, 20.0})
        if (top / (m * power) <= steps) {
            step = m * power;
            break;
        }
    // gnuplot's %g writes exponents below 10^-4 and from 10^6 on (5e-05
    // beside 0.0001, 2e+06): a step below 10^-4 gets as many decimals as it
    // needs, all labels alike, and a whole step no decimals.
    const int decimals = static_cast<int>(std::ceil(-std::log10(step) - 1e-9));
    const std::string format = step < 1e-4  ? "'%." + std::to_string(decimals) + "f'"
                                : step >= 1 ? std::string("'%.0f'")
                                            : std::string("'%g'");
    return "set ytics 0, " + number(step) + "\nset format y " + format + "\n";
}

std::string posteriorMarks(const ColumnSummary& col) {
    std::string s = verticalLine(1, col.median, medianStyle) +
                    verticalLine(2, col.q025, intervalStyle) +
                    verticalLine(3, col.q975, intervalStyle);
    // Marks that coincide draw over each other: a note names them.
    std::string same;
    if (std::isfinite(col.median)) {
        if (col.q025 == col.median) same += " = 2.5 %";
        if (col.q975 == col.median) same += " = 97.5 %";
    }
    if (!same.empty()) {
        // The note stands beside the line, on the side with more room.
        const Histogram& h = col.histogram;
        const double middle = !col.shares.empty() ? 0.5
                              : h.mass.empty()    ? col.median
                              : col.logScale ? std::sqrt(h.lowerEdge(0) * h.upperEdge(h.mass.size() - 1))
                                             : (h.lowerEdge(0) + h.upperEdge(h.mass.size() - 1)) / 2;
        s += "set label 9 " + quoted("median" + same) + " at first " + number(col.median) +
             (col.median > middle ? ", graph 0.93 right offset -1, 0 front\n"
                                  : ", graph 0.93 left offset 1, 0 front\n");
    }
    return s;
}

std::string legendCell(const std::string& entries) {
    std::string s = "unset title\nunset xlabel\nunset ylabel\nunset logscale x\nunset arrow\n";
    s += "unset label\nunset border\nunset xtics\nunset ytics\nset xrange [0:1]\nset yrange [0:1]\n";
    s += "set key center center vertical Left reverse samplen 4 spacing 1.3\n";
    // A plot of keys alone is refused: the NaN gives it something to draw.
    return s + "plot NaN notitle" + entries + "\n";
}

std::string posteriorMarkKeys(const std::string& whose) {
    return std::string(", \\\n     keyentry with lines ") + medianStyle + " title " +
           quoted("median" + whose) + ", \\\n     keyentry with lines " + intervalStyle +
           " title " + quoted("95 % interval" + whose);
}
