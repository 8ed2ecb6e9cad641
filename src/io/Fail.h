#pragma once

#include <string>

// Ends the run after an error: writes `message` to standard output exactly as
// given (the caller includes any line end), flushes, and exits with status 1.
// Every error of the program goes through here; nothing is written to
// standard error.
[[noreturn]] void fail(const std::string& message);
