#include "abc/Abc.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "abc/LocalLinear.h"
#include "abc/Stats.h"
#include "sim/Columns.h"
#include "sim/PriorBounds.h"

namespace {

constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();
constexpr double infinity = std::numeric_limits<double>::infinity();

// Median of `values` (non-empty), reordering them.
double medianInPlace(std::vector<double>& values) {
    const std::size_t half = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + half, values.end());
    const double upper = values[half];
    if (values.size() % 2 == 1) return upper;
    const double lower = *std::max_element(values.begin(), values.begin() + half);
    return lower + (upper - lower) / 2;
}

std::string allStatisticNames() {
    std::string names;
    for (const char* name : tableStatNames)
        names += (names.empty() ? "" : ", ") + std::string(name);
    return names;
}

// Which statistics `names` asks for (the first `byDefault` when empty); sets
// `error` for an unknown name.
std::array<bool, numbTableStats> namedStatistics(const std::vector<std::string>& names,
                                                 std::size_t byDefault, std::string& error) {
    std::array<bool, numbTableStats> wanted{};
    if (names.empty()) std::fill(wanted.begin(), wanted.begin() + byDefault, true);
    for (const std::string& name : names) {
        auto at = std::find(tableStatNames.begin(), tableStatNames.end(), name);
        if (at == tableStatNames.end()) {
            error = "unknown statistic '" + name + "'; the statistics are " + allStatisticNames();
            break;
        }
        wanted[static_cast<std::size_t>(at - tableStatNames.begin())] = true;
    }
    return wanted;
}

// Whether every value of `column` is the same, NaN being a value of its own.
bool takesOneValue(const std::vector<double>& column) {
    for (double x : column)
        if (!(x == column[0] || (std::isnan(x) && std::isnan(column[0])))) return false;
    return true;
}

}  // namespace

double medianAbsoluteDeviation(std::vector<double> values) {
    values.erase(
        std::remove_if(values.begin(), values.end(), [](double x) { return !std::isfinite(x); }),
        values.end());
    if (values.empty()) return notANumber;
    const double median = medianInPlace(values);
    for (double& x : values) x = std::fabs(x - median);
    return medianInPlace(values);
}

StatisticChoice chooseStatistics(const ReferenceTable& table,
                                 const std::array<double, numbTableStats>& observed,
                                 const std::vector<std::string>& names) {
    StatisticChoice choice;
    std::array<bool, numbTableStats> wanted =
        namedStatistics(names, std::min(numbCoreStats, table.numbStats), choice.error);
    if (!choice.error.empty()) return choice;
    for (std::size_t j = 0; j < numbTableStats; ++j) {
        if (wanted[j] && !std::isfinite(observed[j])) {
            wanted[j] = false;
            choice.warnings.push_back("statistic " + std::string(tableStatNames[j]) +
                                      " left out: it is not a finite number in the observed data");
        }
    }
    // A statistic defined in no simulation would leave no row to scale the
    // others by: it goes first, by name.
    for (std::size_t j = 0; j < numbTableStats; ++j) {
        if (!wanted[j]) continue;
        const auto& column = table.stats[j];
        if (std::none_of(column.begin(), column.end(), [](double x) { return std::isfinite(x); })) {
            wanted[j] = false;
            choice.warnings.push_back("statistic " + std::string(tableStatNames[j]) +
                                      " left out: it is not a finite number in any simulation");
        }
    }
    // The scales are taken over the simulations that can be compared with
    // the data at all: those with every chosen statistic defined.
    std::vector<bool> complete(table.rows(), true);
    for (std::size_t j = 0; j < numbTableStats; ++j)
        if (wanted[j])
            for (std::size_t i = 0; i < table.rows(); ++i)
                complete[i] = complete[i] && std::isfinite(table.stats[j][i]);
    for (std::size_t j = 0; j < numbTableStats; ++j) {
        if (!wanted[j]) continue;
        const std::string name = tableStatNames[j];
        std::vector<double> values;
        for (std::size_t i = 0; i < table.rows(); ++i)
            if (complete[i]) values.push_back(table.stats[j][i]);
        const double mad = medianAbsoluteDeviation(std::move(values));
        if (!(mad > 0.0) || !std::isfinite(mad)) {
            choice.warnings.push_back("statistic " + name +
                                      " left out: its median absolute deviation over the "
                                      "simulations is 0, so it cannot be scaled");
            continue;
        }
        choice.columns.push_back(j);
        choice.observed.push_back(observed[j]);
        choice.scale.push_back(mad);
    }
    if (choice.columns.empty()) choice.error = "no statistic is left to compare with the data";
    return choice;
}

