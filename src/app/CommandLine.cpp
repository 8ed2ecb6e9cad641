#include "app/CommandLine.h"

#include <CLI/CLI.hpp>
#include <iostream>
#include <vector>

#include "io/Fail.h"

CommandLine parseCommandLine(int argc, char* argv[]) {
    CLI::App app{
        "Estimates the founding history of a derived population (sue) from a parental one "
        "(tha) by rejection sampling: each repeat draws a parameter set from the priors of the "
        "parameter file, simulates every locus, and appends the set to the results file when "
        "its statistics come close to the observed ones.",
        "foundabc"};
    app.set_version_flag("--version", std::string("foundabc ") + foundabcVersion);
    app.get_formatter()->column_width(24);

    CommandLine line;
    std::vector<std::string> files;
    app.add_option("PARAMS_FILE", files, "Parameter file of the run")->expected(0, -1);
    bool legacy = false;
    app.add_flag("--legacy-model", legacy,
                 "Simulate the model as the program first computed it (growth-phase intervals "
                 "transformed twice, approximate founder count), to reproduce earlier results");
    app.add_flag("--check", line.check,
                 "Check the parameter file and its data file without running: list every "
                 "problem found with its line and a suggested fix, then \"settings OK\" (exit "
                 "status 0) or the number of problems (exit status 1)");

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::cout << app.help();
        std::exit(0);
    } catch (const CLI::CallForVersion& e) {
        std::cout << e.what() << '\n';
        std::exit(0);
    } catch (const CLI::ParseError& e) {
        fail(std::string("foundabc: ") + e.what() + "\nRun 'foundabc --help' for the options.\n");
    }
    if (files.size() != 1) fail("Not enough arguments (infile)\n");
    line.infile = files.front();
    line.model = legacy ? ModelVersion::legacy : ModelVersion::current;
    return line;
}
