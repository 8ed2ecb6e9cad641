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

// As readDataFile for a sample of `sueLines` then `thaLines` lines, and the
// header must agree with the settings where it names the sample sizes (see
// dataFileMismatches): else the first mismatch ends the process, after any
// problem of readDataFile. With `note`, sets it to the line that says what
// was ignored ("note: FILE: " and ignoredData's text), "" when nothing was.
AlleleMatrix readDataFile(const char* fileName, int numbLoci, int sueLines, int thaLines,
                          std::string* note = nullptr);

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
    // The sample sizes the header names (see namedLines); -1 where it names
    // none.
    int headerSueLines = -1;
    int headerThaLines = -1;
    // Lines holding more than blanks after the last locus asked for, and
    // fields after the last value needed on the locus lines read (in how many
    // lines); all of them are ignored. Counted only when the scan read every
    // locus asked for.
    int linesAfterLoci = 0;
    int extraFields = 0;
    int linesWithExtraFields = 0;
};

// Reads the data file by readDataFile's rules without ending the process. With
// `stopAtFirst` it stops at the first problem (the one readDataFile reports);
// otherwise it reads on to the last locus, recording the problem of every
// line, but stops once the file has ended (every later line would read empty).
DataFileScan scanDataFile(const char* fileName, int numbLoci, int numbLines, bool stopAtFirst);

// The sample sizes that a header line names: each population (`sue`, `tha`,
// in any letter case) by a range ("sue1..sue20" or "sue1..20"), by one name
// per line ("sue1 sue2 ..."), or by a count before its name ("20 sue", as
// --simulate-data writes). Sets -1 for a population the header does not name
// in any of these ways (a header is free text: "sue lines then tha lines"
// names no count).
void namedLines(const std::string& header, int& sueLines, int& thaLines);

// Where the data file states its shape otherwise than the settings: the
// header names another number of lines of a population. `key` is the setting
// that disagrees, `inFile` the file's own count, `message` what the run
// prints.
struct DataFileMismatch {
    const char* key;
    int inFile;
    std::string message;
};
std::vector<DataFileMismatch> dataFileMismatches(const DataFileScan& scan,
                                                 const std::string& fileName, int sueLines,
                                                 int thaLines);

// What the reading ignored, as the data file's rules allow: lines after the
// last locus and fields after the `numbLines` values of a locus line, with
// their counts ("2 lines after the last locus (`lociSetting`) are ignored");
// "" when nothing was.
std::string ignoredData(const DataFileScan& scan, int numbLines, const std::string& lociSetting);
