#include "sim/ExpGrowth.h"

#include "base/Fail.h"
#include "sim/GrowthPhase.h"
#include "sim/StdCoalescent.h"
#include "sim/Topology.h"

void simExpGrowthInto(Genealogy& out, CoalescentBuffers& work, int numbLines, double N_pres,
                      double N_ori, double timeToOri, double alpha, ModelVersion version) {
    if (alpha <= 0) fail("\n error: simExpGrowth: alpha <= 0\n\n");
    if (N_pres <= N_ori) fail("\n error: simExpGrowth: N_pres <= N_ori\n\n");

    const GrowthConstants c = growthConstants(N_pres, N_ori, timeToOri, alpha);
    drawStdIntervalsInto(numbLines, work.stdIntervals);
    growthPhaseInto(work.stdIntervals, c, work.phase, version, false);
    foundingEventIntervalsInto(work.phase, c.coalTimeOri, work.phase.linesAtOri,
                               work.eventIntervals);
    buildGenealogyInto(out, numbLines, work.phase.linesAtOri, work.eventIntervals, work.active);
}

std::unique_ptr<Genealogy> simExpGrowth(int numbLines, double N_pres, double N_ori,
                                        double timeToOri, double alpha, ModelVersion version) {
    auto out = std::make_unique<Genealogy>(1, 1);
    CoalescentBuffers work;
    simExpGrowthInto(*out, work, numbLines, N_pres, N_ori, timeToOri, alpha, version);
    return out;
}
