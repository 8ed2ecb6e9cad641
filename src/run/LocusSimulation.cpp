#include "run/LocusSimulation.h"

#include "base/Fail.h"
#include "sim/ExpGrowth.h"
#include "sim/FounderModels.h"
#include "sim/Origins.h"
#include "sim/ParallelMerge.h"
#include "sim/SerialMerge.h"
#include "sim/StdCoalescent.h"
#include "sim/TimeRescaling.h"

namespace {

// The `sue` genealogy back to the founding, by the founding model that the
// settings select: two founders with unequal shares, no founder collapse, or a
// fixed number of founders.
void simulateSueGenealogy(LocusWorkspace& w, const params& settings, const PriorDraw& draw,
                          ModelVersion version) {
    if (settings.unequal_founding_fractions > 0)
        simExpGrowthFracFound2Into(w.sue, w.coalescent, settings.number_of_sue_lines,
                                   draw[PopSizePreSue], draw[PopSizeOriSue], draw[TimeToOri],
                                   settings.alpha, settings.conditional_number_of_origins,
                                   settings.unequal_founding_fractions, version);
    else if (settings.conditional_number_of_origins == 0)
        simExpGrowthInto(w.sue, w.coalescent, settings.number_of_sue_lines, draw[PopSizePreSue],
                         draw[PopSizeOriSue], draw[TimeToOri], settings.alpha, version);
    else
        simExpGrowthFoundersXInto(w.sue, w.coalescent, settings.number_of_sue_lines,
                                  draw[PopSizePreSue], draw[PopSizeOriSue], draw[TimeToOri],
                                  settings.alpha, settings.conditional_number_of_origins, version);
}

}  // namespace

int simulateLocusInto(LocusWorkspace& w, const params& settings, const PriorDraw& draw,
                      ModelVersion version) {
    simExpGrowthInto(w.tha, w.coalescent, settings.number_of_tha_lines, draw[PopSizePreTha],
                     draw[PopSizeOriTha], draw[TimeToOri], settings.alpha, version);
    coalTime2realTimeInto(w.tha, w.thaReal, draw[PopSizePreTha], draw[PopSizeOriTha],
                          draw[TimeToOri], settings.alpha);

    if (settings.unequal_founding_fractions > 0 && settings.conditional_number_of_origins != 2)
        fail("if fracF2 > 0 conditional_origins must be 2\n");

    simulateSueGenealogy(w, settings, draw, version);
    coalTime2realTimeInto(w.sue, w.sueReal, draw[PopSizePreSue], draw[PopSizeOriSue],
                          draw[TimeToOri], settings.alpha);

    // Before the founding, the lines that both populations have left belong
    // to one source population, of the two founding sizes together.
    simStdCoalInto(w.ancestral, w.coalescent, w.sue.endLines + w.tha.endLines);
    coalTime2realTimeInto(w.ancestral, w.ancestralReal, draw[PopSizeOriSue] + draw[PopSizeOriTha]);
    const int numbOrigins = determineNumbOrigins(w.sue.endLines, w.ancestral);

    merge2parallelGenInto(w.sueReal, w.thaReal, w.parallel, w.merge);
    findTopNodesInto(w.parallel, w.sueReal.startLines, w.sueTopNodes, w.thaTopNodes, w.topNodes);
    merge2serialGenInto(w.parallel, w.ancestralReal, w.sueTopNodes, w.thaTopNodes,
                        w.sueReal.endLines, draw[TimeToOri], w.full);
    return numbOrigins;
}

LocusHistory simulateLocusHistory(const params& settings, const PriorDraw& draw,
                                  ModelVersion version) {
    LocusWorkspace work;
    const int numbOrigins = simulateLocusInto(work, settings, draw, version);
    return {std::make_unique<Genealogy>(std::move(work.full)), numbOrigins};
}
