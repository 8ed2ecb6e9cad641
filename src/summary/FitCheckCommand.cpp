#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "abc/FitCheck.h"
#include "abc/Stats.h"
#include "plot/CheckPlot.h"
#include "plot/Plot.h"
#include "plot/PlotFormat.h"
#include "sim/Columns.h"
#include "summary/TableShared.h"

int fitCheckTest(const TableOptions& options, const Inputs& in, std::ostream& out,
                 std::ostream& err) {
    const ReferenceTable& table = in.table;
    const StatisticChoice& choice = in.choice;
    const FitCheck fit =
        fitCheck(table, choice, options.fitChecks, options.seed, options.tolerance);
    if (!fit.error.empty())
        return failWith(err, options.tablePath + ": " + fit.error +
                                 (fit.tooFewNeighbours
                                      ? "; give a larger --tol, fewer --stats or a larger table"
                                      : ""));
    if (fit.statisticsLeftOut > 0)
        warn(err, std::to_string(fit.statisticsLeftOut) +
                      " statistics of the pseudo-observed simulations were not finite numbers "
                      "and were left out of their scores");
    const NullQuantiles null = nullQuantiles(fit.nullScores);
    const auto drawCheck = [&] {
        out.flush();
        if (options.plotPath.empty()) return 0;
        const std::string title = options.tablePath + ": fit check, p = " + shortNumber(fit.pValue);
        const auto scriptFor = [&](const std::string& output) {
            return fitPlotScript(fit.nullScores, fit.observed.score, output, title,
                                 plotFormatFor(options.plotPath), fitCheckScoreAxis);
        };
        return drawPlotAndReport(scriptFor, in.outputs->file(options.plotPath), options.plotPath,
                                 options.gnuplotProgram, err);
    };
    if (options.tsv) {
        out << "observed_score\tnull_median\tnull_q95\tnull_q99\tnull_n\tp_value\n";
        char line[256];
        std::snprintf(line, sizeof line, "%.9g\t%.9g\t%.9g\t%.9g\t%zu\t%.9g\n", fit.observed.score,
                      null.median, null.q95, null.q99, null.count, fit.pValue);
        out << line;
        return drawCheck();
    }
    const std::size_t farther =
        static_cast<std::size_t>(std::lround(fit.pValue * static_cast<double>(null.count)));
    const bool rejected = fit.pValue < 0.05;
    out << options.tablePath << ": fit check on " << fit.rows.size() << " of " << table.rows()
        << " simulations (seed " << options.seed << "), neighbourhood: the nearest "
        << shortNumber(options.tolerance) << " of the table\n";
    out << "statistics (scaled by their median absolute deviation): " << statisticList(choice)
        << "\n";
    out << "score: the squared Mahalanobis distance of the data from the mean of its nearest "
           "simulations, in\ntheir covariance with its correlations scaled by "
        << shortNumber(1 - varianceShare)
        << "; null scores: simulations of the table, each\nscored against the others: median "
        << shortNumber(null.median) << ", 95 % quantile " << shortNumber(null.q95)
        << ", 99 % quantile " << shortNumber(null.q99) << "\n\n";
    out << "The observed statistics lie at a squared Mahalanobis distance of "
        << shortNumber(fit.observed.score) << " from the mean of their " << fit.observed.neighbours
        << " nearest simulations; " << farther << " of " << null.count
        << " simulations of the model lie as far or farther (p = " << shortNumber(fit.pValue)
        << "), so the model "
        << (rejected ? "is rejected at the 5 % level: the observed statistics do not keep the "
                       "relations that its simulations keep among them."
                     : "is not rejected at the 5 % level.")
        << "\n\n";

    out << "each statistic against what the others predict near the data (the residual of its "
           "linear\nregression on them over the nearest simulations, in standard deviations)\n";
    char row[256];
    std::snprintf(row, sizeof row, "%-10s %12s %9s\n", "Statistic", "Observed", "Residual");
    out << row;
    std::string named;
    for (std::size_t c = 0; c < choice.columns.size(); ++c) {
        const double z = fit.observed.conditional[c];
        const char* name = tableStatNames[choice.columns[c]];
        char value[32];
        std::snprintf(value, sizeof value, "%+.2f", z);
        std::snprintf(row, sizeof row, "%-10s %12.6g %9s\n", name, choice.observed[c],
                      std::isnan(z) ? "NA" : value);
        out << row;
        if (std::fabs(z) >= namedResidual)
            named += (named.empty() ? "" : ", ") + std::string(name) + " (" + value + ")";
    }
    if (!named.empty())
        out << "\nMore than " << shortNumber(namedResidual)
            << " standard deviations from what the other statistics predict: " << named << ".\n";
    return drawCheck();
}
