#include "plot/Plot.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <vector>

#include "io/FinishedFile.h"
#include "plot/PlotFormat.h"
#include "plot/PlotParts.h"
#include "sim/PriorBounds.h"

std::string quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\n' || c == '\r') c = ' ';
        out += c == '\'' ? std::string("''") : std::string(1, c);
    }
    return out + "'";
}

std::string quotedLines(const std::string& text) {
    std::string s;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        s += quoted(text.substr(start, end - start)) + ".\"\\n\".";
    return s + quoted(text.substr(start));
}

std::string number(double x) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.17g", x);
    return buf;
}

namespace {

bool isExecutable(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

// Full path of `program` on PATH ("" when none), or `program` itself when it
// names a path.
std::string findProgram(const std::string& program) {
    if (program.find('/') != std::string::npos) return isExecutable(program) ? program : "";
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        std::size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        std::string dir = dirs.substr(start, end - start);
        std::string candidate = (dir.empty() ? "." : dir) + "/" + program;
        if (isExecutable(candidate)) return candidate;
        start = end + 1;
    }
    return "";
}

// The last bytes of the file at `path`, at most `count` of them.
std::string fileTail(const std::string& path, std::size_t count) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) return "";
    const std::streamoff size = in.tellg();
    const std::streamoff from = size > static_cast<std::streamoff>(count)
                                    ? size - static_cast<std::streamoff>(count)
                                    : 0;
    in.seekg(from);
    std::string tail(static_cast<std::size_t>(size - from), '\0');
    in.read(tail.data(), static_cast<std::streamsize>(tail.size()));
    return in ? tail : "";
}

bool nonEmptyFile(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0;
}

}  // namespace

std::string pictureFault(const std::string& path, PlotFormat format) {
    // A PDF's end-of-file marker lies within its last 1024 bytes.
    const std::string tail = fileTail(path, 1024);
    const std::string cut = " (cut short: a full disk or a file-size limit?)";
    switch (format) {
        case PlotFormat::png: {
            // The IEND chunk: no data, its type, and its fixed checksum.
            static const std::string iend("\0\0\0\0IEND\xae\x42\x60\x82", 12);
            if (tail.size() >= iend.size() && tail.compare(tail.size() - iend.size(), iend.size(), iend) == 0)
                return "";
            return "the PNG file has no end chunk" + cut;
        }
        case PlotFormat::svg: {
            const std::size_t last = tail.find_last_not_of(" \t\r\n");
            if (last != std::string::npos && last + 1 >= 6 && tail.compare(last - 5, 6, "</svg>") == 0)
                return "";
            return "the SVG file does not end with </svg>" + cut;
        }
        case PlotFormat::pdf:
            if (tail.find("%%EOF") != std::string::npos) return "";
            return "the PDF file has no %%EOF at its end" + cut;
        case PlotFormat::none:
            break;
    }
    return tail.empty() ? "the picture is empty" : "";
}

std::string columnMeaning(const std::string& column, bool logAxis) {
    struct Meaning {
        const char* what;
        const char* unit;  // "" for a share
    };
    static const std::map<std::string, Meaning> meanings = {
        {"My", {"mutation rate", "per locus and generation"}},
        {"TimeToOri", {"time since sue was founded", "generations"}},
        {"PopSizeOriTha", {"size of tha at the founding of sue", "gene copies"}},
        {"PopSizePreTha", {"present size of tha", "gene copies"}},
        {"PopSizeOriSue", {"size of sue at its founding", "gene copies"}},
        {"PopSizePreSue", {"present size of sue", "gene copies"}},
        {"FracSueMono", {"share of loci whose sue lines trace back to one origin", ""}},
        {"GsmP", {"chance that a mutation's jump is one repeat longer", ""}}};
    auto it = meanings.find(column);
    std::string unit = it == meanings.end() ? "" : it->second.unit;
    if (logAxis) unit += unit.empty() ? "log scale" : ", log scale";
    const std::string what = it == meanings.end() ? column : it->second.what;
    // A label longer than a panel of two a row is wide keeps its unit on a
    // second line.
    if (unit.empty()) return what;
    return what + (what.size() + unit.size() > 46 ? "\n(" : " (") + unit + ")";
}

