#pragma once

#include <cstdint>
#include <string>

#include "sim/AlleleMatrix.h"
#include "sim/ModelVersion.h"
#include "sim/Params.h"
#include "sim/Priors.h"

// Pseudo-observed data: one data set simulated at parameter values chosen by
// the user, written as a data file that a run reads, so that a study can be
// tried on data whose truth is known.

// Reads the values of `--at`: NAME=VALUE items separated by commas, naming
// each of the six drawn parameters (results column names) once, with a value
// that the model can simulate (see ParameterSet.h). Blanks around a name or a
// value are ignored; a value beyond the range of a double is refused as too
// large or too small. Returns "" on success;
// otherwise the problem, for an unknown name with the nearest valid one.
std::string parseParameterValues(const std::string& text, PriorDraw& values);

// The allele values of the simulated data set are distances from the
// ancestral allele, 0, and may be negative; a data file holds repeat counts.
// Shifts every locus so that its smallest value is 1. Returns false when a
// locus spans more than the 32-bit range can hold after the shift.
bool shiftToRepeatCounts(AlleleMatrix& matrix);

// What `foundabc --simulate-data` is asked to do.
struct PseudoDataRequest {
    std::string outPath;   // the data file to write
    std::string atText;    // the --at list
    double missing = 0.0;  // share of values to mark missing (-9), 0 <= share < 1
    bool seedGiven = false;
    uint64_t seed = 0;
    ModelVersion model = ModelVersion::current;
    // Write a haploid Genepop file (GenepopWriter.h) instead of a data file.
    bool genepop = false;
};

// What is wrong with the request's --at list or --missing share, as
// simulateData refuses it ("--at: ..."); "" when both are usable, with the
// values of --at in `values`.
std::string pseudoDataRequestProblem(const PseudoDataRequest& request, PriorDraw& values);

// Why simulateData refuses to write OUT over one of its inputs or the
// results file of the settings `p` read from `paramsPath`; "" when it would
// not.
std::string pseudoDataOutputProblem(const PseudoDataRequest& request,
                                    const std::string& paramsPath, const params& p);

// `foundabc --simulate-data OUT --at LIST [--seed S] [--missing P] params.txt`:
// simulates one data set at the values of LIST, with the parameter file's
// sample sizes, loci, ALPHA and founding model, as simulation 0 of a seeded
// run with seed S would simulate them (a seed is picked when none is given),
// then marks the share P of its values missing, chosen at random but never the
// last value of a population at a locus (a share that cannot leave one is
// refused; so is --format genepop without loci), and writes
// it to OUT: a header line, then one line per locus, `sue` values first (or,
// with `genepop`, the same values as a haploid Genepop file). OUT
// is written under a temporary name in its folder, synced and renamed, so it
// appears only complete; it may not be the parameter file, the data file or
// the results file that the parameter file names. Prints the values, the
// share missing and the seed; returns 0. Every problem prints a message and
// ends the process with status 1, leaving OUT as it was.
int simulateData(const PseudoDataRequest& request, const std::string& paramsPath);
