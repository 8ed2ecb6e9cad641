#include "summary/Plot.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace {

// A gnuplot string literal: in single quotes only the quote itself needs
// escaping, by doubling it.
std::string quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\n' || c == '\r') c = ' ';
        out += c == '\'' ? std::string("''") : std::string(1, c);
    }
    return out + "'";
}

std::string number(double x) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.17g", x);
    return buf;
}

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

bool nonEmptyFile(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0;
}

}  // namespace

std::string plotScript(const std::vector<ColumnSummary>& summaries, const std::string& pngPath,
                       const std::string& title) {
    std::string s;
    s += "# Marginal posterior histograms: one panel per column; solid line the median,\n";
    s += "# dashed lines the 2.5 % and 97.5 % quantiles.\n";
    for (std::size_t c = 0; c < summaries.size(); ++c) {
        // Each bin as: centre, lower edge, upper edge, share of the weight.
        const Histogram& h = summaries[c].histogram;
        s += "$bins" + std::to_string(c + 1) + " << EOD\n";
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
        s += "EOD\n";
    }
    s += "if (strstrt(GPVAL_TERMINALS, 'pngcairo') > 0) {\n"
         "    set terminal pngcairo size 1200,1500 font ',10'\n"
         "} else {\n"
         "    set terminal png size 1200,1500\n"
         "}\n";
    s += "set output " + quoted(pngPath) + "\n";
    s += "set multiplot layout 4,2 title " + quoted(title) + "\n";
    s += "set style fill solid 0.6 border rgb '#203060'\n";
    s += "set key off\n";
    s += "set ylabel 'share of weight'\n";
    s += "set yrange [0:*]\n";
    s += "set offsets 0, 0, graph 0.05, 0\n";  // headroom above the tallest bar
    for (std::size_t c = 0; c < summaries.size(); ++c) {
        const ColumnSummary& col = summaries[c];
        if (col.histogram.mass.empty()) continue;
        s += "set title " + quoted(col.name) + "\n";
        s += col.histogram.logScale ? "set logscale x\n" : "unset logscale x\n";
        s += "set arrow 1 from first " + number(col.median) + ", graph 0 to first " +
             number(col.median) + ", graph 1 nohead lw 2 lc rgb '#c00000' front\n";
        s += "set arrow 2 from first " + number(col.q025) + ", graph 0 to first " +
             number(col.q025) + ", graph 1 nohead dt 2 lw 2 lc rgb '#c00000' front\n";
        s += "set arrow 3 from first " + number(col.q975) + ", graph 0 to first " +
             number(col.q975) + ", graph 1 nohead dt 2 lw 2 lc rgb '#c00000' front\n";
        s += "plot $bins" + std::to_string(c + 1) +
             " using 1:4:2:3:(0):4 with boxxyerror lc rgb '#6080c0'\n";
        s += "unset arrow\n";
    }
    s += "unset multiplot\n";
    s += "set output\n";
    return s;
}

PlotOutcome drawPlot(const std::string& script, const std::string& pngPath,
                     const std::string& gnuplotProgram) {
    const std::string program = findProgram(gnuplotProgram);
    if (program.empty()) return PlotOutcome::gnuplotMissing;

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
    bool ok = written && WIFEXITED(status) && WEXITSTATUS(status) == 0 && nonEmptyFile(pngPath);
    return ok ? PlotOutcome::drawn : PlotOutcome::failed;
}
