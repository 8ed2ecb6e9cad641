#pragma once

#include <memory>

#include "io/Params.h"

// Reads the parameter file `fileName` into a new record owned by the caller.
//
// Format: a setting is a line "KEY VALUE # comment". Only lines holding a '#'
// are looked at; the words before the first '#' are split at blanks and tabs,
// the first word (case-folded) is the key, the second the value, further
// words are ignored. Unknown keys and lines without '#' are ignored. Reading
// stops at the 23rd assignment (a repeated key counts again and overwrites);
// if 999 lines pass first, the run ends with an error. Integers are read as
// atoi reads them (leading integer, 0 when none), reals as strtod does. A NUL
// byte in a line that is read is an error that names the line (lines after the
// 23rd assignment are never read).
//
// Returns only with 23 assignments counted; every error prints its message on
// standard output and ends the process with status 1.
std::unique_ptr<params> readInfile(const char* fileName);
