#pragma once

#include <istream>
#include <string>
#include <vector>

// Reads a repeat-units file: one `locus unit` line per locus of the Genepop
// file, the unit a whole number of base pairs of 1 or more (the last word of
// the line; the words before it are the locus name, which may hold blanks).
// Blank lines and lines starting with `#` are skipped.
//
// Fills `units` with the unit of each of `loci`, in their order. Returns an
// empty string on success, else the problem as "`fileName` line N: ..." (a
// malformed line, a unit that is no whole number of 1 or more, a name that is
// no locus of the file, a locus given twice), or "`fileName`: no unit for
// locus X" for the first locus left out. A locus name that appears twice in
// the Genepop file cannot be told apart and is refused as well.
std::string readRepeatUnits(std::istream& in, const std::string& fileName,
                            const std::vector<std::string>& loci, std::vector<int>& units);
