#include "sim/FounderModels.h"

#include "base/Fail.h"
#include "sim/FounderDraw.h"
#include "sim/GrowthPhase.h"
#include "sim/StdCoalescent.h"
#include "sim/Topology.h"

namespace {

void checkGrowthArgs(double N_pres, double N_ori, double alpha) {
    if (alpha <= 0) fail("\n error: simExpGrowthFoundersX: alpha <= 0\n\n");
    if (N_ori >= N_pres) fail("\n error: simExpGrowthFoundersX: N_pres <= N_ori\n\n");
}

// Waiting times first, then the founder draw, then the topology.
template <typename FounderDraw>
void growthWithFounders(Genealogy& out, CoalescentBuffers& work, int numbLines, double N_pres,
                        double N_ori, double timeToOri, double alpha, ModelVersion version,
                        FounderDraw drawFounders) {
    const GrowthConstants c = growthConstants(N_pres, N_ori, timeToOri, alpha);
    drawStdIntervalsInto(numbLines, work.stdIntervals);
    growthPhaseInto(work.stdIntervals, c, work.phase, version, false);
    const int numbFounders = drawFounders(work.phase.linesAtOri);
    foundingEventIntervalsInto(work.phase, c.coalTimeOri, numbFounders, work.eventIntervals);
    buildGenealogyInto(out, numbLines, numbFounders, work.eventIntervals, work.active);
}

}  // namespace

void simExpGrowthFoundersXInto(Genealogy& out, CoalescentBuffers& work, int numbLines,
                               double N_pres, double N_ori, double timeToOri, double alpha,
                               int conditional_origins, ModelVersion version) {
    checkGrowthArgs(N_pres, N_ori, alpha);
    if (conditional_origins < 0)
        fail("\n error: simExpGrowthFoundersX: conditional_origins < 0\n\n");

    growthWithFounders(out, work, numbLines, N_pres, N_ori, timeToOri, alpha, version,
                       [&](int linesAtOri) {
                           if (conditional_origins == 0) return linesAtOri;  // no collapse
                           return drawNumbFounders(linesAtOri, conditional_origins, version);
                       });
}

void simExpGrowthFracFound2Into(Genealogy& out, CoalescentBuffers& work, int numbLines,
                                double N_pres, double N_ori, double timeToOri, double alpha,
                                int conditional_origins, double fracF2, ModelVersion version) {
    checkGrowthArgs(N_pres, N_ori, alpha);
    if (conditional_origins != 2)
        fail("\n error: simExpGrowthFoundersX: conditional_origins must be 2\n\n");

    growthWithFounders(out, work, numbLines, N_pres, N_ori, timeToOri, alpha, version,
                       [&](int linesAtOri) { return drawNumbFoundersFracF2(linesAtOri, fracF2); });
}

std::unique_ptr<Genealogy> simExpGrowthFoundersX(int numbLines, double N_pres, double N_ori,
                                                 double timeToOri, double alpha,
                                                 int conditional_origins, ModelVersion version) {
    auto out = std::make_unique<Genealogy>(1, 1);
    CoalescentBuffers work;
    simExpGrowthFoundersXInto(*out, work, numbLines, N_pres, N_ori, timeToOri, alpha,
                              conditional_origins, version);
    return out;
}

std::unique_ptr<Genealogy> simExpGrowthFracFound2(int numbLines, double N_pres, double N_ori,
                                                  double timeToOri, double alpha,
                                                  int conditional_origins, double fracF2,
                                                  ModelVersion version) {
    auto out = std::make_unique<Genealogy>(1, 1);
    CoalescentBuffers work;
    simExpGrowthFracFound2Into(*out, work, numbLines, N_pres, N_ori, timeToOri, alpha,
                               conditional_origins, fracF2, version);
    return out;
}