namespace {

// Each bar as: centre, lower edge, upper edge, share of the weight.
std::string barsBlock(const ColumnSummary& col, std::size_t panel) {
    std::string s = "$bars" + std::to_string(panel) + " << EOD\n";
    if (!col.shares.empty()) {
        // A discrete column: one bar per value, narrower than the gap between
        // neighbouring values.
        double gap = 0.1;
        for (std::size_t i = 1; i < col.shares.size(); ++i)
            gap = std::min(gap, col.shares[i].first - col.shares[i - 1].first);
        const double half = 0.4 * gap;
        for (const auto& [value, share] : col.shares)
            s += number(value) + " " + number(value - half) + " " + number(value + half) + " " +
                 number(share) + "\n";
        return s + "EOD\n";
    }
    const Histogram& h = col.histogram;
    for (std::size_t i = 0; i < h.mass.size(); ++i) {
        double lower = h.lowerEdge(i), upper = h.upperEdge(i);
        if (!(upper > lower)) {  // all values equal: a narrow bar around the value
            double half = lower != 0.0 ? std::fabs(lower) * 0.01 : 0.5;
            lower -= half;
            upper += half;
        }
        s += number(h.centre(i)) + " " + number(lower) + " " + number(upper) + " " +
             number(h.mass[i]) + "\n";
    }
    return s + "EOD\n";
}

// The share of the rows that a bin of the column's histogram would hold
// under its flat prior; 0 when that is not known.
double priorShare(const ColumnSummary& col) {
    const ColumnPrior& prior = col.prior;
    if (!prior.known || !prior.flat || col.histogram.mass.size() < 2) return 0.0;
    const double span = col.logScale ? std::log10(prior.upper) - std::log10(prior.lower)
                                     : prior.upper - prior.lower;
    const double share = col.histogram.width / span;
    return std::isfinite(share) && share > 0.0 ? share : 0.0;
}

}  // namespace

std::string plotScript(const std::vector<ColumnSummary>& summaries, const std::string& outputPath,
                       const std::string& title, PlotFormat format, bool weighted) {
    std::string s;
    s += "# Marginal posteriors: one panel per column; solid red line the median,\n";
    s += "# dashed orange lines the 2.5 % and 97.5 % quantiles, green line the flat prior.\n";
    for (std::size_t c = 0; c < summaries.size(); ++c) {
        s += barsBlock(summaries[c], c + 1);
        // The flat prior: a line from the lower to the upper bound.
        const double share = priorShare(summaries[c]);
        if (share > 0.0)
            s += "$prior" + std::to_string(c + 1) + " << EOD\n" + number(summaries[c].prior.lower) +
                 " " + number(share) + "\n" + number(summaries[c].prior.upper) + " " +
                 number(share) + "\nEOD\n";
    }
    s += terminalFor(format, kPortraitPage);
    s += "set output " + quoted(outputPath) + "\n";
    // The title names a file: an underscore in it is no subscript.
    s += "set multiplot layout 4,2 title " + heading(title, kPortraitPage) + " noenhanced\n";
    s += "set style fill solid 0.6 border rgb '#203060'\n";
    // Room on every side of a panel, so that no tick label reaches the
    // picture's edge or the next panel.
    s += "set lmargin 10\nset rmargin 4\nset bmargin 4\n";
    const double ems = axisEms(kPortraitPage, 2, 14);
    s += "unset key\n";  // one legend, in the cell after the panels
    s += "set ylabel " + quoted(weighted ? "share of weight" : "share of rows") + "\n";
    s += "set yrange [0:*]\n";
    s += "set offsets 0, 0, graph 0.05, 0\n";  // headroom above the tallest bar
    s += "set format y '%g'\n";
    s += "set xtics nomirror\nset ytics nomirror\n";
    bool anyPrior = false;
    for (std::size_t c = 0; c < summaries.size(); ++c) {
        const ColumnSummary& col = summaries[c];
        if (col.histogram.mass.empty()) continue;
        const std::string bars = "$bars" + std::to_string(c + 1);
        s += "set title " + quoted(col.name) + "\n";
        s += "set xlabel " + quotedLines(columnMeaning(col.name, col.logScale)) + "\n";
        s += col.logScale ? "set logscale x\n" : "unset logscale x\n";
        const Histogram& h = col.histogram;
        if (!col.shares.empty()) {
            s += "set xrange [-0.05:1.05]\nset xtics 0, 0.2, 1\n";
        } else if (col.prior.known) {
            // The prior's bounds, labelled: where the posterior may reach.
            s += xAxis(std::min(col.prior.lower, h.lowerEdge(0)),
                       std::max(col.prior.upper, h.upperEdge(h.mass.size() - 1)), col.logScale, ems,
                       {col.prior.lower, col.prior.upper});
        } else {
            s += xAxis(h.lowerEdge(0), h.upperEdge(h.mass.size() - 1), col.logScale, ems);
        }
        double top = priorShare(col);
        for (double m : h.mass) top = std::max(top, m);
        for (const auto& share : col.shares) top = std::max(top, share.second);
        s += yTics(top);
        s += posteriorMarks(col);
        s += "plot " + bars + " using 1:4:2:3:(0):4 with boxxyerror lc rgb '#6080c0' notitle";
        const double share = priorShare(col);
        if (share > 0.0) {
            anyPrior = true;
            s += ", \\\n     $prior" + std::to_string(c + 1) +
                 " using 1:2 with lines lw 2 lc rgb '#208020' notitle";
        }
        s += "\nunset arrow\nunset label 9\n";
    }
    s +=
        legendCell(", \\\n     keyentry with boxes lc rgb '#6080c0' title 'posterior (histogram)'" +
                   std::string(anyPrior ? ", \\\n     keyentry with lines lw 2 lc rgb '#208020' "
                                          "title 'flat prior'"
                                        : "") +
                   posteriorMarkKeys());
    s += "unset multiplot\n";
    s += "set output\n";
    return s;
}

