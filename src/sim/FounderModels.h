#pragma once

#include <memory>

#include "sim/Genealogy.h"
#include "sim/GrowthPhase.h"

// Genealogy of the numbLines sampled lines of a founded population back to its
// founding, under the growth model of simExpGrowth (same draws of waiting
// times), with the lines still separate at the founding collapsed into
// founder lineages: the record ends with one top line per lineage, and the
// merges this needs all take place at the founding's coalescent time. Waiting
// times on the model's coalescent scale. New record owned by the caller.
// REQUIRES: numbLines >= 1.

// Each line descends from one of conditional_origins equally likely founders.
// conditional_origins = 0 means no founder collapse: the result is that of
// simExpGrowth with the same draws. Ends the run with a message when
// alpha <= 0, N_ori >= N_pres or conditional_origins < 0.
std::unique_ptr<Genealogy> simExpGrowthFoundersX(int numbLines, double N_pres, double N_ori,
                                                 double timeToOri, double alpha,
                                                 int conditional_origins,
                                                 ModelVersion version = ModelVersion::current);

// Two founders; each line descends from the second with probability fracF2.
// Ends the run with a message when alpha <= 0, N_ori >= N_pres or
// conditional_origins != 2.
std::unique_ptr<Genealogy> simExpGrowthFracFound2(int numbLines, double N_pres, double N_ori,
                                                  double timeToOri, double alpha,
                                                  int conditional_origins, double fracF2,
                                                  ModelVersion version = ModelVersion::current);

// The two models writing into the reused record `out`, with `work` as
// scratch: the same checks, draws and record.
void simExpGrowthFoundersXInto(Genealogy& out, CoalescentBuffers& work, int numbLines,
                               double N_pres, double N_ori, double timeToOri, double alpha,
                               int conditional_origins, ModelVersion version);
void simExpGrowthFracFound2Into(Genealogy& out, CoalescentBuffers& work, int numbLines,
                                double N_pres, double N_ori, double timeToOri, double alpha,
                                int conditional_origins, double fracF2, ModelVersion version);
