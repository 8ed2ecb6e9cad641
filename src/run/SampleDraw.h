#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "io/SampleFile.h"
#include "sim/Priors.h"

// Parameter sets drawn from a weighted sample instead of from the priors: the
// posterior predictive simulations of `foundabc --from-sample`, and (as a
// sample of one row) the fixed values of a pseudo-observed data set.
//
// A draw takes exactly the six uniform variates from the generator `r` that a
// prior draw takes, the first choosing the row, the other five discarded. So
// what a simulation draws after its parameters does not depend on where they
// came from: in a seeded run, simulation i at values v draws the same
// genealogies and mutations whether v came from the priors, from a sample of
// one row holding v, or from `--simulate-data --at v` (simulation 0). A
// separate stream for the row choice would do as well for the sample alone,
// but would leave the simulations of a sample unlike those of the priors at
// the same values, which is what makes the two comparable.
class SampleDraw {
  public:
    // Every row of positive weight may be drawn, with probability its weight
    // over the total. REQUIRES: rows as parseSampleText accepts them.
    explicit SampleDraw(SampleRows rows);
    // A sample of one row: every draw gives `values`.
    static SampleDraw fixed(const PriorDraw& values);

    // One parameter set, from the calling thread's generator `r`.
    PriorDraw draw() const { return rows_.values[drawRow()]; }
    // The same draw as the index of its row (whose GsmP, when the sample has
    // it, goes with the set).
    std::size_t drawRow() const;

    // A fingerprint of the rows that can be drawn and their weights: runs
    // from samples with the same fingerprint draw the same sets.
    uint64_t fingerprint() const;

    const SampleRows& rows() const { return rows_; }

  private:
    SampleRows rows_;
    std::vector<double> cumulative_;  // running sums of the weights
};

// Reads the sample file at `path` for `foundabc --from-sample`: a problem
// prints "error: sample: ..." and ends the process with status 1. So does a
// sample whose mutation model is not the run's (sampleModelProblem).
SampleDraw loadSampleDraw(const std::string& path, bool runDrawsGsmP,
                          const std::string& paramsPath);

// "" when the sample (read from `path`) and the run (`runDrawsGsmP`: its
// parameter file `paramsPath` sets GSM_P_LOWER and GSM_P_UPPER) agree on
// GsmP; otherwise the error ("error: sample: ...", line end included). A
// sample with GsmP for a run without the keys would lose its P and simulate
// the strict stepwise model; a run with them from a sample without GsmP
// would draw P from its prior beside a posterior's other values. Neither is
// the posterior predictive the run is for.
std::string sampleModelProblem(const std::string& path, const SampleDraw& sample,
                               bool runDrawsGsmP, const std::string& paramsPath);

// Checks the sample of `foundabc --from-sample` (read from `path`) against
// the run's settings and data (settingsFingerprint and dataFingerprint of
// PriorsFile.h) by the record beside it of the table it came from
// (SampleOrigin): a sample from a table of other settings or other data
// prints "error: sample: ..." and ends the process with status 1, since its
// draws are a posterior for another model or data set. A sample without a
// usable record (written by hand, by an earlier version, or changed since)
// cannot be checked: a warning on `err`, and the run goes on.
void checkSampleOrigin(const std::string& path, const SampleDraw& sample,
                       const std::string& paramsPath, uint64_t settings, uint64_t data,
                       std::ostream& err);

// The check of checkSampleOrigin without its ending: the error message
// ("error: sample: ...", line end included) or "" when the sample may be
// used; `warning` gets the warning, if any.
std::string sampleOriginProblem(const std::string& path, const SampleDraw& sample,
                                const std::string& paramsPath, uint64_t settings, uint64_t data,
                                std::string& warning);

// The line that the settings echo of a run from `sample` (read from `path`)
// shows, line end included: the file, its rows and which values are drawn.
std::string sampleEchoLine(const std::string& path, const SampleDraw& sample);

// A run's fingerprint (see Shards.h) extended by the sample it draws from,
// when it draws from one, so that shards from other samples are not merged.
uint64_t fingerprintWithSample(uint64_t runFingerprint, const SampleDraw* sample);
