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



int goodnessOfFitTest(const TableOptions& options, const Inputs& in, std::ostream& out,
                      std::ostream& err) {
    const ReferenceTable& table = in.table;
    const StatisticChoice& choice = in.choice;
    GoodnessOfFit fit =
        goodnessOfFit(table, choice, options.fitTests, options.seed, options.tolerance);
    if (!fit.error.empty()) return failWith(err, options.tablePath + ": " + fit.error);
    if (fit.statisticsLeftOut > 0)
        warn(err, std::to_string(fit.statisticsLeftOut) +
                      " statistics of the pseudo-observed simulations were not finite numbers "
                      "and were left out of their distances");
    const NullQuantiles null = nullQuantiles(fit.nullScores);
    // The picture of the null distribution with the data's score, if asked for.
    const auto drawFit = [&] {
        out.flush();
        if (options.plotPath.empty()) return 0;
        const std::string title =
            options.tablePath + ": goodness of fit, p = " + shortNumber(fit.pValue);
        const auto scriptFor = [&](const std::string& output) {
            return fitPlotScript(fit.nullScores, fit.observedScore, output, title,
                                 plotFormatFor(options.plotPath));
        };
        return drawPlotAndReport(scriptFor, in.outputs->file(options.plotPath), options.plotPath,
                             options.gnuplotProgram, err);
    };
    if (options.tsv) {
        out << "observed_score\tnull_median\tnull_q95\tnull_q99\tnull_n\tp_value\n";
        char line[256];
        std::snprintf(line, sizeof line, "%.9g\t%.9g\t%.9g\t%.9g\t%zu\t%.9g\n", fit.observedScore,
                      null.median, null.q95, null.q99, null.count, fit.pValue);
        out << line;
        return drawFit();
    }
    const Acceptance accepted = acceptNearest(
        scaledDistances(table, choice.columns, choice.observed, choice.scale), options.tolerance);
    const std::size_t farther =
        static_cast<std::size_t>(std::lround(fit.pValue * static_cast<double>(null.count)));
    out << options.tablePath << ": goodness of fit on " << fit.rows.size() << " of " << table.rows()
        << " simulations (seed " << options.seed << "), tolerance "
        << shortNumber(options.tolerance) << "\n";
    out << "statistics (scaled by their median absolute deviation): " << statisticList(choice)
        << "\n";
    out << "score: the mean distance of the accepted simulations to the data; null scores: "
           "simulations of the\ntable, each scored against the others: median "
        << shortNumber(null.median) << ", 95 % quantile " << shortNumber(null.q95)
        << ", 99 % quantile " << shortNumber(null.q99) << "\n\n";
    out << "The observed statistics lie at a mean distance of " << shortNumber(fit.observedScore)
        << " from their " << accepted.rows.size() << " nearest simulations; " << farther << " of "
        << null.count
        << " simulations of the model lie as far or farther (p = " << shortNumber(fit.pValue)
        << "), so the model "
        << (fit.pValue < 0.05 ? "is rejected at the 5 % level: it does not reproduce the "
                                "observed statistics."
                              : "is not rejected at the 5 % level.")
        << "\n\n";

    out << "prior predictive: where each observed statistic lies among the " << table.rows()
        << " simulations\n";
    const auto quantiles = priorPredictiveQuantiles(table, in.observed);
    char row[256];
    std::snprintf(row, sizeof row, "%-10s %12s %9s\n", "Statistic", "Observed", "Quantile");
    out << row;
    std::string flagged;
    for (std::size_t j = 0; j < table.numbStats; ++j) {
        const bool outside = quantiles[j] < 0.005 || quantiles[j] > 0.995;
        char q[32];
        std::snprintf(q, sizeof q, "%.4f", quantiles[j]);
        std::snprintf(row, sizeof row, "%-10s %12.6g %9s%s\n", tableStatNames[j], in.observed[j],
                      std::isnan(quantiles[j]) ? "NA" : q,
                      outside ? "  outside the central 99 %" : "");
        out << row;
        if (outside) flagged += (flagged.empty() ? "" : ", ") + std::string(tableStatNames[j]);
    }
    if (!flagged.empty())
        out << "\nOutside the central 99 % of the simulations: " << flagged
            << ". The model cannot produce "
            << (flagged.find(',') == std::string::npos ? "it" : "them") << " under these priors.\n";
    return drawFit();
}
