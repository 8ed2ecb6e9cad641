#pragma once

#include <ostream>
#include <string>

#include "base/Version.h"
#include "io/ResultsFile.h"

// The settings of one `foundabc-summary` call, as read from its command line.
struct SummaryOptions {
    std::string resultsPath;
    RunChoice runs;
    bool weighted = false;
    double bandwidth = 0.0;  // > 0 when given; 0 means the largest DS of the chosen rows
    bool tsv = false;
    std::string plotPath;    // empty: no picture; else ends in .png, .svg or .pdf
    std::string rowsPath;    // empty: no table of rows
    std::string paramsPath;  // empty: priors unknown
    std::string gnuplotProgram = "gnuplot";
};

// Reads the results file (and the parameter file, when given), writes the
// table of rows when asked, then the summary to `out`, warnings and errors to
// `err`; returns the exit status: 0 on success (also when the picture was
// asked for but gnuplot is missing), 1 when a file is missing, malformed or
// holds no usable row, when the picture's name has none of the extensions
// .png, .svg and .pdf, when the table of rows cannot be written, or when
// gnuplot failed to draw. A file that could not be written completely is not
// left behind.
int runSummary(const SummaryOptions& options, std::ostream& out, std::ostream& err);
