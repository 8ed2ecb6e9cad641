#include "sim/SerialMerge.h"

#include "base/Fail.h"

namespace {

bool isNode(int32_t x, int numbNodes) { return x >= 1 && x <= numbNodes; }

// The top node of every node of P, in `top` (index = node number). A node's
// top node is that of the parent of the event that uses it as a child, or the
// node itself when no event does. Every node is created by an earlier event
// than any that uses it as a child, so one pass over the events from the last
// to the first settles each parent before its children: the same top nodes as
// following each leaf's line forward through the events, in linear rather
// than quadratic time.
void topOfEveryNode(const Genealogy& P, std::vector<int32_t>& top) {
    const int numbNodes = P.startLines + P.numbEvents;
    top.resize(static_cast<size_t>(numbNodes) + 1);
    for (int v = 0; v <= numbNodes; ++v) top[v] = v;
    for (int j = P.numbEvents - 1; j >= 0; --j) {
        const Genealogy::Triple& e = P.events[j];
        if (!isNode(e[0], numbNodes) || !isNode(e[1], numbNodes) || !isNode(e[2], numbNodes))
            continue;  // not a node of P: no line can pass through it
        top[e[1]] = top[e[0]];
        top[e[2]] = top[e[0]];
    }
}

// The top nodes of the leaves first..last, each once, in order of first
// appearance. `collected` marks nodes already taken; it is left all 0.
void collectTopNodes(const std::vector<int32_t>& top, int first, int last,
                     std::vector<char>& collected, std::vector<int32_t>& tops) {
    tops.clear();
    for (int v = first; v <= last; ++v) {
        const int32_t c = top[v];
        if (!collected[c]) {
            collected[c] = 1;
            tops.push_back(c);
        }
    }
    for (int32_t c : tops) collected[c] = 0;
}

std::vector<int32_t> findTopNodes(const Genealogy& P, int first, int last) {
    std::vector<int32_t> top;
    topOfEveryNode(P, top);
    std::vector<char> collected(top.size(), 0);
    std::vector<int32_t> tops;
    collectTopNodes(top, first, last, collected, tops);
    return tops;
}

}  // namespace

std::vector<int32_t> findSueTopNodes(const Genealogy& P, int sueLines) {
    return findTopNodes(P, 1, sueLines);
}

std::vector<int32_t> findThaTopNodes(const Genealogy& P, int sueLines) {
    return findTopNodes(P, sueLines + 1, P.startLines);
}

void findTopNodesInto(const Genealogy& P, int sueLines, std::vector<int32_t>& sueTopNodes,
                      std::vector<int32_t>& thaTopNodes, TopNodeBuffers& work) {
    topOfEveryNode(P, work.top);
    work.collected.assign(work.top.size(), 0);
    collectTopNodes(work.top, 1, sueLines, work.collected, sueTopNodes);
    collectTopNodes(work.top, sueLines + 1, P.startLines, work.collected, thaTopNodes);
}

void merge2serialGenInto(const Genealogy& P, const Genealogy& F,
                         const std::vector<int32_t>& sueTopNodes,
                         const std::vector<int32_t>& thaTopNodes, int sueTopCount, double timeToOri,
                         Genealogy& full) {
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

    full.startLines = n;
    full.endLines = 1;
    full.numbEvents = n - 1;
    full.events.resize(static_cast<size_t>(n - 1));
    full.eventTimes.resize(static_cast<size_t>(n - 1));
    for (int j = 0; j < m; ++j) {
        full.events[j] = P.events[j];
        full.eventTimes[j] = P.eventTimes[j];
    }
    for (int k = 0; k < F.numbEvents; ++k) {
        const auto& e = F.events[k];
        full.events[m + k] = {renumber(e[0]), renumber(e[1]), renumber(e[2])};
        full.eventTimes[m + k] = k == 0 ? timeToOri + F.eventTimes[0] - D : F.eventTimes[k];
    }
}

std::unique_ptr<Genealogy> merge2serialGen(const Genealogy& P, const Genealogy& F,
                                           const std::vector<int32_t>& sueTopNodes,
                                           const std::vector<int32_t>& thaTopNodes, int sueTopCount,
                                           double timeToOri) {
    auto full = std::make_unique<Genealogy>(1, 1);
    merge2serialGenInto(P, F, sueTopNodes, thaTopNodes, sueTopCount, timeToOri, *full);
    return full;
}
