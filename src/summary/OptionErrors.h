#pragma once

#include <CLI/CLI.hpp>
#include <string>

// Every command of foundabc-summary reports an option error as
// "foundabc-summary: WHAT" and a line on how to get help, on standard error,
// so that a log shows which program complained.
inline void nameProgramInOptionErrors(CLI::App& app) {
    app.failure_message([](const CLI::App*, const CLI::Error& e) {
        return "foundabc-summary: " + std::string(e.what()) +
               "\nRun with --help for more information.\n";
    });
}
