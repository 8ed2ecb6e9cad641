#include "app/LocusSimulation.h"

#include "io/Fail.h"
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
std::unique_ptr<Genealogy> simulateSueGenealogy(const params& settings, const PriorDraw& draw) {
    if (settings.unequal_founding_fractions > 0)
        return simExpGrowthFracFound2(settings.number_of_sue_lines, draw[PopSizePreSue],
                                      draw[PopSizeOriSue], draw[TimeToOri], settings.alpha,
                                      settings.conditional_number_of_origins,
                                      settings.unequal_founding_fractions);
    if (settings.conditional_number_of_origins == 0)
        return simExpGrowth(settings.number_of_sue_lines, draw[PopSizePreSue], draw[PopSizeOriSue],
                            draw[TimeToOri], settings.alpha);
    return simExpGrowthFoundersX(settings.number_of_sue_lines, draw[PopSizePreSue],
                                 draw[PopSizeOriSue], draw[TimeToOri], settings.alpha,
                                 settings.conditional_number_of_origins);
}

}  // namespace

LocusHistory simulateLocusHistory(const params& settings, const PriorDraw& draw) {
    auto tha = simExpGrowth(settings.number_of_tha_lines, draw[PopSizePreTha], draw[PopSizeOriTha],
                            draw[TimeToOri], settings.alpha);
    auto thaReal = coalTime2realTime(*tha, draw[PopSizePreTha], draw[PopSizeOriTha],
                                     draw[TimeToOri], settings.alpha);

    if (settings.unequal_founding_fractions > 0 && settings.conditional_number_of_origins != 2)
        fail("if fracF2 > 0 conditional_origins must be 2\n");

    auto sue = simulateSueGenealogy(settings, draw);
    auto sueReal = coalTime2realTime(*sue, draw[PopSizePreSue], draw[PopSizeOriSue],
                                     draw[TimeToOri], settings.alpha);

    // Before the founding, the lines that both populations have left belong
    // to one source population, of the two founding sizes together.
    auto ancestral = simStdCoal(sue->endLines + tha->endLines);
    auto ancestralReal = coalTime2realTime(*ancestral, draw[PopSizeOriSue] + draw[PopSizeOriTha]);
    const int numbOrigins = determineNumbOrigins(sue->endLines, *ancestral);

    auto parallel = merge2parallelGen(*sueReal, *thaReal);
    auto sueTopNodes = findSueTopNodes(*parallel, sueReal->startLines);
    auto thaTopNodes = findThaTopNodes(*parallel, sueReal->startLines);
    auto full = merge2serialGen(*parallel, *ancestralReal, sueTopNodes, thaTopNodes,
                                sueReal->endLines, draw[TimeToOri]);
    return {std::move(full), numbOrigins};
}
