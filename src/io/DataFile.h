#pragma once

#include "sim/AlleleMatrix.h"

// Reads the observed allele values from `fileName` into a new matrix owned by
// the caller: `numbLoci` rows of `numbLines` values (the `sue` lines first).
//
// Format: line 1 is a header and is skipped; line L + 1 holds locus L as
// integers separated by blanks (a tab is not a separator). Extra fields and
// extra lines are ignored; -9 marks a missing value and is stored as it is.
// A field is read as atoi reads it (leading integer, 0 when none). A NUL byte
// in the header or in a locus line that is read is an error (lines after the
// last locus are never read).
//
// Rows are taken as their lines are read, so memory follows the file, not the
// counts asked for. Returns only with every row complete; every error prints
// its message on standard output and ends the process with status 1.
AlleleMatrix readDataFile(const char* fileName, int numbLoci, int numbLines);
