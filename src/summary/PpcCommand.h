#pragma once

#include <ostream>

// `foundabc-summary --ppc FILE [--tsv]`: reads the table and its observed
// statistics and prints the check; returns the exit status (1 after a
// message on `err` for bad input or a bad command line).
bool wantsPredictiveCheck(int argc, const char* const* argv);
int predictiveCheckMain(int argc, const char* const* argv, std::ostream& out, std::ostream& err);
