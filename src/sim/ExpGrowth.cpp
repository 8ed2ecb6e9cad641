#include "sim/ExpGrowth.h"

#include "io/Fail.h"
#include "sim/GrowthPhase.h"
#include "sim/Topology.h"

std::unique_ptr<Genealogy> simExpGrowth(int numbLines, double N_pres, double N_ori,
                                        double timeToOri, double alpha) {
    if (alpha <= 0) fail("\n error: simExpGrowth: alpha <= 0\n\n");
    if (N_pres <= N_ori) fail("\n error: simExpGrowth: N_pres <= N_ori\n\n");

    const GrowthConstants c = growthConstants(N_pres, N_ori, timeToOri, alpha);
    const GrowthPhase phase = simGrowthPhase(numbLines, c);
    return buildGenealogy(numbLines, phase.linesAtOri,
                          foundingEventIntervals(phase, c.coalTimeOri, phase.linesAtOri));
}
