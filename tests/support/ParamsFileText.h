#pragma once

#include <unistd.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "support/ChildProcess.h"

// Text of a complete, usable parameter file (every key set, one per line, in
// the form "KEY VALUE # comment"); tests change, add or drop single keys.
class ParamsFileText {
  public:
    ParamsFileText()
        : entries_{{"DATAFILE_NAME", "data.txt"},
                   {"OUTFILE_NAME", "results.txt"},
                   {"NUMBER_OF_THA_LINES", "3"},
                   {"NUMBER_OF_SUE_LINES", "2"},
                   {"NUMBER_OF_LOCI", "2"},
                   {"ALPHA", "0.5"},
                   {"MY_LOWER", "0.0001"},
                   {"MY_UPPER", "0.01"},
                   {"TIME_TO_ORIGIN_LOWER", "10"},
                   {"TIME_TO_ORIGIN_UPPER", "100"},
                   {"POPSIZE_ORIGIN_THA_LOWER", "100"},
                   {"POPSIZE_ORIGIN_THA_UPPER", "200"},
                   {"POPSIZE_PRESENT_THA_LOWER", "1000"},
                   {"POPSIZE_PRESENT_THA_UPPER", "2000"},
                   {"POPSIZE_ORIGIN_SUE_LOWER", "10"},
                   {"POPSIZE_ORIGIN_SUE_UPPER", "20"},
                   {"POPSIZE_PRESENT_SUE_LOWER", "100"},
                   {"POPSIZE_PRESENT_SUE_UPPER", "1234567"},
                   {"PRIOR_DISTRIBUTION", "0"},
                   {"REPEATS", "10"},
                   {"EPSILON", "0.5"},
                   {"CONDITIONAL_NUMBER_OF_ORIGINS", "0"},
                   {"UNEQUAL_FOUNDING_FRACTIONS", "0"}} {}

    // Sets `key` to `value` in place, or appends it when absent.
    ParamsFileText& set(const std::string& key, const std::string& value) {
        for (auto& e : entries_)
            if (e.first == key) {
                e.second = value;
                return *this;
            }
        entries_.emplace_back(key, value);
        return *this;
    }
    ParamsFileText& drop(const std::string& key) {
        for (auto it = entries_.begin(); it != entries_.end(); ++it)
            if (it->first == key) {
                entries_.erase(it);
                break;
            }
        return *this;
    }
    std::string str() const {
        std::string text;
        for (const auto& e : entries_) text += e.first + " " + e.second + " # setting\n";
        return text;
    }

  private:
    std::vector<std::pair<std::string, std::string>> entries_;
};

// The clock library of the faketime package.
inline std::string fakeTimeLibrary() {
    for (const char* path : {"/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1",
                             "/usr/lib/aarch64-linux-gnu/faketime/libfaketime.so.1",
                             "/usr/lib/faketime/libfaketime.so.1"})
        if (access(path, R_OK) == 0) return path;
    return "libfaketime.so.1";
}

// The command line that runs the real program with a fixed clock (`clock`,
// read in UTC, which seeds a --clock-seed run), with `args` after the program
// name. The clock stands still, so that a slow start on a busy machine cannot
// move the seed.
// The clock library is preloaded directly rather than through the faketime
// command, whose per-process semaphores, left behind by any killed run,
// make a later run whose process id is reused fail before it starts.
// Under AddressSanitizer the clock library is preloaded ahead of the
// sanitizer runtime, which the runtime refuses unless told otherwise.
inline std::vector<std::string> foundabcCommand(const std::vector<std::string>& args,
                                                const std::string& clock = "2024-01-01 00:00:00") {
    std::vector<std::string> argv = {"env", "TZ=UTC"};
#if defined(__SANITIZE_ADDRESS__)
    const char* asan = std::getenv("ASAN_OPTIONS");
    argv.push_back(std::string("ASAN_OPTIONS=") + (asan ? std::string(asan) + ":" : std::string()) +
                   "verify_asan_link_order=0");
#endif
    argv.insert(argv.end(),
                {"LD_PRELOAD=" + fakeTimeLibrary(), "FAKETIME=" + clock, FOUNDABC_BIN});
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

// Runs the real program with a fixed clock in `dir` (standard error to
// `errPath` when given, else discarded).
inline ChildResult runFoundabc(const std::vector<std::string>& args, const std::string& dir,
                               const std::string& clock = "2024-01-01 00:00:00",
                               const std::string& errPath = "") {
    return runProgram(foundabcCommand(args, clock), dir, errPath);
}
