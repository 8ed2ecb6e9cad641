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


namespace {


// The per-row estimates of a cross-validation, for R and pandas.
std::string crossValidationText(const ReferenceTable& table, const CrossValidation& cv) {
    std::string text =
        "sim\tparameter\ttrue\trejection\trejection_q025\trejection_q975\tloclinear\t"
        "loclinear_q025\tloclinear_q975\trejection_q25\trejection_q75\tloclinear_q25\t"
        "loclinear_q75\n";
    for (std::size_t k = 0; k < cv.rows.size(); ++k)
        for (std::size_t c = 0; c < table.numbParams(); ++c) {
            text += std::to_string(table.simOf(cv.rows[k])) + "\t" + paramSlotNames[c];
            appendTableNumber(text += '\t', cv.truths[c][k]);
            for (const CvEstimate& e : {cv.rejectionEstimates[c][k], cv.adjustedEstimates[c][k]})
                for (double x : {e.estimate, e.q025, e.q975}) appendTableNumber(text += '\t', x);
            // The 50 % intervals after the columns of earlier versions, so
            // that readers by position keep working.
            for (const CvEstimate& e : {cv.rejectionEstimates[c][k], cv.adjustedEstimates[c][k]})
                for (double x : {e.q25, e.q75}) appendTableNumber(text += '\t', x);
            text += '\n';
        }
    return text;
}

}  // namespace

int crossValidation(const TableOptions& options, const Inputs& in, std::ostream& out,
                    std::ostream& err) {
    const ReferenceTable& table = in.table;
    CrossValidation cv =
        crossValidate(table, in.choice, options.crossValidations, options.seed, in.settings);
    if (!cv.error.empty())
        return failWith(
            err, options.tablePath + ": " + cv.error + (cv.regressionFailed ? regressionHint : ""));
    if (cv.statisticsLeftOut > 0)
        warn(err, std::to_string(cv.statisticsLeftOut) +
                      " statistics of the pseudo-observed simulations were not finite numbers "
                      "and were left out of their distances");
    if (cv.regressionsReduced > 0)
        warn(err,
             "the regression left out statistics constant or collinear with others among "
             "the accepted rows for " +
                 std::to_string(cv.regressionsReduced) + " pseudo-observed simulation" +
                 (cv.regressionsReduced == 1 ? "" : "s"));

    const auto number = [&](double x, const char* format) {
        char text[32];
        std::snprintf(text, sizeof text, options.tsv ? "%.9g" : format, x);
        return std::isnan(x) ? std::string("NA") : std::string(text);
    };
    std::vector<std::vector<std::string>> lines;
    for (std::size_t c = 0; c < table.numbParams(); ++c) {
        const CvMethodResult &r = cv.rejection[c], &l = cv.adjusted[c];
        const CvMethodResult& best = l.error < r.error ? l : r;
        const bool adjusted = c == gsmPSlot ? in.settings.adjustGsmP : isAdjusted(c);
        lines.push_back(
            {paramSlotNames[c], number(r.error, "%.3f"), number(r.standardError, "%.3f"),
             number(l.error, "%.3f"), number(l.standardError, "%.3f"), number(r.coverage50, "%.2f"),
             number(r.coverage95, "%.2f"), number(l.coverage50, "%.2f"),
             number(l.coverage95, "%.2f"),
             verdict(best.error, best.standardError) + (adjusted ? "" : " (not adjusted)")});
    }
    if (options.tsv) {
        out << "parameter\trejection\trejection_se\tloclinear\tloclinear_se\trejection_cover50\t"
               "rejection_cover95\tloclinear_cover50\tloclinear_cover95\tverdict\n";
        for (const auto& line : lines) {
            for (std::size_t k = 0; k < line.size(); ++k) out << (k ? "\t" : "") << line[k];
            out << "\n";
        }
    } else {
        out << options.tablePath << ": cross-validation on " << cv.rows.size() << " of "
            << table.rows() << " simulations (seed " << options.seed << "), tolerance "
            << shortNumber(options.tolerance) << "\n";
        out << "statistics (scaled by their median absolute deviation): "
            << statisticList(in.choice) << "\n";
        out << transformLine(in, options.hcorr) << "\n";
        out << crossValidationLegend(cv.rows.size());
        char row[256];
        std::snprintf(row, sizeof row, "%-14s %9s %6s %9s %6s %6s %6s %6s %6s  %s\n", "Parameter",
                      "Rejection", "SE", "Loclinear", "SE", "Rej50", "Rej95", "Adj50", "Adj95",
                      "Verdict");
        out << row;
        for (const auto& l : lines) {
            std::snprintf(row, sizeof row, "%-14s %9s %6s %9s %6s %6s %6s %6s %6s  %s\n",
                          l[0].c_str(), l[1].c_str(), l[2].c_str(), l[3].c_str(), l[4].c_str(),
                          l[5].c_str(), l[6].c_str(), l[7].c_str(), l[8].c_str(), l[9].c_str());
            out << row;
        }
    }
    out.flush();
    if (options.cvOutPath.empty()) return 0;
    return in.outputs->write(options.cvOutPath, crossValidationText(table, cv), err);
}
