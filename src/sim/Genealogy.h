#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

// The coalescent history of a sample of lines, read from the sampling time
// backwards: a list of coalescence events, each joining two separate lines into
// a parent line, with the waiting time since the previous event.
//
// Node numbering, the same in every record: leaves (sampled lines) are
// 1..startLines; event i creates the parent node startLines + i + 1. A history
// may stop before the common ancestor; the lines still separate after the last
// event are its top lines (endLines of them).
//
// A record owns its storage and is never copied; producers return it through
// std::unique_ptr and the caller owns it.
class Genealogy {
  public:
    using Triple = std::array<int32_t, 3>;  // {parent, first child, second child}

    // REQUIRES: 1 <= endLines <= startLines (callers guarantee it).
    // Every waiting time starts at 0.0 and every triple at {0, 0, 0}; the
    // producer fills them before handing the record on.
    Genealogy(int32_t startLines, int32_t endLines);

    Genealogy(const Genealogy&) = delete;
    Genealogy& operator=(const Genealogy&) = delete;
    Genealogy(Genealogy&&) = default;
    Genealogy& operator=(Genealogy&&) = default;

    int32_t startLines;          // lines at the sampling end (leaves)
    int32_t endLines;            // lines still separate after the last event
    int32_t numbEvents;          // always startLines - endLines
    std::vector<Triple> events;  // events[i] = {parent, child, child}
    std::vector<double>
        eventTimes;  // waiting time from event i-1 (or the sampling time) to event i
};
