#pragma once

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

// The plain sentence for an option error of a program's command line (without
// the program's name, which the caller puts before it). CLI11's own text
// reads as a parser's ("The following arguments were not expected: x
// --methd", "--trees: At Most 1 required but received 2"); here
// - an unknown option is named, with the nearest option of `app` when one is
//   close enough to be a slip of the keyboard: "unknown option '--methd';
//   did you mean --method?";
// - an option that takes a value and is given more than once is named with
//   its values: "--trees is given 2 times (3, 5); give it once";
// - every other error keeps CLI11's text.
// `argv` is the command line that `app` parsed; `others` are the words that
// choose another command of the program ("--table"), near which an unknown
// option may be too.
std::string optionErrorMessage(const CLI::App& app, const CLI::ParseError& error, int argc,
                               const char* const* argv,
                               const std::vector<std::string>& others = {});

// The option of `app` or word of `others` nearest to `word` ("--methd"),
// written as on a command line ("--method"), or "" when none is near enough
// to be what was meant.
std::string nearestOption(const CLI::App& app, const std::string& word,
                          const std::vector<std::string>& others = {});
