#pragma once

#include <string>

#include "io/GenepopFile.h"

// Codes of a Genepop file are often fragment lengths in base pairs, which
// taken as repeat counts would make every step of U base pairs count as U
// mutations. A locus looks like lengths when it has two codes or more, every
// code is 50 or more (longer than the repeat counts of microsatellites
// usually are) and 90 % or more of its copies share one remainder modulo some
// unit from 2 to 6 (a ladder, which repeat counts of a stepwise process do
// not keep). The file looks like lengths when at least half of its loci with
// two codes or more do, so that one locus with few alleles on one parity by
// chance is no alarm.
//
// Returns the warning for standard error ("foundabc-import: warning: ...",
// naming those loci and their ranges, and what to give), or "" when the file
// does not look like lengths. For a file read without a repeat unit.
std::string basePairWarning(const GenepopFile& file);
