#pragma once

#include <string>
#include <vector>

#include "sim/PriorBounds.h"

// The scale on which a parameter is regressed on the statistics. Adjusted
// values are carried along the fitted plane on that scale and transformed
// back, so the scale decides where they may land: anywhere (none), above 0
// (log), or strictly inside the prior's bounds (logit).
//
// The transforms are those of R's abc package (`transf` and `logit.bounds`),
// including its treatment of values on or beyond a bound: before the log, a
// value <= 0 is replaced by the smallest positive value of the column; before
// the logit with bounds (a, b), a value <= a by the smallest value of the
// column above a, and a value >= b by the largest below b. "The column" is
// the parameter's column over the whole reference table.
enum class TransformKind { none, log, logit };

// The transform of one parameter, ready to apply.
class ParameterTransform {
  public:
    ParameterTransform() = default;

    // The transform `kind` for a parameter whose values over the whole table
    // are `column`. For logit, `prior` gives the bounds: the logit of the
    // position between them for a uniform prior, of the position of ln x
    // between ln a and ln b for a log-uniform one. Check error() after.
    ParameterTransform(TransformKind kind, const std::vector<double>& column,
                       const ParameterPrior& prior = {});

    // Empty, or why the transform cannot be made (no value of the column lies
    // inside the bounds, so nothing can replace those on them).
    const std::string& error() const { return error_; }
    // Whether R replaced any value of the column (a value on or beyond a bound).
    bool replacedValues() const { return replaced_; }
    TransformKind kind() const { return kind_; }

    // The regression scale of value `x` of the column.
    double forward(double x) const;
    // Back from the regression scale to the parameter's own. With logit the
    // result lies strictly inside the prior's bounds, even where rounding
    // would put it on a bound.
    double backward(double y) const;

  private:
    double position(double x) const;  // onto the scale the bounds live on

    TransformKind kind_ = TransformKind::none;
    bool logFirst_ = false;  // logit of ln x (log-uniform prior)
    double lower_ = 0.0;     // the bounds, on the scale the logit is applied to
    double upper_ = 0.0;
    double naturalLower_ = 0.0;  // the prior's bounds on the parameter's own scale
    double naturalUpper_ = 0.0;
    double low_ = 0.0;   // the replacement of values on or below the lower bound
    double high_ = 0.0;  // the replacement of values on or above the upper bound
    bool replaced_ = false;
    std::string error_;
};

// The option's name of a kind ("none", "log", "logit").
const char* transformName(TransformKind kind);