StatisticChoice chooseForestStatistics(const ReferenceTable& table,
                                       const std::array<double, numbTableStats>& observed,
                                       const std::vector<std::string>& names) {
    StatisticChoice choice;
    const std::array<bool, numbTableStats> wanted =
        namedStatistics(names, table.numbStats, choice.error);
    if (!choice.error.empty()) return choice;
    for (std::size_t j = 0; j < numbTableStats; ++j) {
        if (!wanted[j]) continue;
        const std::vector<double>& column = table.stats[j];
        const std::string name = tableStatNames[j];
        if (std::all_of(column.begin(), column.end(), [](double x) { return std::isnan(x); })) {
            choice.warnings.push_back("statistic " + name +
                                      " left out: it is not a number in any simulation");
            continue;
        }
        if (takesOneValue(column)) {
            choice.warnings.push_back("statistic " + name +
                                      " left out: it takes one value in every simulation");
            continue;
        }
        choice.columns.push_back(j);
        choice.observed.push_back(observed[j]);
    }
    if (choice.columns.empty()) choice.error = "no statistic varies over the simulations";
    return choice;
}

std::vector<double> scaledDistances(const ReferenceTable& table,
                                    const std::vector<std::size_t>& columns,
                                    const std::vector<double>& observed,
                                    const std::vector<double>& scale) {
    const std::size_t rows = table.rows();
    std::vector<double> squares(rows, 0.0);
    for (std::size_t k = 0; k < columns.size(); ++k) {
        if (!std::isfinite(observed[k])) continue;
        const std::vector<double>& s = table.stats[columns[k]];
        const double o = observed[k], inverse = 1.0 / scale[k];
        for (std::size_t i = 0; i < rows; ++i) {
            const double d = (s[i] - o) * inverse;
            squares[i] += d * d;
        }
    }
    for (double& d : squares) d = std::isfinite(d) ? std::sqrt(d) : infinity;
    return squares;
}

Acceptance acceptNearest(const std::vector<double>& distances, double tolerance) {
    Acceptance a;
    std::vector<double> finite;
    finite.reserve(distances.size());
    for (double d : distances)
        if (d < infinity) finite.push_back(d);
    a.candidates = finite.size();
    if (finite.empty()) return a;
    // The product is nudged down so that, e.g., 0.01 * 1000 asks for 10 rows
    // and not 11 through a rounding error in the last bit.
    const double wanted = std::ceil(tolerance * static_cast<double>(finite.size()) * (1 - 1e-12));
    const std::size_t k =
        static_cast<std::size_t>(std::clamp(wanted, 1.0, static_cast<double>(finite.size())));
    std::nth_element(finite.begin(), finite.begin() + (k - 1), finite.end());
    a.cutoff = finite[k - 1];
    for (std::size_t i = 0; i < distances.size(); ++i) {
        if (!(distances[i] <= a.cutoff)) continue;
        a.rows.push_back(i);
        a.distances.push_back(distances[i]);
        const double w = a.cutoff > 0.0 ? epanechnikovWeight(distances[i], a.cutoff) : 1.0;
        a.weights.push_back(w);
        a.positive += w > 0.0 ? 1 : 0;
    }
    return a;
}

bool isAdjusted(std::size_t param) { return param != fracSueMonoColumn; }

