#pragma once

#include <cstdint>
#include <vector>

#include "sim/ModelVersion.h"

// One population going back from the present: size N_pres shrinking
// exponentially to N_ori over growthTime = alpha * timeToOri, then constant
// size N_ori back to its origin, timeToOri before the present.
//
// Shared by simExpGrowth, the founder models and the growth form of
// coalTime2realTime, so that all of them read the same scale.
struct GrowthConstants {
    double growthTime;         // length of the growth phase, real time
    double growthRate;         // rate of the exponential growth; > 0 when N_ori < N_pres
    double coalTimeGrowthEnd;  // coalescent time of the end (going back) of the growth phase
    double coalTimeOri;        // coalescent time of the origin
};

// The constants of the model, in double precision. Undefined values (for
// example timeToOri = 0) come out as NaN and simply make no event fall before
// the origin.
GrowthConstants growthConstants(double N_pres, double N_ori, double timeToOri, double alpha);

// The waiting times of one sample up to the origin, given its drawn
// standard-coalescent intervals. Every array has one entry per possible merge
// (numbLines - 1, most recent first).
//
// The event intervals are on the model's coalescent time scale, on which the
// cumulative coalescence hazard of a pair up to real time t is
// Lambda(t) = (exp(rate t) - 1) / (N_pres rate) during growth and
// coalTimeGrowthEnd + (t - growthTime) / N_ori after it. Under the current
// model the standard intervals already are such intervals; the legacy model
// first transforms the ones that fall in the growth phase (the growth scale
// below, empty under the current model).
struct GrowthPhase {
    std::vector<double> growthIntervals;  // legacy: standard intervals transformed for growth
    std::vector<double> growthTimes;      // legacy: running sums of growthIntervals
    std::vector<double> intervals;        // the event intervals on the coalescent scale
    std::vector<double> cumTimes;         // running sums of intervals
    int cutIndex = 0;  // legacy: events strictly before coalTimeGrowthEnd on the growth scale
    int eventsBeforeOri = 0;  // events strictly before coalTimeOri
    int linesAtOri = 1;       // lines still separate at the origin
};

// Deterministic core: the growth phase of numbLines = stdIntervals.size() + 1
// lines under the given model version. Draws nothing. Returned by value.
GrowthPhase growthPhase(const std::vector<double>& stdIntervals, const GrowthConstants& c,
                        ModelVersion version);

// Draws the numbLines - 1 standard intervals from `r` (all of them, however
// many are kept) and returns the growth phase built from them.
// REQUIRES: numbLines >= 1.
GrowthPhase simGrowthPhase(int numbLines, const GrowthConstants& c, ModelVersion version);

// The waiting times of a record that ends with numbFounders lines: the
// intervals of the events before the origin, then, when numbFounders <
// linesAtOri, one interval reaching coalTimeOri followed by zeros for the other
// merges at the origin (at the present instead, if coalTimeOri is not a
// positive time). With numbFounders = linesAtOri these are exactly the
// kept intervals. Returned by value (numbLines - numbFounders entries).
// REQUIRES: 1 <= numbFounders <= phase.linesAtOri.
std::vector<double> foundingEventIntervals(const GrowthPhase& phase, double coalTimeOri,
                                           int numbFounders);

// growthPhase into a reused record. Under the legacy model with
// wholeGrowthScale false the growth scale (growthIntervals, growthTimes) is
// computed only up to the first event that reaches the end of growth, the
// only part any later step reads; the entries after it are then meaningless.
// Everything else is the same.
void growthPhaseInto(const std::vector<double>& stdIntervals, const GrowthConstants& c,
                     GrowthPhase& g, ModelVersion version, bool wholeGrowthScale = true);

// foundingEventIntervals into a reused vector.
void foundingEventIntervalsInto(const GrowthPhase& phase, double coalTimeOri, int numbFounders,
                                std::vector<double>& eventIntervals);

// Reusable working storage of the simulations of one sample (the growth
// models and the standard coalescent); contents between calls mean nothing.
struct CoalescentBuffers {
    std::vector<double> stdIntervals;    // drawn standard-coalescent intervals
    GrowthPhase phase;                   // the growth phase built from them
    std::vector<double> eventIntervals;  // the waiting times of the record
    std::vector<int32_t> active;         // the topology's active list
};
