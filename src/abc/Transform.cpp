#include "abc/Transform.h"

#include <cmath>
#include <limits>

#include "sim/PriorBounds.h"

namespace {

constexpr double infinity = std::numeric_limits<double>::infinity();

}  // namespace

ParameterTransform::ParameterTransform(TransformKind kind, const std::vector<double>& column,
                                       const ParameterPrior& prior)
    : kind_(kind) {
    if (kind_ == TransformKind::none) return;
    if (kind_ == TransformKind::log) {
        lower_ = 0.0;
        upper_ = infinity;
    } else {
        logFirst_ = prior.logUniform;
        naturalLower_ = prior.lower;
        naturalUpper_ = prior.upper;
        lower_ = logFirst_ ? std::log(prior.lower) : prior.lower;
        upper_ = logFirst_ ? std::log(prior.upper) : prior.upper;
    }
    // The smallest and largest values strictly inside the bounds replace
    // those on or beyond them.
    low_ = infinity;
    high_ = -infinity;
    for (double x : column) {
        const double v = position(x);
        if (v > lower_ && v < upper_) {
            low_ = std::fmin(low_, v);
            high_ = std::fmax(high_, v);
        } else {
            replaced_ = true;
        }
    }
    if (low_ == infinity)
        error_ = kind_ == TransformKind::log ? "no value is above 0, so none can be logged"
                                             : "no value lies strictly inside the prior's bounds";
}

double ParameterTransform::position(double x) const {
    if (!logFirst_) return x;
    return x > 0.0 ? std::log(x) : -infinity;
}

double ParameterTransform::forward(double x) const {
    if (kind_ == TransformKind::none) return x;
    double v = position(x);
    if (v <= lower_) v = low_;
    if (v >= upper_) v = high_;
    if (kind_ == TransformKind::log) return std::log(v);
    const double p = (v - lower_) / (upper_ - lower_);
    return std::log(p / (1 - p));
}

double ParameterTransform::backward(double y) const {
    switch (kind_) {
        case TransformKind::none:
            return y;
        case TransformKind::log:
            return std::exp(y);
        case TransformKind::logit:
            break;
    }
    // R's form e^y / (1 + e^y); far in the upper tail it is inf / inf.
    const double e = std::exp(y);
    const double p = std::isfinite(e) ? e / (1 + e) : 1.0;
    double x = p * (upper_ - lower_) + lower_;
    if (logFirst_) x = std::exp(x);
    // Rounding may put a value deep in a tail on the bound itself.
    if (!(x > naturalLower_)) x = std::nextafter(naturalLower_, infinity);
    if (!(x < naturalUpper_)) x = std::nextafter(naturalUpper_, -infinity);
    return x;
}

const char* transformName(TransformKind kind) {
    switch (kind) {
        case TransformKind::none:
            return "none";
        case TransformKind::log:
            return "log";
        case TransformKind::logit:
            break;
    }
    return "logit";
}