TransformChoice chooseTransforms(const ReferenceTable& table, TransformKind kind,
                                 const TablePriors* priors) {
    TransformChoice choice;
    // Without the priors the logit falls back to the log, for the columns
    // that it can keep positive.
    const bool fallback = kind == TransformKind::logit && priors == nullptr;
    for (std::size_t c = 0; c < numbDrawnParams; ++c) {
        const std::string name = paramColumnNames[c];
        const std::vector<double>& column = table.params[c];
        TransformKind own = fallback ? TransformKind::log : kind;
        if (fallback &&
            std::any_of(column.begin(), column.end(), [](double x) { return x <= 0; })) {
            own = TransformKind::none;
            choice.warnings.push_back("parameter " + name +
                                      " has values <= 0, so it is adjusted on its own scale");
        }
        ParameterTransform& t = choice.transforms[c];
        t = ParameterTransform(own, column, priors ? (*priors)[c] : ParameterPrior{});
        if (!t.error().empty()) {
            choice.error = "cannot take the " + std::string(transformName(own)) + " of " + name +
                           ": " + t.error();
            return choice;
        }
        if (t.replacedValues())
            choice.warnings.push_back(
                "parameter " + name + ": values " +
                (own == TransformKind::log ? "at or below 0" : "on or beyond its prior's bounds") +
                " are replaced, for the regression, by the nearest value of the table inside "
                "them (as R's abc does)");
    }
    return choice;
}

bool chooseGsmPTransform(const ReferenceTable& table, const ParameterPrior* gsmP,
                         ParameterTransform& transform) {
    if (!table.hasGsmP || gsmP == nullptr || !(gsmP->lower < gsmP->upper)) return false;
    ParameterPrior bounds = *gsmP;
    bounds.logUniform = false;
    transform = ParameterTransform(TransformKind::logit, table.params[gsmPSlot], bounds);
    return transform.error().empty();
}

ComparedStatistics comparedStatistics(const StatisticChoice& choice,
                                      const std::vector<double>& observed) {
    ComparedStatistics compared;
    for (std::size_t k = 0; k < choice.columns.size(); ++k) {
        if (!std::isfinite(observed[k])) continue;
        compared.columns.push_back(choice.columns[k]);
        compared.observed.push_back(observed[k]);
        compared.scale.push_back(choice.scale[k]);
    }
    return compared;
}

