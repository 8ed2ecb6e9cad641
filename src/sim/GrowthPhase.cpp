#include "sim/GrowthPhase.h"

#include <cmath>

#include "sim/StdCoalescent.h"

GrowthConstants growthConstants(double N_pres, double N_ori, double timeToOri, double alpha) {
    GrowthConstants c;
    c.growthTime = timeToOri * alpha;
    c.growthRate = std::log(N_ori / N_pres) * (-1 / c.growthTime);
    c.coalTimeGrowthEnd = (std::exp(c.growthRate * c.growthTime) - 1) / (N_pres * c.growthRate);
    c.coalTimeOri = (timeToOri - c.growthTime) / N_ori + c.coalTimeGrowthEnd;
    return c;
}

namespace {

// The intervals of the legacy model: the standard intervals that fall in the
// growth phase are first transformed for growth, as if they were real time,
// before the rescaling maps the result to real time once more.
void legacyIntervals(const std::vector<double>& stdIntervals, const GrowthConstants& c,
                     GrowthPhase& g, bool wholeGrowthScale) {
    const int numbMerges = static_cast<int>(stdIntervals.size());
    const double rate = c.growthRate;
    g.growthIntervals.assign(stdIntervals.size(), 0.0);
    g.growthTimes.assign(stdIntervals.size(), 0.0);

    // A standard interval starting at growth time s lasts
    // ln(1 + rate * std * exp(-rate * s)) / rate. Past the first event that
    // reaches the end of growth no value of the growth scale is read again.
    double s = 0.0;
    for (int i = 0; i < numbMerges; ++i) {
        g.growthIntervals[i] =
            std::log(1 + rate * stdIntervals[i] * std::exp(-rate * s)) * (1 / rate);
        g.growthTimes[i] = s + g.growthIntervals[i];
        s = g.growthTimes[i];
        if (!wholeGrowthScale && !(s < c.coalTimeGrowthEnd)) break;
    }

    int cut = 0;
    while (cut < numbMerges && g.growthTimes[cut] < c.coalTimeGrowthEnd) {
        g.intervals[cut] = g.growthIntervals[cut];
        ++cut;
    }
    g.cutIndex = cut;
    if (cut < numbMerges) {
        // The event that straddles the end of growth: the part of its standard
        // interval used up during growth is replaced by the growth-scale time
        // that remained, and the rest runs at constant size.
        const double start = cut == 0 ? 0.0 : g.growthTimes[cut - 1];
        const double x = c.coalTimeGrowthEnd - start;
        const double used = (std::exp(x * rate) - 1) / (std::exp(-rate * start) * rate);
        g.intervals[cut] = stdIntervals[cut] - used + x;
        for (int i = cut + 1; i < numbMerges; ++i) g.intervals[i] = stdIntervals[i];
    }
}

}  // namespace

void growthPhaseInto(const std::vector<double>& stdIntervals, const GrowthConstants& c,
                     GrowthPhase& g, ModelVersion version, bool wholeGrowthScale) {
    const int numbMerges = static_cast<int>(stdIntervals.size());
    if (version == ModelVersion::legacy) {
        g.intervals.assign(stdIntervals.size(), 0.0);
        legacyIntervals(stdIntervals, c, g, wholeGrowthScale);
    } else {
        // A standard-coalescent interval among k lines is exactly a wait on
        // the coalescent scale: the hazard of each pair accrues at 1/N(t) per
        // unit of real time, and the rescaling turns coalescent time into
        // real time. So the growth phase needs no transform of its own.
        g.intervals.assign(stdIntervals.begin(), stdIntervals.end());
        g.growthIntervals.clear();
        g.growthTimes.clear();
        g.cutIndex = 0;
    }

    g.cumTimes.resize(stdIntervals.size());
    double sum = 0.0;
    for (int i = 0; i < numbMerges; ++i) {
        sum += g.intervals[i];
        g.cumTimes[i] = sum;
    }

    int kept = 0;
    while (kept < numbMerges && g.cumTimes[kept] < c.coalTimeOri) ++kept;
    g.eventsBeforeOri = kept;
    g.linesAtOri = numbMerges + 1 - kept;
}

GrowthPhase growthPhase(const std::vector<double>& stdIntervals, const GrowthConstants& c,
                        ModelVersion version) {
    GrowthPhase g;
    growthPhaseInto(stdIntervals, c, g, version);
    return g;
}

GrowthPhase simGrowthPhase(int numbLines, const GrowthConstants& c, ModelVersion version) {
    return growthPhase(drawStdIntervals(numbLines), c, version);
}

void foundingEventIntervalsInto(const GrowthPhase& phase, double coalTimeOri, int numbFounders,
                                std::vector<double>& eventIntervals) {
    const int numbLines = static_cast<int>(phase.intervals.size()) + 1;
    const int numbEvents = numbLines - numbFounders;
    const int before = phase.eventsBeforeOri;
    eventIntervals.assign(static_cast<size_t>(numbEvents), 0.0);
    for (int i = 0; i < before && i < numbEvents; ++i) eventIntervals[i] = phase.intervals[i];
    if (numbEvents > before) {
        // All merges at the origin happen at coalTimeOri: the first waits from
        // the last earlier event, the others wait nothing. When no event
        // precedes the origin and coalTimeOri is not positive (alpha well above
        // 1, or undefined constants) the merges happen at the present rather
        // than at a negative or undefined time.
        const double wait = coalTimeOri - (before == 0 ? 0.0 : phase.cumTimes[before - 1]);
        eventIntervals[before] = wait > 0 ? wait : 0.0;
    }
}

std::vector<double> foundingEventIntervals(const GrowthPhase& phase, double coalTimeOri,
                                           int numbFounders) {
    std::vector<double> eventIntervals;
    foundingEventIntervalsInto(phase, coalTimeOri, numbFounders, eventIntervals);
    return eventIntervals;
}
