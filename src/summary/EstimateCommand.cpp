#include "summary/TableShared.h"

#include <CLI/CLI.hpp>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>

#include "abc/Abc.h"
#include "abc/CrossValidation.h"
#include "abc/GoodnessOfFit.h"
#include "abc/Stats.h"
#include "io/FinishedFile.h"
#include "io/ObservedFile.h"
#include "io/PriorsFile.h"
#include "io/ReferenceTable.h"
#include "io/SampleFile.h"
#include "plot/AbcPlot.h"
#include "plot/CheckPlot.h"
#include "plot/Plot.h"
#include "plot/PlotFormat.h"
#include "sim/Columns.h"
#include "sim/PriorBounds.h"
#include "summary/Command.h"
#include "summary/OptionErrors.h"
#include "summary/Options.h"
#include "summary/Table.h"


namespace {


// The posterior sample: one row per accepted simulation with its distance,
// weight, values and (when adjusted) adjusted values.
std::string sampleText(const ReferenceTable& table, const AbcEstimate& e, bool adjusted) {
    const Acceptance& a = e.acceptance;
    std::vector<long> sims;
    for (std::size_t row : a.rows) sims.push_back(table.simOf(row));
    std::vector<std::string> names = {"distance", "weight"};
    std::vector<const std::vector<double>*> columns = {&a.distances, &e.weights};
    for (std::size_t c = 0; c < numbParamColumns; ++c) {
        names.push_back(paramColumnNames[c]);
        columns.push_back(&e.rejection[c]);
    }
    if (adjusted)
        for (std::size_t c = 0; c < numbDrawnParams; ++c) {
            names.push_back(std::string(paramColumnNames[c]) + "_adj");
            columns.push_back(&e.adjusted[c]);
        }
    return formatSample(sims, names, columns);
}

}  // namespace

int estimate(const TableOptions& options, const Inputs& in, std::ostream& out, std::ostream& err) {
    const ReferenceTable& table = in.table;
    const StatisticChoice& choice = in.choice;
    AbcEstimate e = estimateParameters(table, choice, choice.observed, in.settings, table.rows());
    for (const std::string& w : e.warnings) warn(err, w);
    // Past acceptance only the regression can fail: too few rows or a
    // singular fit, which fewer statistics or more rows cure.
    const bool regressionFailed = e.acceptance.positive > 0;
    if (!e.error.empty())
        return failWith(
            err, options.tablePath + ": " + e.error + (regressionFailed ? regressionHint : ""));
    const Acceptance& a = e.acceptance;
    const bool adjust = options.method == AdjustMethod::loclinear;
    const auto priors = columnPriors(in.hasPriors ? &in.priors : nullptr);
    const auto& values = adjust ? e.adjusted : e.rejection;
    std::vector<ColumnSummary> summaries = summarise(values, e.weights, priors);

    if (options.tsv) {
        out << formatTsv(summaries, true);
    } else {
        out << options.tablePath << ": " << table.rows() << " simulations, " << a.rows.size()
            << " accepted (tolerance " << shortNumber(options.tolerance)
            << ", distance <= " << shortNumber(a.cutoff) << ")";
        if (options.method != AdjustMethod::rejection)
            out << ", " << a.positive << " of positive weight";
        out << "\n";
        if (a.candidates < table.rows())
            out << "left out: " << table.rows() - a.candidates
                << " simulations with a chosen statistic undefined\n";
        out << "statistics (scaled by their median absolute deviation): " << statisticList(choice)
            << "\n";
        out << methodLine(options.method, a.cutoff) << "\n";
        if (adjust) {
            out << transformLine(in, options.hcorr) << "\n";
            std::string names;
            for (std::size_t c = 0; c < numbDrawnParams; ++c)
                names += std::string(" ") + paramColumnNames[c];
            out << "adjusted:" << names << "; not adjusted: FracSueMono\n";
        }
        out << "\n" << formatTable(summaries, true);
    }
    out.flush();

    if (!options.samplePath.empty() &&
        writeTextFile(options.samplePath, sampleText(table, e, adjust), err) != 0)
        return 1;
    if (options.plotPath.empty()) return 0;
    std::vector<ColumnSummary> rejection =
        adjust ? summarise(e.rejection, e.weights, priors) : summaries;
    std::string title = options.tablePath + ": " + std::to_string(a.rows.size()) + " accepted of " +
                        std::to_string(table.rows()) + ", " +
                        methodLine(options.method, a.cutoff).substr(8);
    const auto scriptFor = [&](const std::string& output) {
        return comparisonPlotScript(summaries, rejection, output, title,
                                    plotFormatFor(options.plotPath));
    };
    return drawPlotAndReport(scriptFor, options.plotPath, options.gnuplotProgram, err);
}
