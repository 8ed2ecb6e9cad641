#include "summary/TableCommand.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <tuple>

#include "abc/Abc.h"
#include "abc/CrossValidation.h"
#include "abc/FitCheck.h"
#include "abc/GoodnessOfFit.h"
#include "abc/Stats.h"
#include "base/HelpFormat.h"
#include "io/FinishedFile.h"
#include "io/InputFile.h"
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
#include "summary/OutputCheck.h"
#include "summary/Table.h"
#include "summary/TableShared.h"

namespace {


// Reads the priors file beside the table, if there is one. Returns false
// (with a message on `err`) when it is there but cannot be used.
bool readPriors(const TableOptions& options, std::size_t rows, Inputs& in, std::ostream& err) {
    const std::string path = priorsPath(options.tablePath);
    if (const std::string problem = directoryProblem(path); !problem.empty()) {
        failWith(err, problem);
        return false;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        if (errno != ENOENT) {
            failWith(err, "cannot open the priors file '" + path + "': " + std::strerror(errno));
            return false;
        }
        if (options.transform == TransformKind::logit)
            warn(err, "no priors file '" + path +
                          "' beside the table (a table written before foundabc wrote one?): "
                          "the parameters are adjusted on the log scale, which keeps them "
                          "positive but not inside their priors. For estimates inside the "
                          "priors, give the table its priors file (see docs/table-summary.md) "
                          "or write the table again with foundabc --table");
        return true;
    }
    std::string text;
    readWhole(file, text);
    PriorsFile priors;
    std::string error;
    if (file.bad() || !parsePriors(text, priors, error)) {
        failWith(err, path + ": " + (file.bad() ? "cannot read" : error));
        return false;
    }
    // A predictive table's rows were drawn from a posterior sample, not from
    // these priors: every estimate, check and cross-validation made from it
    // would be wrong, and nothing useful is lost by refusing it.
    for (const std::string& w : priors.warnings) warn(err, path + ": " + w);
    if (priors.provenance.source == TableSource::sample) {
        failWith(err, options.tablePath + " was simulated from a posterior sample (" + path +
                          " says '# made from: sample'), so its rows are not draws from the "
                          "prior and cannot give an estimate: check the fit with "
                          "foundabc-summary --ppc " + options.tablePath +
                          ", and estimate from a table made without --from-sample");
        return false;
    }
    // An edited record may hide a predictive table: only a clear one, or
    // none at all (a table written before the record), is trusted.
    if (!drawnFromPriors(priors.provenance)) {
        failWith(err, options.tablePath + ": " + path +
                          " does not say clearly what made the table (see the warning above), "
                          "so its rows cannot be taken for draws from the prior: estimate from "
                          "a table whose priors file foundabc wrote, or make the table again");
        return false;
    }
    in.hasPriors = true;
    in.priors = priors.priors;
    in.hasGsmPPrior = priors.hasGsmP;
    in.gsmP = priors.gsmP;
    in.provenance = priors.provenance;
    if (!priors.complete)
        warn(err, options.tablePath +
                      ": the table is incomplete: the run that wrote it did not finish (it was "
                      "killed, failed or is still running); its " +
                      std::to_string(rows) + " complete rows are used");
    else if (priors.simulations != static_cast<long long>(rows))
        warn(err, options.tablePath + ": " + std::to_string(rows) +
                      " rows read, but the run that wrote the table finished it with " +
                      std::to_string(priors.simulations) + " (cut short or damaged since?)");
    return true;
}

// Names the chosen statistics missing (not a number) in some observed
// points: the trees send them right at every split.
void warnMissingObserved(const Inputs& in, const std::string& path, std::ostream& err) {
    for (std::size_t j : in.choice.columns) {
        std::size_t missing = 0;
        for (const auto& point : in.points) missing += std::isnan(point[j]) ? 1 : 0;
        if (missing == 0) continue;
        warn(err, path + ": statistic " + tableStatNames[j] + " is not a number in " +
                      (in.points.size() == 1 ? std::string("the observed data")
                                             : std::to_string(missing) + " of " +
                                                   std::to_string(in.points.size()) +
                                                   " observed points") +
                      "; there the trees send it right at every split on it");
    }
}

}  // namespace

