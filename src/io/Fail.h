#pragma once

#include <string>

// Ends the run after an error: writes `message` to standard output exactly as
// given (the caller includes any line end), flushes, and exits with status 1.
// Every error of the program goes through here; nothing is written to
// standard error.
[[noreturn]] void fail(const std::string& message);

// Registers `hook` (or none, with nullptr) to run in fail() before the message
// is written; the progress line uses it to clear itself from the terminal.
void setFailureHook(void (*hook)());
