#pragma once

#include <memory>

#include "sim/Genealogy.h"

// Growth form: reads the running sums of gen's waiting times as coalescent
// time of the growth model (see GrowthPhase.h) and returns a new record with
// the same counts and triples whose waiting times are in real time. Ends the
// run with a message when N_pres <= N_ori. Caller owns the result; gen is not
// changed.
std::unique_ptr<Genealogy> coalTime2realTime(const Genealogy& gen, double N_pres, double N_ori,
                                             double timeToOri, double alpha);

// Constant-size form: a new record with the same counts and triples whose
// waiting times are popSize times those of gen. Caller owns the result.
std::unique_ptr<Genealogy> coalTime2realTime(const Genealogy& gen, double popSize);

// Both forms writing into the reused record `out` (every field overwritten);
// `out` must not be `gen`.
void coalTime2realTimeInto(const Genealogy& gen, Genealogy& out, double N_pres, double N_ori,
                           double timeToOri, double alpha);
void coalTime2realTimeInto(const Genealogy& gen, Genealogy& out, double popSize);