int runTableSummary(const TableOptions& options, std::ostream& out, std::ostream& err) {
    if (!(options.tolerance > 0.0 && options.tolerance <= 1.0))
        return failWith(err, "--tol must lie in (0, 1], the share of simulations to accept; got " +
                                 shortNumber(options.tolerance));
    for (const std::string* path : {&options.plotPath, &options.samplePath, &options.cvOutPath})
        if (path->find_first_of("\r\n") != std::string::npos)
            return failWith(err, "an output file's name must not contain a line end");
    if (!options.plotPath.empty() && plotFormatFor(options.plotPath) == PlotFormat::none)
        return failWith(err, "--plot '" + options.plotPath +
                                 "': the picture's file name must end in .png, .svg or .pdf, "
                                 "which choose its format");

    OutputFiles outputs;
    std::vector<NamedFile> inputs = tableInputs(options.tablePath);
    if (!options.observedPath.empty()) inputs.push_back({"observed statistics", options.observedPath});
    if (!outputs.open(tableOutputs(options), inputs, err)) return 1;
    TableRead read = readReferenceTable(options.tablePath);
    for (const std::string& w : read.warnings) warn(err, w);
    if (!read.error.empty()) return failWith(err, read.error);
    Inputs in;
    in.outputs = &outputs;
    in.table = std::move(read.table);
    const ReferenceTable& table = in.table;
    if (table.rows() == 0)
        return failWith(err, options.tablePath + ": no simulations in the table");
    const bool ownObserved = options.observedPath.empty();
    const std::string observedPath =
        ownObserved ? observedStatisticsPath(options.tablePath) : options.observedPath;
    ObservedRead observed = readObservedStats(observedPath, !ownObserved);
    if (!observed.error.empty())
        return failWith(err, observed.error + (ownObserved ? " (the observed statistics of the table '" +
                                                                 options.tablePath + "')"
                                                           : std::string()));
    if (!observed.note.empty()) warn(err, observed.note);
    if (observed.points.size() > 1 && (!options.samplePath.empty() || !options.plotPath.empty()))
        return failWith(err, observedPath + ": " + std::to_string(observed.points.size()) +
                                 " observed points; --sample and --plot take one");
    if (!readPriors(options, table.rows(), in, err)) return 1;

    // The table's own observed statistics are those its run recorded: a file
    // edited since gives an estimate for data that the table's record, and
    // a sample's, do not describe.
    if (ownObserved && in.provenance.known && dataFingerprintOf(observed.values) != in.provenance.data)
        warn(err, observedPath + " is not the observed data that the table was simulated for (" +
                      priorsPath(options.tablePath) +
                      " records other data): it was edited or replaced since; the estimate is "
                      "for the values in it");
    in.observed = observed.values;
    in.points = observed.points;
    // Observed statistics written before the spread and shape statistics
    // hold the core ones only: those are the statistics the two share.
    in.table.numbStats = std::min(in.table.numbStats, observed.numbStats);
    // A forest chooses its statistics over the table alone, so that each
    // observed point gets the answer it would get alone.
    // The fit check looks at every statistic the table holds unless told:
    // the spread and shape statistics are where the mutation process shows.
    std::vector<std::string> names = options.stats;
    if (options.fitChecks > 0 && names.empty())
        for (std::size_t j = 0; j < in.table.numbStats; ++j) names.push_back(tableStatNames[j]);
    in.choice = options.forest ? chooseForestStatistics(table, observed.values, names)
                               : chooseStatistics(table, observed.values, names);
    for (const std::string& w : in.choice.warnings) warn(err, w);
    if (!in.choice.error.empty()) return failWith(err, options.tablePath + ": " + in.choice.error);
    if (options.forest && options.crossValidations == 0) warnMissingObserved(in, observedPath, err);

    in.transform = options.transform == TransformKind::logit && !in.hasPriors ? TransformKind::log
                                                                              : options.transform;
    TransformChoice transforms =
        chooseTransforms(table, options.transform, in.hasPriors ? &in.priors : nullptr);
    for (const std::string& w : transforms.warnings) warn(err, w);
    if (!transforms.error.empty())
        return failWith(err, options.tablePath + ": " + transforms.error);
    in.settings.tolerance = options.tolerance;
    in.settings.method = options.method;
    in.settings.hcorr = options.hcorr;
    in.settings.transforms = transforms.transforms;
    in.settings.adjustGsmP = chooseGsmPTransform(table, in.gsmPPrior(), in.settings.gsmPTransform);
    // The command prepares its files; they take their names together once
    // it has succeeded.
    const auto command = [&]() {
        if (options.fitTests > 0) return goodnessOfFitTest(options, in, out, err);
        if (options.fitChecks > 0) return fitCheckTest(options, in, out, err);
        if (options.crossValidations > 0) {
            if (options.forest) return forestCrossValidation(options, in, out, err);
            in.settings.method = AdjustMethod::loclinear;
            return crossValidation(options, in, out, err);
        }
        if (options.forest) return forestEstimate(options, in, out, err);
        return estimate(options, in, out, err);
    };
    const int status = command();
    return status != 0 ? status : outputs.commitAll(err);
}

bool wantsTable(int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--table") == 0 || std::strncmp(argv[i], "--table=", 8) == 0)
            return true;
    return false;
}

