#pragma once

#include <string>
#include <vector>

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

// A problem of the data file as readDataFile finds it.
struct DataFileFault {
    enum Kind { cannotOpen, nulByte, tooFewValues, badField, endOfBuffer };
    Kind kind;
    int locus;               // the locus (from 1) whose line (locus + 1) holds it; 0: the file
                             // itself or its header
    std::string message;     // readDataFile's message for it
    std::size_t valuesRead;  // values of the locus read before the problem
    bool pastEnd;            // the file had ended before the locus's line
};

// What a reading of the data file found: the rows read and the problems.
struct DataFileScan {
    AlleleMatrix matrix;
    std::vector<DataFileFault> faults;  // in file order
};

// Reads the data file by readDataFile's rules without ending the process. With
// `stopAtFirst` it stops at the first problem (the one readDataFile reports);
// otherwise it reads on to the last locus, recording the problem of every
// line, but stops once the file has ended (every later line would read empty).
DataFileScan scanDataFile(const char* fileName, int numbLoci, int numbLines, bool stopAtFirst);
