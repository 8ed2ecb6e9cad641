#pragma once

#include <chrono>
#include <cstdio>
#include <string>

// The line of one step of a study on standard output, "3/8 choice     12.4 s
// redone: ...", written when the step ends (so that a log holds one plain
// line per step), with the step's time.
class StepLine {
  public:
    StepLine(int number, std::string name);
    // Ends the step: `redone` false says its saved result was used.
    void finish(bool redone, const std::string& note);

  private:
    int number_;
    std::string name_;
    std::chrono::steady_clock::time_point start_;
};

// "3/8 choice     12.4 s  redone  NOTE" for step `number` of 8.
std::string formatStepLine(int number, const std::string& name, double seconds, bool redone,
                           const std::string& note);
