#include "sim/ParallelMerge.h"

void replaceNode(std::vector<Genealogy::Triple>& list, int count, int key, int value) {
    for (int i = 0; i < count; ++i)
        for (int32_t& entry : list[i])
            if (entry == key) entry = value;
}

namespace {

// Time of each event counted from the sampling time, summed in index order,
// and one more entry (0.0) so that the merge may read one past the last event.
void cumulativeTimes(const Genealogy& g, std::vector<double>& cum) {
    cum.resize(static_cast<size_t>(g.numbEvents) + 1);
    double sum = 0.0;
    for (int i = 0; i < g.numbEvents; ++i) {
        sum += g.eventTimes[i];
        cum[i] = sum;
    }
    cum[g.numbEvents] = 0.0;
}

// Final number of every node of an input genealogy with `leaves` sampled
// lines and `events` events, indexed by its number in the input (entry 0
// unused): leaf u becomes u + shift; internal nodes are 0 until the event that
// creates them is placed.
void startNumbering(std::vector<int32_t>& number, int leaves, int events, int32_t shift) {
    number.assign(static_cast<size_t>(leaves + events) + 1, 0);
    for (int u = 1; u <= leaves; ++u) number[u] = u + shift;
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
    const double* cumA = work.cumA.data();
    const double* cumB = work.cumB.data();

    // A node gets its final number when the event that creates it is placed:
    // the one at merged position i becomes s + t + i + 1. Each input's
    // internal nodes are looked up in its own numbering (A's event f creates
    // s + f + 1, B's event e creates t + e + 1), so a final number is never
    // taken for an input's number. Leaves: A's keep 1..s, B's leaf u is s + u.
    startNumbering(work.newNumberA, s, a, 0);
    startNumbering(work.newNumberB, t, b, s);
    int32_t* newA = work.newNumberA.data();
    int32_t* newB = work.newNumberB.data();

    out.startLines = s + t;
    out.endLines = A.endLines + B.endLines;
    out.numbEvents = a + b;
    out.events.resize(static_cast<size_t>(a + b));
    out.eventTimes.resize(static_cast<size_t>(a + b));
    // The two inputs as seen by the merge, input[1] for A and input[0] for B,
    // so that the one whose event goes next is picked by indexing rather than
    // by a branch: which input goes next is as good as a coin toss.
    struct Input {
        const Genealogy::Triple* events;
        const double* cum;
        int32_t* number;  // final numbers, indexed by the input's numbers
        int32_t leaves;
        int32_t nodes;  // leaves + events
        int32_t shift;  // added to a number that is no node of the input
    };
    const Input input[2] = {{B.events.data(), cumB, newB, t, t + b, s},
                            {A.events.data(), cumA, newA, s, s + a, 0}};
    int f = 0;  // the next event of A
    int e = 0;  // the next event of B

    double previousCum = 0.0;
    for (int i = 0; i < a + b; ++i) {
        const int32_t g = s + t + i + 1;
        // The earlier of the two next events, A's on a tie; bitwise operators
        // (no short cuts) and the padded entry make reading one past the last
        // event safe.
        const bool fromA = (f < a) & ((e >= b) | (cumA[f] <= cumB[e]));
        const Input& in = input[fromA];
        const int index = fromA ? f : e;
        f += fromA;
        e += !fromA;
        const Genealogy::Triple& ev = in.events[index];
        // (A number that is no node of its input is only shifted, as the leaves.)
        auto renumber = [&](int32_t x) -> int32_t {
            return x >= 1 && x <= in.nodes ? in.number[x] : x + in.shift;
        };
        out.events[i] = {g, renumber(ev[1]), renumber(ev[2])};
        in.number[in.leaves + index + 1] = g;
        const double cum = in.cum[index];
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
