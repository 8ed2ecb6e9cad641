#include "study/StepLine.h"

#include <iostream>

StepLine::StepLine(int number, std::string name)
    : number_(number), name_(std::move(name)), start_(std::chrono::steady_clock::now()) {}

void StepLine::finish(bool redone, const std::string& note) {
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    std::cout << formatStepLine(number_, name_, seconds, redone, note) << std::flush;
}

std::string formatStepLine(int number, const std::string& name, double seconds, bool redone,
                           const std::string& note) {
    char line[96];
    std::snprintf(line, sizeof line, "%d/8 %-12s %8.1f s  %-9s", number, name.c_str(), seconds,
                  redone ? "done" : "unchanged");
    return std::string(line) + (note.empty() ? "" : "  " + note) + "\n";
}
