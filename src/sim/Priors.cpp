#include "sim/Priors.h"

#include <gsl/gsl_randist.h>
#include <gsl/gsl_statistics_double.h>

#include <cmath>
#include <string>

#include "io/Fail.h"
#include "sim/Random.h"

namespace {

enum Slot { kMy, kTimeToOri, kPopSizeOriTha, kPopSizePreTha, kPopSizeOriSue, kPopSizePreSue };

// One uniform draw from [lower, upper). `upper <= lower` is the error test, so
// that a bound that is not a number lets the draw proceed.
double drawRange(double lower, double upper, const char* upperName, const char* lowerName) {
    if (upper <= lower)
        fail(std::string("error: parameters: ") + upperName + " <= " + lowerName + "\n");
    return gsl_ran_flat(r, lower, upper);
}

double larger(double a, double b) {
    const double pair[2] = {a, b};
    return gsl_stats_max(pair, 1, 2);
}

// The six draws; `toScale` turns a stored size into the scale of the bounds
// (identity or log10), `fromScale` a drawn value into the stored one.
template <typename ToScale, typename FromScale>
PriorDraw drawAll(const params& p, ToScale toScale, FromScale fromScale) {
    PriorDraw d{};
    d[kMy] = fromScale(drawRange(p.my_lower, p.my_upper, "my_upper", "my_lower"));
    d[kTimeToOri] = fromScale(drawRange(p.time_to_origin_lower, p.time_to_origin_upper,
                                        "time_to_origin_upper", "time_to_origin_lower"));
    d[kPopSizeOriTha] =
        fromScale(drawRange(p.popsize_origin_tha_lower, p.popsize_origin_tha_upper,
                            "popsize_origin_tha_upper", "popsize_origin_tha_lower"));
    d[kPopSizePreTha] = fromScale(drawRange(
        larger(toScale(d[kPopSizeOriTha]), p.popsize_present_tha_lower),
        p.popsize_present_tha_upper, "popsize_present_tha_upper", "popsize_present_tha_lower"));
    d[kPopSizeOriSue] =
        fromScale(drawRange(p.popsize_origin_sue_lower, p.popsize_origin_sue_upper,
                            "popsize_origin_sue_upper", "popsize_origin_sue_lower"));
    d[kPopSizePreSue] = fromScale(drawRange(
        larger(toScale(d[kPopSizeOriSue]), p.popsize_present_sue_lower),
        p.popsize_present_sue_upper, "popsize_present_sue_upper", "popsize_present_sue_lower"));
    return d;
}

}  // namespace

PriorDraw simulateParams(const params& p) {
    auto same = [](double x) { return x; };
    return drawAll(p, same, same);
}

PriorDraw simulateParamsLog10(const params& p) {
    return drawAll(
        p, [](double x) { return std::log10(x); }, [](double x) { return std::pow(10.0, x); });
}
