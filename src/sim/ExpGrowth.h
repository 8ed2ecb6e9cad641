#pragma once

#include <memory>

#include "sim/Genealogy.h"
#include "sim/GrowthPhase.h"

// Genealogy of numbLines lines sampled from a population that, going back,
// shrinks exponentially from N_pres to N_ori over alpha * timeToOri and then
// keeps size N_ori up to its origin, timeToOri before the present (see
// GrowthPhase.h). Cut at the origin: the lines not merged by then are the top
// lines. Waiting times on the model's coalescent time scale (convert with the
// growth form of coalTime2realTime). Ends the run with a message when
// alpha <= 0 or N_pres <= N_ori. New record owned by the caller.
// REQUIRES: numbLines >= 1.
std::unique_ptr<Genealogy> simExpGrowth(int numbLines, double N_pres, double N_ori,
                                        double timeToOri, double alpha,
                                        ModelVersion version = ModelVersion::current);

// simExpGrowth writing into the reused record `out`, with `work` as scratch:
// the same checks, draws and record.
void simExpGrowthInto(Genealogy& out, CoalescentBuffers& work, int numbLines, double N_pres,
                      double N_ori, double timeToOri, double alpha, ModelVersion version);
