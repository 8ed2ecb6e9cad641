#pragma once

#include <array>
#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

#include "abc/Abc.h"
#include "abc/ColumnPriors.h"
#include "abc/Posterior.h"
#include "io/PriorsFile.h"
#include "sim/Columns.h"
#include "sim/PriorBounds.h"
#include "sim/SimulationTable.h"
#include "summary/OutputCheck.h"
#include "summary/TableCommand.h"

// What the commands on a reference table share: their inputs, once read,
// and the pieces of their text output.

// What cures a failed regression (too few rows, or a singular fit).
extern const char* const regressionHint;

// `x` with four significant digits, for the text output.
std::string shortNumber(double x);

// Writes "foundabc-summary: MESSAGE" on `err`; returns the exit status 1.
int failWith(std::ostream& err, const std::string& message);

// Writes "foundabc-summary: warning: MESSAGE" on `err`.
void warn(std::ostream& err, const std::string& message);

// The summaries of the table's first `columns` columns (its numbParams())
// from their weighted values.
std::vector<ColumnSummary> summarise(const std::array<std::vector<double>, numbParamSlots>& v,
                                     std::size_t columns, const std::vector<double>& weights,
                                     const std::array<ColumnPrior, numbParamSlots>& priors);

// The names of the chosen statistics, separated by blanks.
std::string statisticList(const StatisticChoice& choice);

// Everything read for an estimate: the table, its observed statistics, its
// priors (when it has a priors file) and the settings made from them.
struct Inputs {
    ReferenceTable table;
    StatisticChoice choice;
    std::array<double, numbTableStats> observed{};
    // Every observed point (the first is `observed`); more than one only
    // from --observed.
    std::vector<std::array<double, numbTableStats>> points;
    bool hasPriors = false;
    TablePriors priors{};
    // The prior of GsmP, when the priors file gives one (a table of a run
    // that drew it); gsmPPrior() is null otherwise.
    bool hasGsmPPrior = false;
    ParameterPrior gsmP{};
    const ParameterPrior* gsmPPrior() const { return hasGsmPPrior ? &gsmP : nullptr; }
    // The priors of the table's columns as the summaries take them.
    std::array<ColumnPrior, numbParamSlots> columnPriorList() const {
        return columnPriors(hasPriors ? &priors : nullptr, gsmPPrior());
    }
    EstimationSettings settings;
    TransformKind transform = TransformKind::none;  // the one in force
    OutputFiles* outputs = nullptr;                 // opened before the table was read
    TableProvenance provenance;                     // what made the table (its priors file)
};

// Writes the posterior sample `text` to --sample and, when the sample is a
// file of its own (not a pipe or device), the record of its table beside it
// (SampleOrigin), which `foundabc --from-sample` checks: 0, or 1 after the
// message on `err`.
int writeSample(const TableOptions& options, const Inputs& in, const std::string& text,
                std::ostream& err);

// The line that names the regression's transform and correction.
std::string transformLine(const Inputs& in, bool hcorr);

// The lines that explain a cross-validation's prediction error and
// coverage, with the coverages' two standard errors at N = `rows`, and a
// blank line. `forest`: the verdict is the forest's, from the out-of-bag
// error of every simulation.
std::string crossValidationLegend(std::size_t rows, bool forest = false);

// The line that names a rejection method and its kernel.
std::string methodLine(AdjustMethod method, double cutoff);

// The commands, each in a file of its own: the estimate by rejection or
// local-linear regression, by random forests, the cross-validation of
// either, the goodness of fit and the fit check. Each returns the exit status.
int estimate(const TableOptions& options, const Inputs& in, std::ostream& out, std::ostream& err);
int forestEstimate(const TableOptions& options, const Inputs& in, std::ostream& out,
                   std::ostream& err);
int crossValidation(const TableOptions& options, const Inputs& in, std::ostream& out,
                    std::ostream& err);
int forestCrossValidation(const TableOptions& options, const Inputs& in, std::ostream& out,
                          std::ostream& err);
int goodnessOfFitTest(const TableOptions& options, const Inputs& in, std::ostream& out,
                      std::ostream& err);
int fitCheckTest(const TableOptions& options, const Inputs& in, std::ostream& out,
                 std::ostream& err);
