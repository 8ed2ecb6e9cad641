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
// Adjusted rows that the model cannot simulate (a founding size at or above
// its present size, which the regression can produce when the two priors
// overlap) are left out, with a warning on `err` of how many and how much
// weight.
std::string sampleText(const ReferenceTable& table, const AbcEstimate& e, bool adjusted,
                       bool adjustedGsmP, std::ostream& err) {
    const Acceptance& a = e.acceptance;
    std::vector<std::size_t> kept;
    double total = 0.0, dropped = 0.0;
    for (std::size_t r = 0; r < a.rows.size(); ++r) {
        total += e.weights[r];
        // A present size at or below its founding size, where the simulation
        // itself had it above: the model grows every population from its
        // founding to the present, and the adjustment broke that.
        const auto grows = [&](const std::array<std::vector<double>, numbParamSlots>& v) {
            return v[2][r] < v[3][r] && v[4][r] < v[5][r];
        };
        const bool shrinks = adjusted && grows(e.rejection) && !grows(e.adjusted);
        if (shrinks) {
            dropped += e.weights[r];
            continue;
        }
        kept.push_back(r);
    }
    if (kept.size() < a.rows.size())
        warn(err, "--sample: " + std::to_string(a.rows.size() - kept.size()) + " of " +
                      std::to_string(a.rows.size()) + " adjusted rows (" +
                      shortNumber(100 * dropped / total) +
                      " % of the weight) have a founding size at or above the present size, which the "
                      "model cannot simulate, and are left out of the sample");
    const auto pick = [&](const std::vector<double>& column) {
        std::vector<double> picked;
        for (std::size_t r : kept) picked.push_back(column[r]);
        return picked;
    };
    std::vector<long> sims;
    for (std::size_t r : kept) sims.push_back(table.simOf(a.rows[r]));
    std::vector<std::string> names = {"distance", "weight"};
    std::vector<std::vector<double>> picked = {pick(a.distances), pick(e.weights)};
    for (std::size_t c = 0; c < numbParamColumns; ++c) {
        names.push_back(paramColumnNames[c]);
        picked.push_back(pick(e.rejection[c]));
    }
    if (adjusted)
        for (std::size_t c = 0; c < numbDrawnParams; ++c) {
            names.push_back(std::string(paramColumnNames[c]) + "_adj");
            picked.push_back(pick(e.adjusted[c]));
        }
    // GsmP after every column of a table without it, so that readers by
    // position find those in their places; adjusted or not, its values are
    // the posterior's (GsmP_adj only when the regression adjusted it).
    if (table.hasGsmP) {
        names.push_back(gsmPColumnName);
        picked.push_back(pick(e.rejection[gsmPSlot]));
        if (adjusted && adjustedGsmP) {
            names.push_back(std::string(gsmPColumnName) + "_adj");
            picked.push_back(pick(e.adjusted[gsmPSlot]));
        }
    }
    std::vector<const std::vector<double>*> columns;
    for (const std::vector<double>& column : picked) columns.push_back(&column);
    return formatSample(sims, names, columns);
}

// The signs that a local-linear adjustment extrapolates: an adjusted median
// outside the 95 % interval of the accepted values it was made from, and
// observed statistics beyond the range of the accepted simulations, where
// the regression line is carried past its data.
void warnOfExtrapolation(const ReferenceTable& table, const StatisticChoice& choice,
                         const Acceptance& a, const std::vector<ColumnSummary>& adjusted,
                         const std::vector<ColumnSummary>& rejection, std::ostream& err) {
    for (std::size_t c = 0; c < numbDrawnParams; ++c)
        if (adjusted[c].median < rejection[c].q025 || adjusted[c].median > rejection[c].q975)
            warn(err, std::string(paramColumnNames[c]) + ": the adjusted median " +
                          shortNumber(adjusted[c].median) +
                          " lies outside the 95 % interval of the accepted values (" +
                          shortNumber(rejection[c].q025) + " to " +
                          shortNumber(rejection[c].q975) +
                          "): the regression extrapolates; compare --method forest");
    std::string outside;
    std::size_t count = 0;
    for (std::size_t k = 0; k < choice.columns.size(); ++k) {
        const std::vector<double>& column = table.stats[choice.columns[k]];
        double low = HUGE_VAL, high = -HUGE_VAL;
        for (std::size_t row : a.rows) low = std::fmin(low, column[row]), high = std::fmax(high, column[row]);
        const double x = choice.observed[k];
        if (x < low || x > high)
            ++count, outside += (outside.empty() ? "" : ", ") + std::string(tableStatNames[choice.columns[k]]);
    }
    if (!outside.empty())
        warn(err, std::string(count == 1 ? "the observed value of " : "the observed values of ") +
                      outside + (count == 1 ? " lies" : " lie") + " outside the range of the accepted simulations: the local-linear "
                      "adjustment extrapolates there; compare --method forest");
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
    const auto priors = in.columnPriorList();
    const auto& values = adjust ? e.adjusted : e.rejection;
    const std::size_t columns = table.numbParams();
    std::vector<ColumnSummary> summaries = summarise(values, columns, e.weights, priors);
    const std::vector<ColumnSummary> rejection =
        adjust ? summarise(e.rejection, columns, e.weights, priors) : summaries;
    if (adjust) warnOfExtrapolation(table, choice, a, summaries, rejection, err);

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
            if (in.settings.adjustGsmP) names += " GsmP (on the logit of its prior's bounds)";
            out << "adjusted:" << names << "; not adjusted: FracSueMono"
                << (table.hasGsmP && !in.settings.adjustGsmP ? " GsmP" : "") << "\n";
        }
        out << "\n" << formatTable(summaries, true);
    }
    out.flush();

    if (!options.samplePath.empty() &&
        writeSample(options, in, sampleText(table, e, adjust, in.settings.adjustGsmP, err), err) != 0)
        return 1;
    if (options.plotPath.empty()) return 0;
    std::string title = options.tablePath + ": " + std::to_string(a.rows.size()) + " accepted of " +
                        std::to_string(table.rows()) + ", " +
                        methodLine(options.method, a.cutoff).substr(8);
    const auto scriptFor = [&](const std::string& output) {
        return comparisonPlotScript(summaries, rejection, output, title,
                                    plotFormatFor(options.plotPath));
    };
    return drawPlotAndReport(scriptFor, in.outputs->file(options.plotPath), options.plotPath,
                             options.gnuplotProgram, err);
}
