#include "summary/Abc.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "summary/LocalLinear.h"
#include "summary/Stats.h"

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
    std::array<bool, numbTableStats> wanted{};
    wanted.fill(names.empty());
    for (const std::string& name : names) {
        auto at = std::find(tableStatNames.begin(), tableStatNames.end(), name);
        if (at == tableStatNames.end()) {
            choice.error =
                "unknown statistic '" + name + "'; the statistics are " + allStatisticNames();
            return choice;
        }
        wanted[static_cast<std::size_t>(at - tableStatNames.begin())] = true;
    }
    for (std::size_t j = 0; j < numbTableStats; ++j) {
        if (!wanted[j]) continue;
        const std::string name = tableStatNames[j];
        if (!std::isfinite(observed[j])) {
            choice.warnings.push_back("statistic " + name +
                                      " left out: it is not a finite number in the observed data");
            continue;
        }
        const double mad = medianAbsoluteDeviation(table.stats[j]);
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

bool adjustedOnLogScale(std::size_t param) { return param != fracSueMonoColumn; }
bool isAdjusted(std::size_t param) { return param != fracSueMonoColumn; }

AbcEstimate estimateParameters(const ReferenceTable& table, const StatisticChoice& choice,
                               const std::vector<double>& observed, double tolerance, bool adjust,
                               std::size_t excluded) {
    AbcEstimate e;
    std::vector<std::size_t> columns;
    std::vector<double> used, scale;
    for (std::size_t k = 0; k < choice.columns.size(); ++k) {
        if (!std::isfinite(observed[k])) continue;
        columns.push_back(choice.columns[k]);
        used.push_back(observed[k]);
        scale.push_back(choice.scale[k]);
    }
    e.statisticsUsed = columns.size();
    if (columns.empty()) {
        e.error = "no chosen statistic is a finite number in the observed data";
        return e;
    }
    std::vector<double> distances = scaledDistances(table, columns, used, scale);
    if (excluded < distances.size()) distances[excluded] = infinity;
    e.acceptance = acceptNearest(distances, tolerance);
    const Acceptance& a = e.acceptance;
    if (a.candidates == 0) {
        e.error = "no simulation has every chosen statistic defined";
        return e;
    }
    if (a.positive == 0) {
        e.error = "all " + std::to_string(a.rows.size()) +
                  " accepted simulations lie at the cut-off distance, so every weight is 0; "
                  "accept more (a larger tolerance)";
        return e;
    }
    for (std::size_t c = 0; c < numbParamColumns; ++c)
        for (std::size_t i : a.rows) e.rejection[c].push_back(table.params[c][i]);
    if (!adjust) return e;

    // Predictors: the accepted rows' scaled differences from the observed
    // statistics, so that the fitted plane is read off at the observed data.
    std::vector<double> predictors;
    predictors.reserve(a.rows.size() * columns.size());
    for (std::size_t i : a.rows)
        for (std::size_t k = 0; k < columns.size(); ++k)
            predictors.push_back((table.stats[columns[k]][i] - used[k]) / scale[k]);
    std::vector<std::vector<double>> responses;
    std::vector<std::size_t> fitted;
    std::array<bool, numbParamColumns>& logScale = e.logScale;
    for (std::size_t c = 0; c < numbParamColumns; ++c) {
        if (!isAdjusted(c)) continue;
        std::vector<double> y = e.rejection[c];
        logScale[c] = adjustedOnLogScale(c) &&
                      std::all_of(y.begin(), y.end(), [](double x) { return x > 0.0; });
        if (adjustedOnLogScale(c) && !logScale[c])
            e.warnings.push_back(std::string("parameter ") + paramColumnNames[c] +
                                 " has values <= 0 among the accepted simulations, so it is "
                                 "adjusted on its own scale rather than the log scale");
        if (logScale[c])
            for (double& x : y) x = std::log(x);
        responses.push_back(std::move(y));
        fitted.push_back(c);
    }
    LocalLinearFit fit = fitLocalLinear(predictors, columns.size(), responses, a.weights);
    if (!fit.error.empty()) {
        e.error = fit.error;
        return e;
    }
    for (std::size_t c = 0; c < numbParamColumns; ++c) e.adjusted[c] = e.rejection[c];
    for (std::size_t r = 0; r < fitted.size(); ++r) {
        const std::size_t c = fitted[r];
        e.adjusted[c] = fit.adjusted[r];
        if (logScale[c])
            for (double& x : e.adjusted[c]) x = std::exp(x);
    }
    return e;
}
