#pragma once

#include <ostream>
#include <string>

#include "summary/ResultsFile.h"

// Version shown by `foundabc-summary --version`.
inline constexpr const char* summaryVersion = "0.1.0";

// The settings of one `foundabc-summary` call, as read from its command line.
struct SummaryOptions {
    std::string resultsPath;
    RunChoice runs;
    bool weighted = false;
    double bandwidth = 0.0;  // > 0 when given; 0 means the largest DS of the chosen rows
    bool tsv = false;
    std::string plotPath;  // empty: no picture
    std::string gnuplotProgram = "gnuplot";
};

// Reads the results file, writes the summary to `out` and warnings and
// errors to `err`; returns the exit status: 0 on success (also when the
// picture was asked for but gnuplot is missing), 1 when the file is missing,
// malformed or holds no usable row, or when gnuplot failed to draw.
int runSummary(const SummaryOptions& options, std::ostream& out, std::ostream& err);
