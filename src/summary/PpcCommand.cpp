#include "summary/PpcCommand.h"

#include <CLI/CLI.hpp>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>

#include "abc/PredictiveCheck.h"
#include "abc/Stats.h"
#include "base/HelpFormat.h"
#include "io/InputFile.h"
#include "io/ObservedFile.h"
#include "io/PriorsFile.h"
#include "io/ReferenceTable.h"
#include "plot/CheckPlot.h"
#include "plot/Plot.h"
#include "plot/PlotFormat.h"
#include "sim/Columns.h"
#include "summary/Command.h"
#include "summary/OptionErrors.h"
#include "summary/OutputCheck.h"

bool wantsPredictiveCheck(int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--ppc") == 0 || std::strncmp(argv[i], "--ppc=", 6) == 0)
            return true;
    return false;
}

int predictiveCheckMain(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
    CLI::App app{
        "Posterior predictive check: compares the observed statistics with those of a table "
        "simulated from the posterior (foundabc --from-sample SAMPLE.tsv --table FILE).",
        "foundabc-summary --ppc"};
    app.set_version_flag("--version", std::string("foundabc-summary ") + foundabcVersion);
    app.formatter(std::make_shared<WrappedHelp>());
    nameProgramInOptionErrors(app);
    std::string path;
    bool tsv = false;
    app.add_option("--ppc", path,
                   "Table simulated from the posterior (plain or .gz), with its observed "
                   "statistics in FILE (without .gz) + .observed.tsv")
        ->type_name("FILE")
        ->required();
    app.add_flag("--tsv", tsv, "Write tab-separated values instead of a text table");
    std::string plotPath, gnuplot = "gnuplot";
    app.add_option("--plot", plotPath,
                   "Draw each statistic's predictive histogram with the observed value into "
                   "this picture (.png, .svg or .pdf; needs gnuplot)")
        ->type_name("PICTURE");
    if (const int status = parseCommandLine(app, argc, argv, out, err); status >= 0)
        return status;
    const auto fail = [&](const std::string& message) {
        err << "foundabc-summary: " << message << "\n";
        return 1;
    };
    if (!plotPath.empty() && (plotFormatFor(plotPath) == PlotFormat::none ||
                              plotPath.find_first_of("\r\n") != std::string::npos))
        return fail("--plot '" + plotPath +
                    "': the picture's file name must end in .png, .svg or .pdf, which choose "
                    "its format");
    OutputFiles outputs;
    if (!outputs.open({{"--plot", plotPath, "the picture"}}, tableInputs(path), err)) return 1;
    // A table drawn from the priors gives a prior predictive check, which
    // says little of the fit and looks like a posterior one: refused. Tables
    // without the record (written by earlier versions) are taken on trust.
    TableProvenance made;
    {
        const std::string priorsName = priorsPath(path);
        if (const std::string problem = directoryProblem(priorsName); !problem.empty())
            return fail(problem);
        std::ifstream priorsIn(priorsName, std::ios::binary);
        std::string text;
        readWhole(priorsIn, text);
        PriorsFile priors;
        std::string error;
        if (priorsIn && parsePriors(text, priors, error)) {
            for (const std::string& w : priors.warnings)
                err << "foundabc-summary: warning: " << priorsName << ": " << w << "\n";
            made = priors.provenance;
        }
        if (made.source == TableSource::prior)
            return fail(path + " was simulated from the priors (" + priorsName +
                        " says '# made from: prior'), so it cannot check the fit of a posterior: "
                        "write a sample with foundabc-summary --table " +
                        path +
                        " --sample SAMPLE.tsv, simulate from it with foundabc --from-sample "
                        "SAMPLE.tsv --table PREDICTIVE.tsv.gz, and check that table");
    }
    TableRead read = readReferenceTable(path);
    for (const std::string& w : read.warnings) err << "foundabc-summary: warning: " << w << "\n";
    if (!read.error.empty()) return fail(read.error);
    if (read.table.rows() == 0) return fail(path + ": no simulations in the table");
    const std::string incomplete = incompleteTable(path, readPriorsBeside(path), read.table.rows());
    if (!incomplete.empty())
        err << "foundabc-summary: warning: " << incomplete << "; its complete rows are used\n";
    ObservedRead observed = readObservedStats(observedStatisticsPath(path));
    if (!observed.error.empty())
        return fail(observed.error + " (the observed statistics of the table '" + path + "')");
    if (!observed.note.empty()) err << "foundabc-summary: warning: " << observed.note << "\n";

    // The check compares the table with the observed values its run was
    // simulated for; a file edited since compares it with other data.
    if (made.known && dataFingerprintOf(observed.values) != made.data)
        err << "foundabc-summary: warning: " << observedStatisticsPath(path)
            << " is not the observed data that the table was simulated for ("
            << priorsPath(path)
            << " records other data): it was edited or replaced since; the check is against the "
               "values in it\n";
    const auto check = predictiveCheck(read.table, observed.values);
    char line[256];
    if (tsv) {
        out << "statistic\tobserved\tn\tmean\tq2.5\tq97.5\ttail\tflag\n";
        for (std::size_t j = 0; j < read.table.numbStats; ++j) {
            const PredictiveStatistic& s = check[j];
            std::snprintf(line, sizeof line, "%s\t%.9g\t%zu\t%.9g\t%.9g\t%.9g\t%.9g\t%s\n",
                          tableStatNames[j], s.observed, s.simulations, s.mean, s.q025, s.q975,
                          s.tail, s.tail < 0.05 ? "*" : "");
            out << line;
        }
    } else {
        out << path << ": posterior predictive check on " << read.table.rows() << " simulations\n"
            << "tail: twice the smaller share of simulations at or below, or at or above, the "
               "observed value;\n* where it is below 0.05: the fitted model does not reproduce "
               "that statistic\n\n";
        std::snprintf(line, sizeof line, "%-10s %11s %11s %11s %11s %7s\n", "Statistic", "Observed",
                      "Mean", "Q2.5%", "Q97.5%", "Tail");
        out << line;
        for (std::size_t j = 0; j < read.table.numbStats; ++j) {
            const PredictiveStatistic& s = check[j];
            std::snprintf(line, sizeof line, "%-10s %11.5g %11.5g %11.5g %11.5g %7.3f%s\n",
                          tableStatNames[j], s.observed, s.mean, s.q025, s.q975, s.tail,
                          s.tail < 0.05 ? " *" : "");
            out << line;
        }
    }
    out.flush();
    if (plotPath.empty()) return 0;
    const auto scriptFor = [&](const std::string& output) {
        return predictivePlotScript(read.table, check, output,
                                    path + ": posterior predictive check", plotFormatFor(plotPath));
    };
    if (drawPlotAndReport(scriptFor, outputs.file(plotPath), plotPath, gnuplot, err) != 0) return 1;
    return outputs.commitAll(err);
}
