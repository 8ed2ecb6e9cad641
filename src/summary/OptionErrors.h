#pragma once

#include <CLI/CLI.hpp>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "base/OptionError.h"
#include "base/Version.h"

// Every command of foundabc-summary reports an option error as
// "foundabc-summary: WHAT" and a line on how to get help, on standard error,
// so that a log shows which program complained.
inline void nameProgramInOptionErrors(CLI::App& app) {
    app.failure_message([](const CLI::App*, const CLI::Error& e) {
        return "foundabc-summary: " + std::string(e.what()) +
               "\nRun with --help for more information.\n";
    });
}

// Writes the option error `e` of `app` as "foundabc-summary: WHAT" (an
// unknown option with the nearest one, an option given twice with its
// values) and the line on help, on `err`; help and version, which CLI11
// reports as errors too, go to `out`. `others` are the words of the other
// commands, for the hint. Returns the status to exit with: 0 after help or
// version, else 1.
inline int reportOptionError(const CLI::App& app, const CLI::ParseError& e, int argc,
                             const char* const* argv, std::ostream& out, std::ostream& err,
                             const std::vector<std::string>& others = {}) {
    if (e.get_exit_code() == 0) return app.exit(e, out, err) == 0 ? 0 : 1;
    err << "foundabc-summary: " << optionErrorMessage(app, e, argc, argv, others)
        << "\nRun with --help for more information.\n";
    return 1;
}

// Parses the command line of a command of foundabc-summary. Each command's
// own option takes the next word as its file, so that "--table --help" would
// look for a table named "--help": a bare --help or -h anywhere gives the
// command's help instead, and a bare --version the version, before any file
// is looked at. Returns -1 when the command is to go on, or else the status
// to exit with (0 after help or version, 1 after an option error, which is
// written to `err`).
inline int parseCommandLine(CLI::App& app, int argc, const char* const* argv, std::ostream& out,
                            std::ostream& err) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            out << app.help();
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            out << "foundabc-summary " << foundabcVersion << "\n";
            return 0;
        }
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return reportOptionError(app, e, argc, argv, out, err);
    }
    return -1;
}
