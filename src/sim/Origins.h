#pragma once

#include "sim/Genealogy.h"

// Counts the independent origins of the `sue` lines in the ancestral genealogy
// of one locus: the number of merges that join a subtree of `sue` leaves only
// with a subtree holding at least one `tha` leaf. Leaves 1..sueLines are the
// `sue` lines, the rest the `tha` lines. In a complete genealogy with a `tha`
// leaf this is the number of maximal clades of `sue` lines; 1 means the `sue`
// lines form a single clade. Only the topology is read; `gen` is not changed.
// Returns 1 at once when sueLines is 1.
// Ends the run with a message when sueLines < 1 or sueLines > gen.startLines.
int determineNumbOrigins(int sueLines, const Genealogy& gen);
