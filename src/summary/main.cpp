// foundabc-summary: the posterior summary of a foundabc results file.
#include <CLI/CLI.hpp>
#include <iostream>

#include "summary/Command.h"
#include "summary/TableCommand.h"

int main(int argc, char** argv) {
    // Estimation from a reference table is a command of its own.
    if (wantsTable(argc, argv)) return tableMain(argc, argv, std::cout, std::cerr);

    CLI::App app{
        "Summarises the accepted rows of a foundabc results file: for each estimated column "
        "the number of rows, mean, standard deviation, 2.5 % quantile, median, 97.5 % "
        "quantile and histogram mode; optionally weighted and drawn.",
        "foundabc-summary"};
    app.footer(
        "Reference tables: foundabc-summary --table FILE [--tol Q] [--stats LIST] [--adjust "
        "loclinear|none] [--plot PNG] [--tsv], or --table FILE --cv N [--seed S]; "
        "foundabc-summary --table FILE --help explains them.");
    app.set_version_flag("--version", std::string("foundabc-summary ") + summaryVersion);

    SummaryOptions options;
    app.add_option("RESULTS_FILE", options.resultsPath, "Results file written by foundabc")
        ->required();
    std::size_t runNumber = 0;
    auto* runOption = app.add_option("--run", runNumber,
                                     "Summarise the K-th run of the file (from 1); by default "
                                     "the last run")
                          ->type_name("K")
                          ->check(CLI::PositiveNumber);
    auto* allFlag = app.add_flag("--all", "Summarise the rows of all runs together");
    runOption->excludes(allFlag);
    auto* weightedFlag =
        app.add_flag("--weighted", options.weighted,
                     "Weight rows by the Epanechnikov kernel on DS: 1 - (DS/h)^2, 0 when DS >= h");
    app.add_option("--bandwidth", options.bandwidth,
                   "Kernel bandwidth h for --weighted; by default the largest DS of the rows "
                   "(whose row then gets weight 0)")
        ->type_name("H")
        ->check(CLI::PositiveNumber)
        ->needs(weightedFlag);
    app.add_flag("--tsv", options.tsv, "Write tab-separated values instead of a text table");
    app.add_option("--plot", options.plotPath,
                   "Draw the marginal posterior histograms into this PNG file (needs gnuplot)")
        ->type_name("FILE.png");

    CLI11_PARSE(app, argc, argv);

    if (*runOption) options.runs = {RunChoice::numbered, runNumber};
    if (*allFlag) options.runs = {RunChoice::all, 0};
    return runSummary(options, std::cout, std::cerr);
}
