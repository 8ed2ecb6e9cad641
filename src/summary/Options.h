#pragma once

#include <CLI/CLI.hpp>
#include <cstddef>
#include <string>

#include "abc/Forest.h"
#include "abc/ForestDefaults.h"

// Checks of the values given to foundabc-summary's options. Each returns an
// empty string and sets its result when the text is acceptable, or returns
// the reason it is not, to be printed after the option's name and value.

// `--run K`: a whole number of decimal digits from 1 up that fits a size_t.
std::string parseRunNumber(const std::string& text, std::size_t& number);

// `--bandwidth H`: a finite number above 0 (decimal, with an optional
// exponent; "nan", "inf" and hexadecimal numbers are refused).
std::string parseBandwidth(const std::string& text, double& h);

// `--trees N` (lowest 1) and `--threads N` (lowest 0: every core): a whole
// number up to 100000. The reason names the option and its value.
std::string parseForestCount(const std::string& option, const std::string& text, int lowest,
                             int& count);

// The --trees and --threads options of a command that grows forests, added
// to `app` by the constructor (the object must outlive the parsing, which
// writes into it); read() checks their texts after the parsing.
class ForestCountOptions {
  public:
    explicit ForestCountOptions(CLI::App& app);
    ForestCountOptions(const ForestCountOptions&) = delete;
    ForestCountOptions& operator=(const ForestCountOptions&) = delete;

    CLI::Option* trees() const { return trees_; }
    CLI::Option* threads() const { return threads_; }

    // Sets `trees` and `threads` (defaults 500 and 0, every core); returns ""
    // or the reason of the first bad value (parseForestCount).
    std::string read(int& trees, int& threads) const;

  private:
    std::string treesText_ = "500", threadsText_ = "0";
    CLI::Option* trees_;
    CLI::Option* threads_;
};
