#include "sim/Genealogy.h"

Genealogy::Genealogy(int32_t startLines, int32_t endLines)
    : startLines(startLines),
      endLines(endLines),
      numbEvents(startLines - endLines),
      events(static_cast<std::size_t>(startLines - endLines), Triple{0, 0, 0}),
      eventTimes(static_cast<std::size_t>(startLines - endLines), 0.0) {}
