#include "sim/TimeRescaling.h"

#include <cmath>
#include <vector>

#include "base/Fail.h"
#include "sim/GrowthPhase.h"

void coalTime2realTimeInto(const Genealogy& gen, Genealogy& out, double N_pres, double N_ori,
                           double timeToOri, double alpha) {
    if (N_pres <= N_ori) fail("\n error: coaltimes2realtimes: N_pres<=N_ori \n");
    const GrowthConstants c = growthConstants(N_pres, N_ori, timeToOri, alpha);

    out.startLines = gen.startLines;
    out.endLines = gen.endLines;
    out.numbEvents = gen.numbEvents;
    out.events.assign(gen.events.begin(), gen.events.end());
    out.eventTimes.resize(gen.eventTimes.size());
    double cumTime = 0.0;
    double previous = 0.0;
    for (size_t i = 0; i < gen.eventTimes.size(); ++i) {
        cumTime += gen.eventTimes[i];
        double realTime;
        if (cumTime <= c.coalTimeGrowthEnd) {
            // Inverse of the growth-phase clock: coalescent time accrues at
            // exp(rate * t) / N_pres per unit of real time t.
            realTime = std::log(N_pres * c.growthRate * cumTime + 1) / c.growthRate;
        } else {
            realTime = c.growthTime + N_ori * (cumTime - c.coalTimeGrowthEnd);
        }
        out.eventTimes[i] = i == 0 ? realTime : realTime - previous;
        previous = realTime;
    }
}

void coalTime2realTimeInto(const Genealogy& gen, Genealogy& out, double popSize) {
    out.startLines = gen.startLines;
    out.endLines = gen.endLines;
    out.numbEvents = gen.numbEvents;
    out.events.assign(gen.events.begin(), gen.events.end());
    out.eventTimes.resize(gen.eventTimes.size());
    for (size_t i = 0; i < gen.eventTimes.size(); ++i)
        out.eventTimes[i] = popSize * gen.eventTimes[i];
}

std::unique_ptr<Genealogy> coalTime2realTime(const Genealogy& gen, double N_pres, double N_ori,
                                             double timeToOri, double alpha) {
    auto out = std::make_unique<Genealogy>(1, 1);
    coalTime2realTimeInto(gen, *out, N_pres, N_ori, timeToOri, alpha);
    return out;
}

std::unique_ptr<Genealogy> coalTime2realTime(const Genealogy& gen, double popSize) {
    auto out = std::make_unique<Genealogy>(1, 1);
    coalTime2realTimeInto(gen, *out, popSize);
    return out;
}
