#include "app/RejectionLoop.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "app/LocusSimulation.h"
#include "app/StartUp.h"
#include "sim/AlleleMatrix.h"
#include "sim/Priors.h"
#include "sim/StepMutation.h"
#include "sim/SummaryStats.h"

int runRejectionLoop(const params& settings, const ObservedStatistics& observed,
                     ModelVersion version, ResultsWriter& results,
                     const RepeatObserver& onRepeat) {
    const int numbLoci = settings.number_of_loci;
    const int numbLines = totalLines(settings);
    int numbAccepted = 0;

    // Storage of one locus step and one repeat, reused by every repeat: the
    // run allocates nothing per locus once the first repeat has sized it.
    LocusWorkspace work;
    StepMutationBuffers mutation;
    AlleleMatrix alleleMatrix(static_cast<size_t>(numbLoci));

    for (int repeat = 0; repeat < settings.repeats; ++repeat) {
        const PriorDraw draw = settings.prior_distribution == 1 ? simulateParamsLog10(settings)
                                                                : simulateParams(settings);

        int monoLoci = 0;  // loci whose `sue` lines trace back to one origin
        for (int locus = 0; locus < numbLoci; ++locus) {
            const int numbOrigins = simulateLocusInto(work, settings, draw, version);
            generateStepMutInto(work.full, draw[My], alleleMatrix[locus], mutation);
            if (numbOrigins == 1) ++monoLoci;
        }

        const std::array<double, 2> S_sim =
            computeSD(alleleMatrix, numbLines, settings.number_of_sue_lines, numbLoci);
        const double DS =
            std::fabs(observed.S_obs_sue - S_sim[0]) + std::fabs(observed.S_obs_tha - S_sim[1]);
        const double FracSueMono = static_cast<double>(monoLoci) / numbLoci;

        // Strictly below the threshold; a distance that is not a number fails
        // the comparison and is rejected.
        if (DS < observed.S_obs_x_epsilon) {
            ++numbAccepted;
            results.appendRow(draw[My], draw[TimeToOri], draw[PopSizeOriTha], draw[PopSizePreTha],
                              draw[PopSizeOriSue], draw[PopSizePreSue], FracSueMono, DS,
                              numbAccepted);
        }
        if (onRepeat) onRepeat(repeat + 1, numbAccepted);
    }
    return numbAccepted;
}
