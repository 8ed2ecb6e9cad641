#pragma once

#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

#include "abc/Abc.h"
#include "abc/Transform.h"

// `foundabc-summary --table FILE ...`: posterior estimates from a reference
// table (rejection on scaled statistics, with or without local-linear
// regression adjustment), or the cross-validation of those estimates.

struct TableOptions {
    std::string tablePath;
    double tolerance = 0.01;         // the accepted share of simulations, in (0, 1]
    std::vector<std::string> stats;  // statistic names; empty: all
    AdjustMethod method = AdjustMethod::loclinear;
    bool forest = false;      // random forests instead of rejection (method then unused)
    int trees = 500;          // trees per forest
    int threads = 0;          // threads growing the trees; 0: every core
    std::string observedPath;  // observed points to estimate; empty: the table's own
    TransformKind transform = TransformKind::logit;  // logit falls back to log without priors
    bool hcorr = false;                              // heteroscedastic correction of the adjustment
    std::string plotPath;                            // empty: no picture
    std::string samplePath;                          // empty: no file of the posterior sample
    bool tsv = false;
    std::size_t crossValidations = 0;  // > 0: cross-validate on this many rows instead
    unsigned long seed = 1;
    std::string cvOutPath;     // with crossValidations: the per-row estimates; empty: none
    std::size_t fitTests = 0;  // > 0: test the goodness of fit on this many rows instead
    std::size_t fitChecks = 0;  // > 0: the fit check on this many rows instead
    std::string gnuplotProgram = "gnuplot";
};

// Reads the table and its observed statistics, writes the estimate (or the
// cross-validation) to `out` and warnings and errors to `err`. Returns the
// exit status: 0 on success (also when the picture was asked for but gnuplot
// is missing), 1 on any bad input or failed estimate, with a message.
int runTableSummary(const TableOptions& options, std::ostream& out, std::ostream& err);

// Whether the command line asks for the reference-table command (it holds
// `--table` or `--table=...`).
bool wantsTable(int argc, const char* const* argv);

// Parses the reference-table command line and runs it. Returns the exit
// status: 0 after --help or --version, 1 on a bad command line.
int tableMain(int argc, const char* const* argv, std::ostream& out, std::ostream& err);
