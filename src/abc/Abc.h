#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "abc/Transform.h"
#include "sim/Columns.h"
#include "sim/PriorBounds.h"
#include "sim/SimulationTable.h"

// Approximate Bayesian computation on a reference table: statistics scaled by
// their spread, the simulations nearest to the observed statistics accepted,
// weighted by their distance, and (optionally) their parameters corrected by
// a local-linear regression on the statistics.

// The median absolute deviation from the median of the finite values (no
// consistency factor: only ratios between statistics matter for distances).
// NaN when there is no finite value. Takes a copy to reorder.
double medianAbsoluteDeviation(std::vector<double> values);

// The statistics that enter the distance, each with its observed value and
// its scale: the median absolute deviation over the simulations of the table
// that have every chosen statistic defined.
struct StatisticChoice {
    std::vector<std::size_t> columns;  // indices into tableStatNames, in table order
    std::vector<double> observed;
    std::vector<double> scale;
    std::vector<std::string> warnings;  // statistics left out, and why
    std::string error;                  // an unknown name, or no statistic left
};

// Chooses the statistics named in `names` (the twelve core statistics when
// empty: the means over loci, on which the rejection methods' distances and
// their calibration were built; the spread and shape statistics must be
// named). A
// statistic whose observed value is not finite, or whose deviation over the
// table is 0 (or undefined), is left out with a warning; it is an error when
// a name is unknown or nothing is left.
StatisticChoice chooseStatistics(const ReferenceTable& table,
                                 const std::array<double, numbTableStats>& observed,
                                 const std::vector<std::string>& names);

// The statistics a forest is grown on, chosen from `names` (every statistic
// the table holds when empty) over the table alone, so that every observed
// point gets the same forests: a statistic is left out (with a warning) only when it is
// undefined (NaN) in every simulation or takes one value in every one
// (NaN counting as a value of its own, since a tree can split present from
// missing). A forest needs no scale: `scale` is empty, and `observed` holds
// the first point's values, NaN included (a missing value goes right at
// every split). It is an error when a name is unknown or nothing is left.
StatisticChoice chooseForestStatistics(const ReferenceTable& table,
                                       const std::array<double, numbTableStats>& observed,
                                       const std::vector<std::string>& names);

// The chosen statistics that can be compared with `observed` (one value per
// column of `choice`): those whose observed value is finite, with that value
// and their scale.
struct ComparedStatistics {
    std::vector<std::size_t> columns;
    std::vector<double> observed;
    std::vector<double> scale;
};
ComparedStatistics comparedStatistics(const StatisticChoice& choice,
                                      const std::vector<double>& observed);

// Euclidean distance of every row to `observed` on the statistics
// `columns`, each difference divided by its `scale`. Statistics whose
// observed value is not finite are skipped; a row whose distance is not a
// finite number (a statistic undefined for it) gets +infinity.
std::vector<double> scaledDistances(const ReferenceTable& table,
                                    const std::vector<std::size_t>& columns,
                                    const std::vector<double>& observed,
                                    const std::vector<double>& scale);

// The accepted simulations and their weights.
struct Acceptance {
    std::vector<std::size_t> rows;  // accepted row indices, ascending
    std::vector<double> distances;  // their distances
    std::vector<double> weights;    // their Epanechnikov weights
    double cutoff = 0.0;            // the largest accepted distance, h
    std::size_t candidates = 0;     // rows with a finite distance
    std::size_t positive = 0;       // accepted rows of positive weight
};

// Accepts the ceil(tolerance * candidates) rows (at least one) of smallest
// finite distance, plus every row tied with the last of them at the cut-off.
// The weights are 1 - (d/h)^2 with h the cut-off, so the rows at the cut-off
// get weight 0 (the kernel's own definition); when h is 0 (every accepted
// row matches exactly) each gets weight 1. 0 < tolerance <= 1.
Acceptance acceptNearest(const std::vector<double>& distances, double tolerance);

