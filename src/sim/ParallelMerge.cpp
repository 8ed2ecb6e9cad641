#include "sim/ParallelMerge.h"

#include <cstdlib>

void replaceNode(std::vector<Genealogy::Triple>& list, int count, int key, int value) {
    for (int i = 0; i < count; ++i)
        for (int32_t& entry : list[i])
            if (entry == key) entry = value;
}

namespace {

// Time of each event counted from the sampling time, summed in index order.
std::vector<double> cumulativeTimes(const Genealogy& g) {
    std::vector<double> cum(static_cast<size_t>(g.numbEvents));
    double sum = 0.0;
    for (int i = 0; i < g.numbEvents; ++i) {
        sum += g.eventTimes[i];
        cum[i] = sum;
    }
    return cum;
}

}  // namespace

std::unique_ptr<Genealogy> merge2parallelGen(const Genealogy& A, const Genealogy& B) {
    const int s = A.startLines;
    const int t = B.startLines;
    const int a = A.numbEvents;
    const int b = B.numbEvents;

    const std::vector<double> cumA = cumulativeTimes(A);
    const std::vector<double> cumB = cumulativeTimes(B);

    // Working copies; B's nodes are shifted past A's leaves.
    std::vector<Genealogy::Triple> workA = A.events;
    std::vector<Genealogy::Triple> workB = B.events;
    for (auto& triple : workB)
        for (int32_t& entry : triple) entry += s;

    // A node gets its final number as soon as its event is placed; it is
    // written negated in the working copy so that no later key (always a
    // positive original number) can match it again.
    std::vector<Genealogy::Triple> merged(static_cast<size_t>(a + b));
    std::vector<double> mergedCum(static_cast<size_t>(a + b));
    int f = 0;
    int e = 0;
    for (int i = 0; i < a + b; ++i) {
        const bool takeA = f < a && (e >= b || cumA[f] <= cumB[e]);
        std::vector<Genealogy::Triple>& work = takeA ? workA : workB;
        const int pos = takeA ? f : e;
        const int count = takeA ? a : b;
        const int g = s + t + i + 1;
        merged[i] = {-g, work[pos][1], work[pos][2]};
        mergedCum[i] = takeA ? cumA[pos] : cumB[pos];
        replaceNode(work, count, work[pos][0], -g);
        if (takeA)
            ++f;
        else
            ++e;
    }
    for (auto& triple : merged)
        for (int32_t& entry : triple) entry = std::abs(entry);

    auto result = std::make_unique<Genealogy>(s + t, A.endLines + B.endLines);
    result->events = std::move(merged);
    for (int i = 0; i < a + b; ++i)
        result->eventTimes[i] = i == 0 ? mergedCum[0] : mergedCum[i] - mergedCum[i - 1];
    return result;
}