AbcEstimate estimateParameters(const ReferenceTable& table, const StatisticChoice& choice,
                               const std::vector<double>& observed,
                               const EstimationSettings& settings, std::size_t excluded) {
    AbcEstimate e;
    const ComparedStatistics compared = comparedStatistics(choice, observed);
    const std::vector<std::size_t>& columns = compared.columns;
    const std::vector<double>& used = compared.observed;
    const std::vector<double>& scale = compared.scale;
    e.statisticsUsed = columns.size();
    if (columns.empty()) {
        e.error = "no chosen statistic is a finite number in the observed data";
        return e;
    }
    std::vector<double> distances = scaledDistances(table, columns, used, scale);
    if (excluded < distances.size()) distances[excluded] = infinity;
    e.acceptance = acceptNearest(distances, settings.tolerance);
    const Acceptance& a = e.acceptance;
    if (a.candidates == 0) {
        e.error = "no simulation has every chosen statistic defined";
        return e;
    }
    const bool plain = settings.method == AdjustMethod::rejection;
    if (a.positive == 0 && !plain) {
        e.error = "all " + std::to_string(a.rows.size()) +
                  " accepted simulations lie at the cut-off distance, so every weight is 0; "
                  "accept more (a larger tolerance), or use --adjust none";
        return e;
    }
    e.weights = plain ? std::vector<double>(a.rows.size(), 1.0) : a.weights;
    for (std::size_t c = 0; c < table.numbParams(); ++c)
        for (std::size_t i : a.rows) e.rejection[c].push_back(table.params[c][i]);
    if (settings.method != AdjustMethod::loclinear) return e;

    // Predictors: the accepted rows' scaled differences from the observed
    // statistics, so that the fitted plane is read off at the observed data
    // as its intercept. Centring and scaling change no fitted value.
    const std::size_t p = columns.size(), n = a.rows.size();
    std::vector<double> predictors;
    predictors.reserve(n * p);
    for (std::size_t i : a.rows)
        for (std::size_t k = 0; k < p; ++k)
            predictors.push_back((table.stats[columns[k]][i] - used[k]) / scale[k]);
    // The adjusted columns, each with its transform: the drawn parameters,
    // then GsmP when it is adjusted. The design serves every response alike,
    // so GsmP's presence changes no other column's fit.
    std::vector<std::size_t> slots;
    std::vector<const ParameterTransform*> transforms;
    for (std::size_t c = 0; c < numbDrawnParams; ++c)
        slots.push_back(c), transforms.push_back(&settings.transforms[c]);
    if (settings.adjustGsmP && table.hasGsmP)
        slots.push_back(gsmPSlot), transforms.push_back(&settings.gsmPTransform);
    const std::size_t numbAdjusted = slots.size();
    std::vector<std::vector<double>> responses;
    for (std::size_t k = 0; k < numbAdjusted; ++k) {
        std::vector<double> y = e.rejection[slots[k]];
        for (double& x : y) x = transforms[k]->forward(x);
        responses.push_back(std::move(y));
    }
    std::vector<std::string> names;
    for (std::size_t j : columns) names.push_back(tableStatNames[j]);
    // A statistic the regression had to leave out is said once.
    const auto sayDropped = [&](const LocalLinearFit& f) {
        for (const CollinearColumn& c : f.dropped) {
            const std::string text = "statistic " + names[c.column] +
                                     " left out of the regression: " + collinearityText(c, names);
            if (std::find(e.warnings.begin(), e.warnings.end(), text) == e.warnings.end())
                e.warnings.push_back(text);
        }
    };
    LocalLinearFit fit = fitLocalLinear(predictors, p, responses, a.weights);
    sayDropped(fit);
    if (!fit.error.empty()) {
        e.error = fit.error;
        return e;
    }
    // Residuals centred on their unweighted mean, which moves to the prediction.
    std::vector<std::vector<double>> residuals(numbAdjusted, std::vector<double>(n));
    std::vector<double> prediction(numbAdjusted);
    for (std::size_t c = 0; c < numbAdjusted; ++c) {
        double mean = 0.0;
        for (std::size_t r = 0; r < n; ++r) {
            residuals[c][r] = responses[c][r] - fit.fitted[c][r];
            mean += residuals[c][r];
        }
        mean /= static_cast<double>(n);
        for (double& r : residuals[c]) r -= mean;
        prediction[c] = fit.coefficients[c][0] + mean;
    }
    std::vector<std::vector<double>> spreadRatio;  // sigma_obs / sigma_i, with hcorr
    if (settings.hcorr) {
        std::vector<std::vector<double>> logSquares = residuals;
        for (std::size_t c = 0; c < numbAdjusted; ++c)
            for (std::size_t r = 0; r < n; ++r) {
                if (residuals[c][r] == 0.0 && a.weights[r] > 0.0) {
                    e.error = std::string(
                                  "the heteroscedastic correction takes the log of "
                                  "squared residuals, but a residual of ") +
                              paramSlotNames[slots[c]] + " is exactly 0";
                    return e;
                }
                logSquares[c][r] = std::log(residuals[c][r] * residuals[c][r]);
            }
        LocalLinearFit spread = fitLocalLinear(predictors, p, logSquares, a.weights);
        sayDropped(spread);
        if (!spread.error.empty()) {
            e.error = spread.error;
            return e;
        }
        for (std::size_t c = 0; c < numbAdjusted; ++c) {
            const double atObserved = std::sqrt(std::exp(spread.coefficients[c][0]));
            std::vector<double> ratio(n);
            for (std::size_t r = 0; r < n; ++r)
                ratio[r] = atObserved / std::sqrt(std::exp(spread.fitted[c][r]));
            spreadRatio.push_back(std::move(ratio));
        }
    }
    for (std::size_t c = 0; c < table.numbParams(); ++c) e.adjusted[c] = e.rejection[c];
    for (std::size_t c = 0; c < numbAdjusted; ++c)
        for (std::size_t r = 0; r < n; ++r) {
            const double residual =
                settings.hcorr ? residuals[c][r] * spreadRatio[c][r] : residuals[c][r];
            e.adjusted[slots[c]][r] = transforms[c]->backward(prediction[c] + residual);
        }
    return e;
}