int tableMain(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
    CLI::App app{
        "Estimates the parameters from a reference table written by foundabc --table: by "
        "default with a regression forest per parameter grown on every simulation; or from "
        "the simulations nearest to the observed statistics (scaled by their median absolute "
        "deviation), weighted by the Epanechnikov kernel and corrected by local-linear "
        "regression. With --cv it cross-validates that estimate, with --gfit it tests the "
        "goodness of fit of the model to the data, and with --fit-check whether the data keep "
        "the relations between the statistics that the model's simulations keep.",
        "foundabc-summary --table"};
    app.set_version_flag("--version", std::string("foundabc-summary ") + foundabcVersion);
    app.formatter(std::make_shared<WrappedHelp>());
    nameProgramInOptionErrors(app);
    TableOptions options;
    app.add_option("--table", options.tablePath,
                   "Reference table (plain or .gz); its observed statistics are read from "
                   "FILE (without .gz) + .observed.tsv")
        ->type_name("FILE")
        ->required();
    auto* tolOption =
        app.add_option("--tol", options.tolerance,
                       "Share of the simulations to accept, nearest first, in (0, 1] (with "
                       "--fit-check the neighbourhood, default 0.05)")
            ->type_name("Q")
            ->capture_default_str();
    app.add_option("--stats", options.stats,
                   "Statistics to compare, comma-separated column names; by default the twelve "
                   "core statistics (S_sue to FST) for the rejection methods and --gfit, every "
                   "statistic the table holds for the forests and --fit-check")
        ->type_name("LIST")
        ->delimiter(',');
    std::string method = "forest", adjust, transform = "logit";
    auto* methodOption =
        app.add_option("--method", method,
                       "forest: a regression forest per parameter on every simulation, whose "
                       "leaves weight the table's rows (calibrated intervals; no tolerance); "
                       "loclinear: the accepted parameters corrected by weighted local-linear "
                       "regression; weighted: the accepted parameters with their kernel weights; "
                       "rejection: plain rejection, unweighted")
            ->check(CLI::IsMember({"forest", "loclinear", "weighted", "rejection"}))
            ->capture_default_str();
    auto* adjustOption =
        app.add_option("--adjust", adjust,
                       "The same as --method for the rejection methods (none is rejection), "
                       "kept for scripts")
            ->check(CLI::IsMember({"loclinear", "weighted", "none"}))
            ->excludes(methodOption);
    const ForestCountOptions counts(app);
    auto* observedOption =
        app.add_option("--observed", options.observedPath,
                       "With --method forest: estimate each line of values of this observed "
                       "statistics file (the header of a .observed.tsv file, one data set per "
                       "line) instead of the table's own; one forest serves them all")
            ->type_name("OBS.tsv");
    auto* transformOption =
        app.add_option("--transform", transform,
                       "Scale of the regression: logit (within each prior's bounds, read from "
                       "FILE (without .gz) + .priors.tsv; log without that file), log or none")
            ->check(CLI::IsMember({"logit", "log", "none"}))
            ->capture_default_str();
    auto* hcorrOption = app.add_flag("--hcorr", options.hcorr,
                                     "Heteroscedastic correction of the local-linear adjustment");
    app.add_flag("--tsv", options.tsv, "Write tab-separated values instead of a text table");
    auto* plotOption =
        app.add_option("--plot", options.plotPath,
                       "Draw each parameter's posterior over its prior, with plain rejection "
                       "outlined, or with --gfit or --fit-check the scores of the simulations "
                       "and the data, "
                       "into this picture (.png, .svg or .pdf; needs gnuplot)")
            ->type_name("FILE");
    auto* sampleOption =
        app.add_option("--sample", options.samplePath,
                       "Write the accepted simulations (sim, distance, weight, the parameters "
                       "and their adjusted values) to this tab-separated file")
            ->type_name("FILE.tsv");
    std::string cvText, seedText = "1";
    auto* cvOption = app.add_option("--cv", cvText,
                                    "Cross-validate instead: estimate N simulations of the table "
                                    "from the others and print the prediction errors and the "
                                    "coverage of the credible intervals")
                         ->type_name("N");
    std::string fitText;
    auto* fitOption = app.add_option("--gfit", fitText,
                                     "Test the goodness of fit instead: score the data and N "
                                     "simulations of the table by the mean distance of their "
                                     "accepted simulations, and print the p-value and where "
                                     "each observed statistic lies among the simulations")
                          ->type_name("N");
    std::string checkText;
    auto* checkOption =
        app.add_option("--fit-check", checkText,
                       "Check the fit instead, on every statistic the table holds: score the "
                       "data and N "
                       "simulations of the table by their squared Mahalanobis distance from the "
                       "mean of their nearest simulations (--tol, default 0.05), in those "
                       "simulations' covariance (its correlations scaled by 0.7), and print "
                       "the p-value and how far each "
                       "statistic lies from what the others predict. It sees loci whose rates "
                       "differ far more often than --gfit, multi-step mutations somewhat more "
                       "often")
            ->type_name("N");
    auto* seedOption =
        app.add_option("--seed", seedText,
                       "Seed of the forests, and of the choice of simulations for --cv, --gfit "
                       "and --fit-check (default 1)")
            ->type_name("S");
    app.add_option("--cv-out", options.cvOutPath,
                   "With --cv: write each simulation's true value, estimates and 95 % "
                   "intervals to this tab-separated file")
        ->type_name("FILE.tsv")
        ->needs(cvOption);
    cvOption->excludes(plotOption)->excludes(adjustOption)->excludes(sampleOption);
    fitOption->excludes(cvOption)
        ->excludes(adjustOption)
        ->excludes(methodOption)
        ->excludes(observedOption)
        ->excludes(sampleOption)
        ->excludes(transformOption)
        ->excludes(hcorrOption);
    checkOption->excludes(cvOption)
        ->excludes(fitOption)
        ->excludes(adjustOption)
        ->excludes(methodOption)
        ->excludes(observedOption)
        ->excludes(sampleOption)
        ->excludes(transformOption)
        ->excludes(hcorrOption);
    if (const int status = parseCommandLine(app, argc, argv, out, err); status >= 0)
        return status;
    // Whole numbers of decimal digits only: no sign, so -1 cannot wrap round.
    const auto wholeNumber = [](const std::string& text, unsigned long long& value) {
        if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
        return ec == std::errc() && end == text.data() + text.size();
    };
    unsigned long long number = 0;
    if (!cvText.empty()) {
        if (!wholeNumber(cvText, number) || number < 1)
            return failWith(err, "--cv '" + cvText +
                                     "': give the number of simulations to cross-validate, a "
                                     "whole number from 1 up");
        options.crossValidations = static_cast<std::size_t>(number);
    }
    if (!fitText.empty()) {
        if (!wholeNumber(fitText, number) || number < 1)
            return failWith(err, "--gfit '" + fitText +
                                     "': give the number of simulations to score, a whole "
                                     "number from 1 up");
        options.fitTests = static_cast<std::size_t>(number);
    }
    if (!checkText.empty()) {
        if (!wholeNumber(checkText, number) || number < 1)
            return failWith(err, "--fit-check '" + checkText +
                                     "': give the number of simulations to score, a whole "
                                     "number from 1 up");
        options.fitChecks = static_cast<std::size_t>(number);
        if (tolOption->count() == 0) options.tolerance = defaultFitCheckShare;
    }
    if (!adjust.empty()) method = adjust == "none" ? "rejection" : adjust;
    options.forest = method == "forest" && fitText.empty() && checkText.empty();
    if (seedOption->count() > 0 && cvText.empty() && fitText.empty() && checkText.empty() &&
        !options.forest)
        return failWith(err, "--seed seeds the forests and chooses the simulations of --cv, "
                             "--gfit or --fit-check; give one of them");
    for (CLI::Option* option : {counts.trees(), counts.threads()})
        if (option->count() > 0 && !options.forest)
            return failWith(err, option->get_name() + " belongs to --method forest");
    if (const std::string problem = counts.read(options.trees, options.threads); !problem.empty())
        return failWith(err, problem);
    // Cross-validation estimates simulations of the table, each from the
    // others: no observed values enter it, so --observed would be ignored.
    if (observedOption->count() > 0 && cvOption->count() > 0)
        return failWith(err,
                        "--cv estimates simulations of the table, not observed data: "
                        "--observed has no part in it; drop one of them");
    if (observedOption->count() > 0 && !options.forest)
        return failWith(err, "--observed belongs to --method forest");
    if (!wholeNumber(seedText, number) || number > std::numeric_limits<unsigned long>::max())
        return failWith(err, "--seed '" + seedText + "': give a whole number from 0 to " +
                                 std::to_string(std::numeric_limits<unsigned long>::max()));
    options.seed = static_cast<unsigned long>(number);
    options.method = method == "rejection" ? AdjustMethod::rejection
                     : method == "weighted" ? AdjustMethod::weighted
                                            : AdjustMethod::loclinear;
    options.transform = transform == "none"  ? TransformKind::none
                        : transform == "log" ? TransformKind::log
                                             : TransformKind::logit;
    if ((options.forest || options.method != AdjustMethod::loclinear) &&
        (transformOption->count() > 0 || hcorrOption->count() > 0))
        return failWith(err,
                        "--transform and --hcorr belong to the local-linear adjustment; "
                        "they do nothing with " +
                            (adjust.empty() ? "--method " + method : "--adjust " + adjust));
    for (std::string& name : options.stats) name = CLI::detail::trim_copy(name);
    return runTableSummary(options, out, err);
}

