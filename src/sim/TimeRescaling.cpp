#include "sim/TimeRescaling.h"

#include <cmath>
#include <vector>

#include "io/Fail.h"
#include "sim/GrowthPhase.h"

namespace {

std::unique_ptr<Genealogy> withTimes(const Genealogy& gen, std::vector<double> eventTimes) {
    auto out = std::make_unique<Genealogy>(gen.startLines, gen.endLines);
    out->events = gen.events;
    out->eventTimes = std::move(eventTimes);
    return out;
}

}  // namespace

std::unique_ptr<Genealogy> coalTime2realTime(const Genealogy& gen, double N_pres, double N_ori,
                                             double timeToOri, double alpha) {
    if (N_pres <= N_ori) fail("\n error: coaltimes2realtimes: N_pres<=N_ori \n");
    const GrowthConstants c = growthConstants(N_pres, N_ori, timeToOri, alpha);

    std::vector<double> waits(gen.eventTimes.size(), 0.0);
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
        waits[i] = i == 0 ? realTime : realTime - previous;
        previous = realTime;
    }
    return withTimes(gen, std::move(waits));
}

std::unique_ptr<Genealogy> coalTime2realTime(const Genealogy& gen, double popSize) {
    std::vector<double> waits(gen.eventTimes.size(), 0.0);
    for (size_t i = 0; i < gen.eventTimes.size(); ++i) waits[i] = popSize * gen.eventTimes[i];
    return withTimes(gen, std::move(waits));
}
