#include "sim/FounderModels.h"

#include "io/Fail.h"
#include "sim/FounderDraw.h"
#include "sim/GrowthPhase.h"
#include "sim/Topology.h"

namespace {

void checkGrowthArgs(double N_pres, double N_ori, double alpha) {
    if (alpha <= 0) fail("\n error: simExpGrowthFoundersX: alpha <= 0\n\n");
    if (N_ori >= N_pres) fail("\n error: simExpGrowthFoundersX: N_pres <= N_ori\n\n");
}

// Waiting times first, then the founder draw, then the topology.
template <typename FounderDraw>
std::unique_ptr<Genealogy> growthWithFounders(int numbLines, double N_pres, double N_ori,
                                              double timeToOri, double alpha,
                                              FounderDraw drawFounders) {
    const GrowthConstants c = growthConstants(N_pres, N_ori, timeToOri, alpha);
    const GrowthPhase phase = simGrowthPhase(numbLines, c);
    const int numbFounders = drawFounders(phase.linesAtOri);
    return buildGenealogy(numbLines, numbFounders,
                          foundingEventIntervals(phase, c.coalTimeOri, numbFounders));
}

}  // namespace

std::unique_ptr<Genealogy> simExpGrowthFoundersX(int numbLines, double N_pres, double N_ori,
                                                 double timeToOri, double alpha,
                                                 int conditional_origins) {
    checkGrowthArgs(N_pres, N_ori, alpha);
    if (conditional_origins < 0)
        fail("\n error: simExpGrowthFoundersX: conditional_origins < 0\n\n");

    return growthWithFounders(numbLines, N_pres, N_ori, timeToOri, alpha, [&](int linesAtOri) {
        if (conditional_origins == 0) return linesAtOri;  // no founder collapse
        return drawNumbFounders(linesAtOri, conditional_origins);
    });
}

std::unique_ptr<Genealogy> simExpGrowthFracFound2(int numbLines, double N_pres, double N_ori,
                                                  double timeToOri, double alpha,
                                                  int conditional_origins, double fracF2) {
    checkGrowthArgs(N_pres, N_ori, alpha);
    if (conditional_origins != 2)
        fail("\n error: simExpGrowthFoundersX: conditional_origins must be 2\n\n");

    return growthWithFounders(numbLines, N_pres, N_ori, timeToOri, alpha, [&](int linesAtOri) {
        return drawNumbFoundersFracF2(linesAtOri, fracF2);
    });
}
