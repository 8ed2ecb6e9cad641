#include "sim/Priors.h"

#include <gsl/gsl_randist.h>
#include <gsl/gsl_statistics_double.h>

#include <cmath>
#include <string>

#include "base/Fail.h"
#include "sim/Random.h"

namespace {

// One uniform draw from [lower, upper) of the range `name` (the settings
// name_lower and name_upper). `upper <= lower` is the error test, so that a
// bound that is not a number lets the draw proceed.
double drawRange(double lower, double upper, const char* name) {
    if (rangeIsEmpty(lower, upper))
        fail(std::string("error: parameters: ") + name + "_upper <= " + name + "_lower\n");
    return gsl_ran_flat(r, lower, upper);
}

double larger(double a, double b) {
    const double pair[2] = {a, b};
    return gsl_stats_max(pair, 1, 2);
}

// The draws of one population: its size at the founding, then its present
// size, never below the founding size. `toScale` turns a stored size into the
// scale of the bounds (identity or log10), `fromScale` a drawn value into the
// stored one.
template <typename ToScale, typename FromScale>
void drawPopulation(double oriLower, double oriUpper, double preLower, double preUpper,
                    const char* oriName, const char* preName, ToScale toScale, FromScale fromScale,
                    double& oriSize, double& preSize) {
    oriSize = fromScale(drawRange(oriLower, oriUpper, oriName));
    preSize = fromScale(drawRange(larger(toScale(oriSize), preLower), preUpper, preName));
}

// The six draws, in slot order.
template <typename ToScale, typename FromScale>
PriorDraw drawAll(const params& p, ToScale toScale, FromScale fromScale) {
    PriorDraw d{};
    d[My] = fromScale(drawRange(p.my_lower, p.my_upper, "my"));
    d[TimeToOri] =
        fromScale(drawRange(p.time_to_origin_lower, p.time_to_origin_upper, "time_to_origin"));
    drawPopulation(p.popsize_origin_tha_lower, p.popsize_origin_tha_upper,
                   p.popsize_present_tha_lower, p.popsize_present_tha_upper, "popsize_origin_tha",
                   "popsize_present_tha", toScale, fromScale, d[PopSizeOriTha], d[PopSizePreTha]);
    drawPopulation(p.popsize_origin_sue_lower, p.popsize_origin_sue_upper,
                   p.popsize_present_sue_lower, p.popsize_present_sue_upper, "popsize_origin_sue",
                   "popsize_present_sue", toScale, fromScale, d[PopSizeOriSue], d[PopSizePreSue]);
    return d;
}

}  // namespace

bool rangeIsEmpty(double lower, double upper) { return upper <= lower; }

PriorDraw simulateParams(const params& p) {
    auto same = [](double x) { return x; };
    return drawAll(p, same, same);
}

PriorDraw simulateParamsLog10(const params& p) {
    return drawAll(
        p, [](double x) { return std::log10(x); }, [](double x) { return std::pow(10.0, x); });
}
