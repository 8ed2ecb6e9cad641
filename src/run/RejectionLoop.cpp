#include "run/RejectionLoop.h"

#include "run/Repeat.h"

void runRejectionLoop(const params& settings, const ObservedStatistics& observed,
                      ModelVersion version, RunSink& sink) {
    // Storage of one repeat, reused by every repeat: the run allocates nothing
    // per locus once the first repeat has sized it.
    RepeatWorkspace work(settings.number_of_loci);
    RepeatResult result;
    for (int repeat = 0; repeat < settings.repeats; ++repeat) {
        simulateRepeat(settings, observed, version, work, sink.wantsTable() ? repeat + 1 : 0,
                       result);
        sink.take(repeat, result);
    }
}
