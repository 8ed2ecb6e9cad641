#include "run/RejectionLoop.h"

#include "run/Repeat.h"
#include "sim/Random.h"

void runRejectionLoop(const params& settings, const ObservedStatistics& observed,
                      ModelVersion version, RunSink& sink) {
    // Storage of one repeat, reused by every repeat: the run allocates nothing
    // per locus once the first repeat has sized it.
    RepeatWorkspace work(settings.number_of_loci);
    RepeatResult result;
    // A run seeded by the clock is not reproducible anyway: the second stream
    // takes its seed from one draw of the main one, made only when the
    // mutation keys are set, so a run without them draws as it always did.
    if (settings.hasMutationKeys()) gsl_rng_set(work.mutationRng.get(), gsl_rng_get(r));
    for (int repeat = 0; repeat < settings.repeats; ++repeat) {
        simulateRepeat(settings, observed, version, work, sink.wantsTable() ? repeat + 1 : 0,
                       result);
        sink.take(repeat, result);
    }
}
