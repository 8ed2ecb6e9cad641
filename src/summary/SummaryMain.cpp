// foundabc-summary: the posterior summary of a foundabc results file.
#include <gsl/gsl_errno.h>

#include <CLI/CLI.hpp>
#include <ios>
#include <iostream>

#include "base/HelpFormat.h"
#include "summary/ChooseCommand.h"
#include "summary/Command.h"
#include "summary/OptionErrors.h"
#include "summary/Options.h"
#include "summary/PpcCommand.h"
#include "summary/TableCommand.h"

namespace {

int summaryMain(int argc, char** argv) {
    // Estimation from a reference table is a command of its own.
    if (wantsTable(argc, argv)) return tableMain(argc, argv, std::cout, std::cerr);
    if (wantsModelChoice(argc, argv)) return modelChoiceMain(argc, argv, std::cout, std::cerr);
    if (wantsPredictiveCheck(argc, argv))
        return predictiveCheckMain(argc, argv, std::cout, std::cerr);

    CLI::App app{
        "Summarises the accepted rows of a foundabc results file: for each estimated column "
        "the number of rows, mean, standard deviation, 2.5 % quantile, median, 97.5 % "
        "quantile and mode; optionally weighted, drawn, and written out as a table of rows.",
        "foundabc-summary"};
    app.footer(
        "Reference tables: foundabc-summary --table FILE [--method "
        "forest|loclinear|weighted|rejection] [--tol Q] [--stats LIST] [--sample FILE.tsv] "
        "[--plot PICTURE] [--tsv]; or --table FILE --cv N [--seed S] [--cv-out FILE.tsv]; or "
        "--table FILE --gfit N [--seed S] [--plot PICTURE]; or --table FILE --fit-check N "
        "[--seed S] [--plot PICTURE]. foundabc-summary --table --help "
        "explains them.\n"
        "Model choice: foundabc-summary --choose TABLE TABLE... [--names LIST] [--method "
        "forest|mnlogistic|rejection] [--equal-priors] [--plot PICTURE] [--cv N]; "
        "foundabc-summary --choose --help explains them.\n"
        "Posterior predictive check: foundabc-summary --ppc FILE [--plot PICTURE] [--tsv]; "
        "foundabc-summary --ppc --help.");
    app.set_version_flag("--version", std::string("foundabc-summary ") + foundabcVersion);
    app.formatter(std::make_shared<WrappedHelp>());
    nameProgramInOptionErrors(app);

    SummaryOptions options;
    app.add_option("RESULTS_FILE", options.resultsPath, "Results file written by foundabc")
        ->required();
    std::string runText, bandwidthText;
    auto* runOption = app.add_option("--run", runText,
                                     "Summarise the K-th run of the file (from 1); by default "
                                     "the last run")
                          ->type_name("K");
    auto* allFlag = app.add_flag("--all", "Summarise the rows of all runs together");
    runOption->excludes(allFlag);
    auto* weightedFlag =
        app.add_flag("--weighted", options.weighted,
                     "Weight rows by the Epanechnikov kernel on DS: 1 - (DS/h)^2, 0 when DS >= h");
    auto* bandwidthOption =
        app.add_option("--bandwidth", bandwidthText,
                       "Kernel bandwidth h > 0 for --weighted; by default the largest DS of the "
                       "rows (whose row then gets weight 0)")
            ->type_name("H")
            ->needs(weightedFlag);
    app.add_flag("--tsv", options.tsv, "Write tab-separated values instead of a text table");
    app.add_option("--plot", options.plotPath,
                   "Draw the marginal posteriors into this picture; its extension .png, .svg or "
                   ".pdf chooses the format (needs gnuplot)")
        ->type_name("FILE");
    app.add_option("--rows", options.rowsPath,
                   "Write the chosen rows as a tab-separated table with a run column, for R, "
                   "pandas and other programs")
        ->type_name("FILE.tsv");
    app.add_option("--params", options.paramsPath,
                   "The run's parameter file: its priors set each column's scale (log for "
                   "PRIOR_DISTRIBUTION 1) and are drawn in the picture")
        ->type_name("params.txt");

    // Every usage error ends with its message and status 1; --help and
    // --version end with status 0.
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // A misspelt command word reaches the results summary.
        return reportOptionError(app, e, argc, argv, std::cout, std::cerr,
                                 {"--table", "--choose", "--ppc"});
    }
    if (*runOption) {
        std::size_t number = 0;
        const std::string why = parseRunNumber(runText, number);
        if (!why.empty()) {
            std::cerr << "foundabc-summary: --run " << runText << ": " << why << "\n";
            return 1;
        }
        options.runs = {RunChoice::numbered, number};
    }
    if (*allFlag) options.runs = {RunChoice::all, 0};
    if (*bandwidthOption) {
        const std::string why = parseBandwidth(bandwidthText, options.bandwidth);
        if (!why.empty()) {
            std::cerr << "foundabc-summary: --bandwidth " << bandwidthText << ": " << why << "\n";
            return 1;
        }
    }
    return runSummary(options, std::cout, std::cerr);
}

}  // namespace

int main(int argc, char** argv) {
    // A singular matrix or another numerical failure is reported by the
    // method that meets it, never by GSL's handler, which aborts.
    gsl_set_error_handler_off();
    // Every reader names the file it cannot read; a stream error that still
    // escapes ends the program with a message rather than an abort.
    try {
        return summaryMain(argc, argv);
    } catch (const std::ios_base::failure& e) {
        std::cerr << "foundabc-summary: a file cannot be read: " << e.what() << "\n";
        return 1;
    }
}