namespace {

// The outcome of a picture, as foundabc-summary reports it.
int reportPlot(PlotOutcome outcome, const std::string& path, const std::string& why,
               std::ostream& err) {
    switch (outcome) {
        case PlotOutcome::drawn:
            return 0;
        case PlotOutcome::gnuplotMissing:
            err << "foundabc-summary: gnuplot not found, so no picture was drawn (install "
                << "gnuplot, e.g. the Debian package gnuplot-nox); the table above is complete\n";
            return 0;
        case PlotOutcome::failed:
            break;
    }
    err << "foundabc-summary: gnuplot could not draw the picture '" << path << "'"
        << (why.empty() ? "" : ": " + why) << "\n";
    return 1;
}

}  // namespace

PlotOutcome drawPlot(const std::function<std::string(const std::string&)>& scriptFor,
                     const std::string& path, const std::string& gnuplotProgram, std::string& why) {
    if (findProgram(gnuplotProgram).empty()) return PlotOutcome::gnuplotMissing;
    FinishedFile picture(path);
    const PlotOutcome outcome = drawPlot(scriptFor, picture, gnuplotProgram, why);
    if (outcome == PlotOutcome::drawn && !picture.commit(true)) {
        why = picture.error();
        return PlotOutcome::failed;
    }
    return outcome;
}

PlotOutcome drawPlot(const std::function<std::string(const std::string&)>& scriptFor,
                     FinishedFile& picture, const std::string& gnuplotProgram, std::string& why) {
    const std::string program = findProgram(gnuplotProgram);
    if (program.empty()) return PlotOutcome::gnuplotMissing;
    if (!picture.error().empty()) {
        why = picture.error();
        return PlotOutcome::failed;
    }
    const std::string script = scriptFor(picture.temporaryPath());

    // The script goes through a private temporary file rather than a pipe, so
    // that a gnuplot that stops early cannot take this process down with it.
    const char* tmp = std::getenv("TMPDIR");
    std::string scriptPath = std::string(tmp && *tmp ? tmp : "/tmp") + "/foundabc-plot-XXXXXX";
    int fd = mkstemp(scriptPath.data());
    if (fd < 0) return PlotOutcome::failed;
    bool written = write(fd, script.data(), script.size()) == static_cast<ssize_t>(script.size());
    close(fd);
    int status = -1;
    if (written) {
        std::fflush(nullptr);
        pid_t pid = fork();
        if (pid == 0) {
            execl(program.c_str(), program.c_str(), scriptPath.c_str(),
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        if (pid > 0) waitpid(pid, &status, 0);
    }
    unlink(scriptPath.c_str());
    bool ok = written && WIFEXITED(status) && WEXITSTATUS(status) == 0 &&
              (picture.writesThrough() || nonEmptyFile(picture.temporaryPath()));
    // gnuplot ends with status 0 even when it could not write the whole
    // picture (a full disk, a file-size limit): the picture must end as its
    // format ends. A pipe or device cannot be read back.
    if (ok && !picture.writesThrough()) {
        why = pictureFault(picture.temporaryPath(), plotFormatFor(picture.path()));
        if (!why.empty()) return PlotOutcome::failed;
    }
    if (ok && !picture.prepare()) {
        why = picture.error();
        return PlotOutcome::failed;
    }
    return ok ? PlotOutcome::drawn : PlotOutcome::failed;
}

int drawPlotAndReport(const std::function<std::string(const std::string&)>& scriptFor,
                      const std::string& path, const std::string& gnuplotProgram,
                      std::ostream& err) {
    std::string why;
    return reportPlot(drawPlot(scriptFor, path, gnuplotProgram, why), path, why, err);
}

int drawPlotAndReport(const std::function<std::string(const std::string&)>& scriptFor,
                      FinishedFile& picture, const std::string& path,
                      const std::string& gnuplotProgram, std::ostream& err) {
    std::string why;
    const PlotOutcome outcome = drawPlot(scriptFor, picture, gnuplotProgram, why);
    return reportPlot(outcome, path, why, err);
}
