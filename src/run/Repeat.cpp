#include "run/Repeat.h"

#include <array>
#include <cmath>

#include "io/ReferenceTable.h"
#include "run/SampleDraw.h"
#include "run/StartUp.h"
#include "sim/SummaryStats.h"

void simulateRepeat(const params& settings, const ObservedStatistics& observed,
                    ModelVersion version, RepeatWorkspace& work, int64_t tableSim,
                    RepeatResult& out, const SampleDraw* sample) {
    const int numbLoci = settings.number_of_loci;
    const int numbLines = totalLines(settings);
    std::size_t sampleRow = 0;
    if (sample != nullptr)
        out.draw = sample->rows().values[sampleRow = sample->drawRow()];
    else if (settings.prior_distribution == 1)
        out.draw = simulateParamsLog10(settings);
    else
        out.draw = simulateParams(settings);

    int monoLoci = 0;  // loci whose `sue` lines trace back to one origin
    if (!settings.hasGsm() && !settings.hasLocusRates()) {
        out.GsmP = 0.0;
        for (int locus = 0; locus < numbLoci; ++locus) {
            const int numbOrigins = simulateLocusInto(work.locus, settings, out.draw, version);
            generateStepMutInto(work.locus.full, out.draw[My], work.alleleMatrix[locus],
                                work.mutation);
            if (numbOrigins == 1) ++monoLoci;
        }
    } else {
        gsl_rng* second = work.mutationRng.get();
        MutationSteps steps;
        steps.stepRng = second;
        if (settings.hasGsm())
            steps.gsmP = drawGsmP(settings.gsm_p_lower, settings.gsm_p_upper, second);
        // A sample's row brings its own P. The prior's draw above is made all
        // the same, so that the mutations after it are those of a run from
        // the priors at the same values.
        if (settings.hasGsm() && sample != nullptr && sample->rows().hasGsmP)
            steps.gsmP = sample->rows().gsmP[sampleRow];
        out.GsmP = steps.gsmP;
        const double shape = settings.hasLocusRates() ? settings.locus_rate_shape : 0.0;
        for (int locus = 0; locus < numbLoci; ++locus) {
            const int numbOrigins = simulateLocusInto(work.locus, settings, out.draw, version);
            const double rate = locusRate(out.draw[My], shape, second);
            generateStepMutInto(work.locus.full, rate, steps, work.alleleMatrix[locus],
                                work.mutation);
            if (numbOrigins == 1) ++monoLoci;
        }
    }

    const std::array<double, 2> S_sim =
        computeSD(work.alleleMatrix, numbLines, settings.number_of_sue_lines, numbLoci);
    out.DS = std::fabs(observed.S_obs_sue - S_sim[0]) + std::fabs(observed.S_obs_tha - S_sim[1]);
    out.FracSueMono = static_cast<double>(monoLoci) / numbLoci;
    // Strictly below the threshold; a distance that is not a number fails the
    // comparison and is rejected.
    out.accepted = out.DS < observed.S_obs_x_epsilon;

    out.tableRow.clear();
    if (tableSim > 0) {
        const TableStatistics stats = tableStatistics(
            work.alleleMatrix, settings.number_of_sue_lines, settings.number_of_tha_lines, numbLoci,
            AlleleSource::kSimulated, S_sim, work.tableScratch);
        appendTableRow(out.tableRow, tableSim, out.draw, out.FracSueMono, stats, out.DS,
                       out.accepted, settings.hasGsm() ? &out.GsmP : nullptr);
    }
}
