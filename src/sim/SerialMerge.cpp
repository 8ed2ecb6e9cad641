#include "sim/SerialMerge.h"

#include <algorithm>

#include "io/Fail.h"

namespace {

// Top nodes of the leaves first..last, each once, in order of first appearance.
// One pass over the events suffices for each leaf: a node is always created by
// an earlier event than any that uses it as a child.
std::vector<int32_t> findTopNodes(const Genealogy& P, int first, int last) {
    std::vector<int32_t> tops;
    for (int v = first; v <= last; ++v) {
        int32_t c = v;
        for (int j = 0; j < P.numbEvents; ++j) {
            if (P.events[j][1] == c) c = P.events[j][0];
            if (P.events[j][2] == c) c = P.events[j][0];
        }
        if (std::find(tops.begin(), tops.end(), c) == tops.end()) tops.push_back(c);
    }
    return tops;
}

}  // namespace

std::vector<int32_t> findSueTopNodes(const Genealogy& P, int sueLines) {
    return findTopNodes(P, 1, sueLines);
}

std::vector<int32_t> findThaTopNodes(const Genealogy& P, int sueLines) {
    return findTopNodes(P, sueLines + 1, P.startLines);
}

std::unique_ptr<Genealogy> merge2serialGen(const Genealogy& P, const Genealogy& F,
                                           const std::vector<int32_t>& sueTopNodes,
                                           const std::vector<int32_t>& thaTopNodes, int sueTopCount,
                                           double timeToOri) {
    const int L = F.startLines;
    if (P.endLines != L) fail("\n error: merge2serialGen: genealogies are not compatible\n");
    if (sueTopCount >= L)
        fail("\n error: merge2serialGen: too many sue top lines (or too few gen2->startLines\n");
    // The renumbering reads exactly sueTopCount and L - sueTopCount top nodes,
    // and the result must end in one root; anything else is an inconsistent
    // intermediate result, not something to graft.
    if (static_cast<long>(sueTopNodes.size()) != sueTopCount ||
        static_cast<long>(thaTopNodes.size()) != L - sueTopCount)
        fail("\n error: merge2serialGen: top node lists do not match the ancestral leaves\n");
    if (F.endLines != 1)
        fail("\n error: merge2serialGen: ancestral genealogy does not end in one line\n");

    const int n = P.startLines;
    const int m = P.numbEvents;

    double D = 0.0;  // cumulative time of P's last event
    for (int j = 0; j < m; ++j) D += P.eventTimes[j];

    // Each of F's numbers is mapped from F's own numbering, so a number
    // written for one node is never taken for another.
    auto renumber = [&](int32_t x) -> int32_t {
        if (x <= sueTopCount) return sueTopNodes[x - 1];
        if (x <= L) return thaTopNodes[x - sueTopCount - 1];
        return n + m + (x - L);
    };

    auto full = std::make_unique<Genealogy>(n, 1);
    for (int j = 0; j < m; ++j) {
        full->events[j] = P.events[j];
        full->eventTimes[j] = P.eventTimes[j];
    }
    for (int k = 0; k < F.numbEvents; ++k) {
        const auto& e = F.events[k];
        full->events[m + k] = {renumber(e[0]), renumber(e[1]), renumber(e[2])};
        full->eventTimes[m + k] = k == 0 ? timeToOri + F.eventTimes[0] - D : F.eventTimes[k];
    }
    return full;
}
