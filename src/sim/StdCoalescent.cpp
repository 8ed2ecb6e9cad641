#include "sim/StdCoalescent.h"

#include <gsl/gsl_randist.h>

#include "sim/Random.h"
#include "sim/Topology.h"

void drawStdIntervalsInto(int n, std::vector<double>& stdIntervals) {
    stdIntervals.clear();
    for (int i = 0; i < n - 1; ++i) {
        const int k = n - i;
        // k (k - 1) in integer arithmetic; the argument is the mean.
        stdIntervals.push_back(gsl_ran_exponential(r, 2.0 / (k * (k - 1))));
    }
}

std::vector<double> drawStdIntervals(int n) {
    std::vector<double> stdIntervals;
    if (n >= 2) stdIntervals.reserve(static_cast<size_t>(n - 1));
    drawStdIntervalsInto(n, stdIntervals);
    return stdIntervals;
}

std::unique_ptr<Genealogy> simStdCoal(int n) {
    std::vector<double> stdIntervals = drawStdIntervals(n);
    return buildGenealogy(n, 1, std::move(stdIntervals));
}

void simStdCoalInto(Genealogy& out, CoalescentBuffers& work, int n) {
    drawStdIntervalsInto(n, work.stdIntervals);
    buildGenealogyInto(out, n, 1, work.stdIntervals, work.active);
}
