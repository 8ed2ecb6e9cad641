#pragma once

#include <gsl/gsl_rng.h>

#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "sim/Params.h"

// Pieces of the start of a run, in the order in which the entry point calls
// them.

// Makes running out of memory anywhere in the run print "error: out of
// memory" on standard output and end with status 1 (instead of an abort).
void installOutOfMemoryHandler();

// Makes a write beyond the process's file-size limit fail with an error (which
// the results file reports as a write that failed, status 1) instead of
// killing the run with SIGXFSZ.
void ignoreFileSizeSignal();

struct GeneratorFree {
    void operator()(gsl_rng* g) const { gsl_rng_free(g); }
};
using GeneratorOwner = std::unique_ptr<gsl_rng, GeneratorFree>;

// Creates the run's generator (gsl_rng_taus), seeds it with the calendar time
// in whole seconds, and installs it as the global `r`. The caller owns it and
// must keep the returned handle alive as long as `r` is used.
GeneratorOwner createSeededGenerator();

// Prints the settings as the run uses them (doubles in the stream's default
// format); NUMBER_OF_LOCI is not shown. `extraLines` (each with its line end,
// for example the seed of a seeded run) go before the closing separator.
void echoParams(const params& p, std::ostream& out, const std::string& extraLines = "");

// Ends the run with a message when the settings make no run possible: sample
// sizes below 1, negative loci or repeats, a negative origin count for the
// founder-count model, a founding share of the second founder above 1, a
// real setting that is not finite, a base-10 log upper
// bound whose power of 10 is not finite, or a total sample beyond the 32-bit
// range. Returns when the settings are usable.
void checkParams(const params& p);

// A setting that makes no run possible, as checkParams finds it.
struct SettingFault {
    const char* key;      // the key concerned, as written in the parameter file
    std::string message;  // checkParams's message for it
};

// Every fault of checkParams, in the order in which it tests them (checkParams
// reports the first).
std::vector<SettingFault> settingFaults(const params& p);

// Number of sampled lines of both populations (checked by checkParams to fit).
int totalLines(const params& p);

// The input that the results file would append to, "the parameter file"
// (`paramsFile`), "the data file" or "the sample file" (`sampleFile` of
// --from-sample, when not empty), when OUTFILE_NAME names it (by the same
// name, or as the same file by device and inode); "" when it names none.
std::string inputNamedByResults(const params& p, const std::string& paramsFile,
                                const std::string& sampleFile = "");

// Ends the run with "error: results file NAME is the data file; give
// OUTFILE_NAME a name of its own" (or the parameter file) when
// inputNamedByResults finds one: its rows would be appended to its own input.
void refuseResultsOnInput(const params& p, const std::string& paramsFile,
                          const std::string& sampleFile = "");

// The documented limit on the mutations that one branch of a genealogy may
// expect at the worst case of the priors. Far below the 2^31 a branch can
// draw at all, it is still far above any real rate (the shipped example
// expects at most 130): a run beyond it would take days per repeat, so it
// stops at its start unless --allow-many-mutations lets it go on.
inline constexpr double kMutationsPerBranchLimit = 1e6;

// The worst case of the priors for the mutations on one branch: the largest
// rate on the longest branch, as long as the largest time since the
// founding plus twice the largest ancestral size (both founding sizes
// together, which take about 2 N to join their last lines). Bounds on the
// natural scale (10 to the bound when PRIOR_DISTRIBUTION is 1).
struct BranchMutations {
    bool log10Scale = false;
    double rate = 0, time = 0, ancestral = 0;
    double branch = 0;    // time + 2 x ancestral
    double expected = 0;  // rate x branch
};

// False when a bound is no finite number on the natural scale (checkParams
// refuses the settings then, or a repeat stops on it).
bool worstBranchMutations(const params& p, BranchMutations& worst);

// "a mutation rate up to R on a branch up to B time units long (...) expects
// E mutations", with the scale of log10 bounds named first.
std::string describeBranchMutations(const BranchMutations& worst);

// The message with which the run stops at its start when the worst branch
// expects more than kMutationsPerBranchLimit mutations; "" otherwise.
std::string manyMutationsMessage(const params& p);

// Ends the run with manyMutationsMessage unless `allowed`
// (--allow-many-mutations).
void refuseManyMutations(const params& p, bool allowed);
