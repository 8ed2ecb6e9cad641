#include "summary/TableShared.h"

#include <cmath>
#include <cstdio>

#include "io/FinishedFile.h"
#include "io/PriorsFile.h"
#include "io/SampleFile.h"

namespace {

constexpr const char* programName = "foundabc-summary";

}  // namespace

const char* const regressionHint =
    "; choose fewer or other statistics with --stats, or accept more with a larger --tol";

std::string shortNumber(double x) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.4g", x);
    return buf;
}

int failWith(std::ostream& err, const std::string& message) {
    err << programName << ": " << message << "\n";
    return 1;
}

void warn(std::ostream& err, const std::string& message) {
    err << programName << ": warning: " << message << "\n";
}

// The priors of the table's columns as the results summary takes them: the
// drawn parameters' bounds and scales; FracSueMono has none. A present size
// is drawn at or above the founding size, so its prior is flat only when the
// founding size's upper bound lies at or below its own lower bound.
std::vector<ColumnSummary> summarise(const std::array<std::vector<double>, numbParamSlots>& v,
                                     std::size_t columns, const std::vector<double>& weights,
                                     const std::array<ColumnPrior, numbParamSlots>& priors) {
    std::vector<ColumnSummary> summaries;
    for (std::size_t c = 0; c < columns; ++c)
        summaries.push_back(
            summariseColumn(c, v[c], weights, priors[c].known ? &priors[c] : nullptr));
    return summaries;
}

std::string statisticList(const StatisticChoice& choice) {
    std::string names;
    for (std::size_t j : choice.columns)
        names += (names.empty() ? "" : " ") + std::string(tableStatNames[j]);
    return names;
}


int writeSample(const TableOptions& options, const Inputs& in, const std::string& text,
                std::ostream& err) {
    if (in.outputs->write(options.samplePath, text, err) != 0) return 1;
    if (!recordsSampleOrigin(options.samplePath)) return 0;
    SampleOrigin origin;
    origin.table = options.tablePath;
    origin.sample = sampleTextFingerprint(text);
    origin.known = in.provenance.known;
    origin.settings = in.provenance.settings;
    // The posterior is that of the observed point the estimate used (the
    // table's own, or the one of --observed), not of the table's data.
    origin.data = dataFingerprintOf(in.observed);
    return in.outputs->write(sampleOriginPath(options.samplePath), formatSampleOrigin(origin), err);
}

std::string transformLine(const Inputs& in, bool hcorr) {
    std::string line = "transform: ";
    switch (in.transform) {
        case TransformKind::logit:
            line +=
                "logit of the position within each prior's bounds (of ln x for log-uniform "
                "priors)";
            break;
        case TransformKind::log:
            line += in.hasPriors ? "log" : "log (the table has no priors file)";
            break;
        case TransformKind::none:
            line += "none";
            break;
    }
    return line + "; heteroscedastic correction: " + (hcorr ? "on" : "off");
}

std::string methodLine(AdjustMethod method, double cutoff) {
    const std::string weights = "Epanechnikov weights 1 - (d/h)^2, h = " + shortNumber(cutoff);
    switch (method) {
        case AdjustMethod::rejection:
            return "method: rejection, unweighted, no adjustment";
        case AdjustMethod::weighted:
            return "method: rejection with " + weights + ", no adjustment";
        case AdjustMethod::loclinear:
            break;
    }
    return "method: local-linear regression adjustment, " + weights;
}

std::string crossValidationLegend(std::size_t rows, bool forest) {
    const double n = static_cast<double>(rows);
    char spread[64];
    std::snprintf(spread, sizeof spread, "%.2f and %.2f", 2 * std::sqrt(0.25 / n),
                  2 * std::sqrt(0.95 * 0.05 / n));
    const std::string rule =
        forest ? "Verdict: by the out-of-bag error of every simulation (OOB error, on\nthe "
                 "scale of the forest's response), as the estimate gives it: informed below 0.5, "
                 "not\ninformed at 0.8 or more.\n"
               : "Informed: error + 2 SE below 0.5; not informed: error 0.8 or more.\n";
    return "prediction error (SE its standard error): sum (estimate - true)^2 / sum (true - "
           "mean true)^2, the estimate\nbeing the posterior mean; near 0: the statistics pin "
           "the parameter down; near 1: they tell\nno more than the prior. " + rule + "coverage: share of true values "
           "inside the central 50 % and 95 % posterior intervals; calibrated\nposteriors give "
           "0.50 and 0.95, within about " +
           std::string(spread) + " (two standard errors) at N = " + std::to_string(rows) +
           "\n\n";
}
