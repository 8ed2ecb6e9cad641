#pragma once

#include <ostream>

// `foundabc-summary --choose A.tsv.gz B.tsv.gz [...]`: which founding model
// the observed data support, from the reference tables of the models (see
// ModelChoice.h), or with --cv the cross-validation of that choice.

// Whether the command line asks for model choice (it holds `--choose`).
bool wantsModelChoice(int argc, const char* const* argv);

// Parses the command line and runs it. Returns the exit status: 0 on success
// (and after --help), 1 after a message on `err` for a bad command line,
// unreadable or inconsistent tables, or a failed regression.
int modelChoiceMain(int argc, const char* const* argv, std::ostream& out, std::ostream& err);
