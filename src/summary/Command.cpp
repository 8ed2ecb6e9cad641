#include "summary/Command.h"

#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>
#include <utility>

#include "abc/Posterior.h"
#include "io/FinishedFile.h"
#include "io/InputFile.h"
#include "io/ParameterFile.h"
#include "io/RowsFile.h"
#include "plot/Plot.h"
#include "plot/PlotFormat.h"
#include "summary/OutputCheck.h"
#include "summary/Table.h"

namespace {

constexpr const char* programName = "foundabc-summary";

std::string shortNumber(double x) {
    std::ostringstream s;
    s.precision(4);
    s << x;
    return s.str();
}

int failWith(std::ostream& err, const std::string& message) {
    err << programName << ": " << message << "\n";
    return 1;
}

// A warning when rows of the results file lie outside the priors of the
// parameter file given with --params, beyond the rounding of the file's
// three significant digits: the file is then the parameter file of another
// run, and its priors and scales would be drawn under these rows. Names the
// first such column; "" when every row fits.
std::string rowsOutsidePriors(const std::vector<ResultsRow>& rows, const PriorSettings& priors,
                              const std::string& paramsPath, const std::string& resultsPath) {
    for (std::size_t c = 0; c < numbParamColumns; ++c) {
        const ColumnPrior& prior = priors.columns[c];
        if (!prior.known) continue;
        const double low = prior.lower - 0.006 * std::fabs(prior.lower);
        const double high = prior.upper + 0.006 * std::fabs(prior.upper);
        std::size_t outside = 0;
        for (const ResultsRow& row : rows)
            if (row.values[c] < low || row.values[c] > high) ++outside;
        if (outside > 0)
            return programName + std::string(": warning: ") + std::to_string(outside) + " of " +
                   std::to_string(rows.size()) + " rows of " + resultsPath + " have " +
                   paramColumnNames[c] + " outside its prior in " + paramsPath + " (" +
                   shortNumber(prior.lower) + " to " + shortNumber(prior.upper) +
                   "): is it the parameter file of this run?\n";
    }
    return "";
}

}  // namespace

int runSummary(const SummaryOptions& options, std::ostream& out, std::ostream& err) {
    const PlotFormat format = plotFormatFor(options.plotPath);
    if (!options.plotPath.empty() && format == PlotFormat::none) {
        return failWith(err, "--plot '" + options.plotPath +
                                 "': the picture's file name must end in .png, .svg or .pdf, "
                                 "which choose its format");
    }
    if (options.plotPath.find_first_of("\r\n") != std::string::npos) {
        return failWith(err, "the picture's file name must not contain a line end");
    }
    // An output that would replace an input, or a folder that takes no
    // file, is refused before anything is read or printed.
    OutputFiles outputs;
    if (!outputs.open({{"--rows", options.rowsPath, "the table of rows"},
                       {"--plot", options.plotPath, "the picture"}},
                      {{"input file", options.resultsPath}, {"input file", options.paramsPath}},
                      err))
        return 1;
    PriorSettings priors;
    if (!options.paramsPath.empty()) {
        priors = readPriorSettings(options.paramsPath);
        if (!priors.error.empty()) return failWith(err, "--params: " + priors.error);
    }

    const std::string& path = options.resultsPath;
    if (const std::string problem = directoryProblem(path); !problem.empty())
        return failWith(err, problem);
    std::ifstream in(path);
    if (!in) {
        return failWith(err, "cannot open results file '" + path + "': " + std::strerror(errno));
    }
    errno = 0;
    ResultsFile file = parseResults(in);
    if (in.bad()) {
        return failWith(err, "cannot read results file '" + path + "'" +
                                 (errno ? std::string(": ") + std::strerror(errno) : ""));
    }
    if (!file.error.empty()) return failWith(err, path + ": " + file.error);

    RowSelection selection = selectRows(file, options.runs);
    for (const SkippedLine& s : selection.skipped) {
        err << programName << ": warning: " << path << ":" << s.lineNumber << ": " << s.reason
            << "; row skipped\n";
    }
    if (!selection.error.empty()) return failWith(err, path + ": " + selection.error);
    if (!options.paramsPath.empty())
        err << rowsOutsidePriors(selection.rows, priors, options.paramsPath, path);

    std::vector<double> weights(selection.rows.size(), 1.0);
    std::string weighting;
    if (options.weighted) {
        double h = options.bandwidth > 0.0 ? options.bandwidth : largestDistance(selection.rows);
        weights = kernelWeights(selection.rows, h);
        std::size_t dropped = 0;
        for (double w : weights) dropped += w > 0.0 ? 0 : 1;
        if (dropped == weights.size()) {
            return failWith(err, path + ": every row has DS >= h = " + shortNumber(h) +
                                     ", so every weight is 0; give a larger --bandwidth");
        }
        weighting = "Epanechnikov kernel on DS, h = " + shortNumber(h) + "; " +
                    std::to_string(dropped) + " of " + std::to_string(weights.size()) +
                    " rows have DS >= h and weight 0";
    }

    if (!options.rowsPath.empty()) {
        FinishedFile& rows = outputs.file(options.rowsPath);
        if (!rows.write(formatRows(selection)) || !rows.prepare()) {
            return failWith(
                err, "cannot write the table of rows '" + options.rowsPath + "': " + rows.error());
        }
    }

    const bool gsmPKnown = !options.paramsPath.empty() && priors.gsmP.known;
    std::vector<ColumnSummary> summaries = summariseColumns(
        selection.rows, weights, options.paramsPath.empty() ? nullptr : &priors.columns,
        selection.withGsmP, gsmPKnown ? &priors.gsmP : nullptr);
    const std::string description = path + ": " + selection.description + ", " +
                                    std::to_string(selection.rows.size()) + " rows";
    if (options.tsv) {
        out << formatTsv(summaries, options.weighted);
    } else {
        out << description << "\n";
        if (options.weighted) out << "weights: " << weighting << "\n";
        out << "\n" << formatTable(summaries, options.weighted);
    }
    out.flush();

    if (options.plotPath.empty()) return outputs.commitAll(err);
    std::string title = description + (options.weighted ? " (weighted)" : "");
    auto script = [&](const std::string& output) {
        return plotScript(summaries, output, title, format, options.weighted);
    };
    if (drawPlotAndReport(script, outputs.file(options.plotPath), options.plotPath,
                          options.gnuplotProgram, err) != 0)
        return 1;
    return outputs.commitAll(err);
}