// Whether a column is adjusted by the regression: the six drawn parameters.
// FracSueMono, a bounded and nearly discrete share of loci, never is.
bool isAdjusted(std::size_t param);

// How the accepted parameters become the posterior sample.
enum class AdjustMethod {
    rejection,  // the accepted values, unweighted (R: method = "rejection")
    weighted,   // the accepted values with their Epanechnikov weights
    loclinear,  // weighted, and corrected by local-linear regression (R: "loclinear")
};

// Everything that decides an estimate besides the table and the statistics.
struct EstimationSettings {
    double tolerance = 0.01;  // 0 < tolerance <= 1
    AdjustMethod method = AdjustMethod::loclinear;
    // The heteroscedastic correction of the adjustment (R: hcorr = TRUE).
    bool hcorr = false;
    // The regression scale of each drawn parameter (see Transform.h).
    std::array<ParameterTransform, numbDrawnParams> transforms{};
    // GsmP, in a table that holds it, is adjusted only on the logit of its
    // prior's bounds (adjustGsmP, with that transform in gsmPTransform), so
    // that its adjusted values stay inside them; otherwise it keeps its
    // accepted values, as FracSueMono does.
    bool adjustGsmP = false;
    ParameterTransform gsmPTransform{};
};

// The transforms `kind` of the six drawn parameters of `table`. logit needs
// `priors`; without them (null) the parameters are logged instead, or left on
// their own scale where a value is <= 0 (`warnings` says which). `error` is
// set when a column cannot be transformed.
struct TransformChoice {
    std::array<ParameterTransform, numbDrawnParams> transforms{};
    std::vector<std::string> warnings;
    std::string error;
};
TransformChoice chooseTransforms(const ReferenceTable& table, TransformKind kind,
                                 const TablePriors* priors);

// The transform that adjusts GsmP: the logit of its position between the
// bounds of its prior `gsmP`. False (GsmP not adjusted) when the table lacks
// GsmP, its prior is unknown (null) or its bounds are equal, or no value of
// the table lies strictly between them.
bool chooseGsmPTransform(const ReferenceTable& table, const ParameterPrior* gsmP,
                         ParameterTransform& transform);

// What one estimation gives. `rejection[c]` holds the accepted values of
// column c (a slot of paramSlotNames; GsmP's is empty unless the table holds
// it), `adjusted[c]` the regression-adjusted ones (equal to the rejection
// values for the columns not adjusted; empty without adjustment); both follow
// `acceptance.rows`. `weights` are those of the posterior sample: all 1 for
// plain rejection, the Epanechnikov weights otherwise.
struct AbcEstimate {
    Acceptance acceptance;
    std::size_t statisticsUsed = 0;  // chosen statistics with a finite observed value
    std::array<std::vector<double>, numbParamSlots> rejection;
    std::array<std::vector<double>, numbParamSlots> adjusted;
    std::vector<double> weights;
    std::vector<std::string> warnings;
    std::string error;  // no usable row, no weight, too few rows or a singular fit
};

// Estimates the parameters for `observed` (one value per chosen column) from
// the table, leaving out the row `excluded` (for cross-validation; pass
// table.rows() to keep all).
//
// The local-linear adjustment follows R's abc 2.2.2 step by step: each
// transformed parameter y is fitted as y = a + s.b by weighted least squares
// on the accepted rows; the residuals r_i are centred on their unweighted
// mean m over all accepted rows (the weight-0 row included) and the
// prediction at the observed statistics becomes a + s_obs.b + m. Without the
// heteroscedastic correction the adjusted value is that prediction plus r_i
// (the centring cancels); with it, ln r_i^2 is fitted the same way and r_i is
// rescaled by the fitted spread at the observed statistics over the fitted
// spread at the row's own.
AbcEstimate estimateParameters(const ReferenceTable& table, const StatisticChoice& choice,
                               const std::vector<double>& observed,
                               const EstimationSettings& settings, std::size_t excluded);
