#include "sim/ParallelMerge.h"

void replaceNode(std::vector<Genealogy::Triple>& list, int count, int key, int value) {
    for (int i = 0; i < count; ++i)
        for (int32_t& entry : list[i])
            if (entry == key) entry = value;
}

namespace {

// Time of each event counted from the sampling time, summed in index order.
void cumulativeTimes(const Genealogy& g, std::vector<double>& cum) {
    cum.resize(static_cast<size_t>(g.numbEvents));
    double sum = 0.0;
    for (int i = 0; i < g.numbEvents; ++i) {
        sum += g.eventTimes[i];
        cum[i] = sum;
    }
}

}  // namespace

void merge2parallelGenInto(const Genealogy& A, const Genealogy& B, Genealogy& out,
                           ParallelMergeBuffers& work) {
    const int s = A.startLines;
    const int t = B.startLines;
    const int a = A.numbEvents;
    const int b = B.numbEvents;

    cumulativeTimes(A, work.cumA);
    cumulativeTimes(B, work.cumB);
    const std::vector<double>& cumA = work.cumA;
    const std::vector<double>& cumB = work.cumB;

    // A node gets its final number when the event that creates it is placed:
    // the one at merged position i becomes s + t + i + 1. Each input's
    // internal nodes are looked up in its own numbering (A's event f creates
    // s + f + 1, B's event e creates t + e + 1), so a final number is never
    // taken for an input's number. Leaves: A's keep 1..s, B's leaf u is s + u.
    std::vector<int32_t>& newA = work.newNumberA;
    std::vector<int32_t>& newB = work.newNumberB;
    newA.assign(static_cast<size_t>(a), 0);
    newB.assign(static_cast<size_t>(b), 0);
    // (A number that is no node of its input is only shifted, as the leaves.)
    auto renumberA = [&](int32_t x) -> int32_t {
        return x <= s || x > s + a ? x : newA[x - s - 1];
    };
    auto renumberB = [&](int32_t x) -> int32_t {
        return x <= t || x > t + b ? s + x : newB[x - t - 1];
    };

    out.startLines = s + t;
    out.endLines = A.endLines + B.endLines;
    out.numbEvents = a + b;
    out.events.resize(static_cast<size_t>(a + b));
    out.eventTimes.resize(static_cast<size_t>(a + b));
    int f = 0;
    int e = 0;
    double previousCum = 0.0;
    for (int i = 0; i < a + b; ++i) {
        const int32_t g = s + t + i + 1;
        double cum;
        if (f < a && (e >= b || cumA[f] <= cumB[e])) {
            const Genealogy::Triple& ev = A.events[f];
            out.events[i] = {g, renumberA(ev[1]), renumberA(ev[2])};
            newA[f] = g;
            cum = cumA[f++];
        } else {
            const Genealogy::Triple& ev = B.events[e];
            out.events[i] = {g, renumberB(ev[1]), renumberB(ev[2])};
            newB[e] = g;
            cum = cumB[e++];
        }
        out.eventTimes[i] = i == 0 ? cum : cum - previousCum;
        previousCum = cum;
    }
}

std::unique_ptr<Genealogy> merge2parallelGen(const Genealogy& A, const Genealogy& B) {
    auto result = std::make_unique<Genealogy>(A.startLines + B.startLines, A.endLines + B.endLines);
    ParallelMergeBuffers work;
    merge2parallelGenInto(A, B, *result, work);
    return result;
}
