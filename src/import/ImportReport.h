#pragma once

#include <string>

#include "io/Conversion.h"
#include "io/GenepopFile.h"

// What the import did, for the user to read and paste.
struct ImportSummary {
    std::string inName, outName;
    std::string unitsSource;  // "--repeat-unit 4", "--repeat-units FILE", or "" (none)
};

// The three settings lines for the parameter file, each with the `#` that
// makes the parameter file read it, and a comment naming its source.
std::string formatSettings(const GenepopFile& file, const ConversionChoice& choice,
                           const Conversion& conversion);

// The report after the settings lines: the populations taken and left out,
// lines and missing values per population, how copies and codes were turned
// into lines and counts, and the loci monomorphic in both populations.
std::string formatReport(const GenepopFile& file, const ConversionChoice& choice,
                         const Conversion& conversion, const ImportSummary& summary);

// The warning that lists every code off its locus's ladder, by locus and
// code, with the count it became; empty when there is none.
std::string formatOffLadderWarning(const GenepopFile& file, const Conversion& conversion);
