#include "run/SampleDraw.h"

#include <algorithm>
#include <cstring>

#include "base/Fail.h"
#include "io/InputFile.h"
#include "io/PriorsFile.h"
#include "sim/Random.h"
#include "sim/SimulationStreams.h"

namespace {

// The six uniform variates of a prior draw (see Priors.h).
constexpr int kDrawsPerSet = 6;

}  // namespace

SampleDraw::SampleDraw(SampleRows rows) : rows_(std::move(rows)) {
    // Weights are finite, but their sum need not be (every weight 1e308):
    // an infinite total would send every draw to one row. Dividing by the
    // largest weight first keeps the sum at most the number of rows and
    // leaves the shares unchanged.
    double largest = 0;
    for (double w : rows_.weights) largest = std::max(largest, w);
    cumulative_.reserve(rows_.weights.size());
    double sum = 0;
    for (double w : rows_.weights) cumulative_.push_back(sum += largest > 0 ? w / largest : w);
}

SampleDraw SampleDraw::fixed(const PriorDraw& values) {
    SampleRows rows;
    rows.values.push_back(values);
    rows.weights.push_back(1.0);
    rows.positive = 1;
    return SampleDraw(std::move(rows));
}

std::size_t SampleDraw::drawRow() const {
    const double u = gsl_rng_uniform(r);
    for (int k = 1; k < kDrawsPerSet; ++k) gsl_rng_uniform(r);
    // The first row whose running sum passes u x total: a row of weight 0
    // adds nothing to the sum and so is never the first to pass it. Rounding
    // can bring u x total up to the total; the last row of positive weight
    // takes that case.
    const double target = u * cumulative_.back();
    auto at = std::upper_bound(cumulative_.begin(), cumulative_.end(), target);
    if (at == cumulative_.end())
        at = std::lower_bound(cumulative_.begin(), cumulative_.end(), cumulative_.back());
    return static_cast<std::size_t>(at - cumulative_.begin());
}

uint64_t SampleDraw::fingerprint() const {
    uint64_t state = rows_.values.size();
    uint64_t hash = splitMix64(state);
    auto add = [&hash](double x) {
        uint64_t bits = 0;
        std::memcpy(&bits, &x, sizeof bits);
        uint64_t s = hash ^ bits;
        hash = splitMix64(s);
    };
    for (std::size_t i = 0; i < rows_.values.size(); ++i) {
        add(rows_.weights[i]);
        for (double x : rows_.values[i]) add(x);
        if (rows_.hasGsmP) add(rows_.gsmP[i]);
    }
    return hash;
}

SampleDraw loadSampleDraw(const std::string& path, bool runDrawsGsmP,
                          const std::string& paramsPath) {
    SampleRows rows;
    const std::string why = readSampleFile(path, rows);
    if (!why.empty()) fail("error: sample: " + why + "\n");
    SampleDraw sample(std::move(rows));
    const std::string problem = sampleModelProblem(path, sample, runDrawsGsmP, paramsPath);
    if (!problem.empty()) fail(problem);
    return sample;
}

std::string sampleModelProblem(const std::string& path, const SampleDraw& sample,
                               bool runDrawsGsmP, const std::string& paramsPath) {
    const bool sampleHas = sample.rows().hasGsmP;
    if (sampleHas == runDrawsGsmP) return "";
    if (sampleHas)
        return "error: sample: " + path +
               " has a column GsmP (a posterior of the generalised stepwise model), but " +
               paramsPath +
               " sets no GSM_P_LOWER and GSM_P_UPPER, so its P would be lost: give the "
               "parameter file of the table the sample came from\n";
    return "error: sample: " + path + " has no column GsmP, but " + paramsPath +
           " sets GSM_P_LOWER and GSM_P_UPPER, so P would be drawn from its prior beside the "
           "sample's other values: give the parameter file of the table the sample came from, "
           "or a sample of a table that holds GsmP\n";
}

std::string sampleOriginProblem(const std::string& path, const SampleDraw& sample,
                                const std::string& paramsPath, uint64_t settings, uint64_t data,
                                std::string& warning) {
    const std::string recordPath = sampleOriginPath(path);
    // A directory where the record belongs is no missing record: something
    // else holds its name.
    if (const std::string directory = directoryProblem(recordPath); !directory.empty())
        return "error: sample: " + directory + "\n";
    SampleOrigin origin;
    bool present = false;
    const std::string why = readSampleOrigin(path, origin, present);
    const auto warn = [&](const std::string& message) {
        warning = "foundabc: warning: sample: " + message +
                  ": it cannot be checked against the settings and data of this run\n";
        return std::string();
    };
    if (!why.empty()) return warn(why);
    if (!present)
        return warn(path + " has no record of the table it came from (" + recordPath +
                    ", written beside the samples of foundabc-summary --table --sample)");
    if (origin.sample != sample.rows().fingerprint)
        return warn(recordPath + " describes another sample than " + path +
                    " (the sample was changed or replaced since)");
    if (!origin.known)
        return warn(path + " comes from the table " + origin.table +
                    ", which has no record of its settings (a table written by an earlier "
                    "version)");
    const bool otherSettings = origin.settings != settings;
    if (!otherSettings && origin.data == data) return "";
    return "error: sample: " + path + " was made from the table " + origin.table +
           (otherSettings ? ", simulated with other settings (sample sizes, loci, ALPHA, "
                            "priors, founding options or --model) than " +
                                paramsPath
                          : ", for other observed data than the data file of " + paramsPath +
                                " (a posterior of --observed values, or of an edited "
                                "observed-statistics file)") +
           ": its rows are a posterior for another model or data set. Give the parameter "
           "file of that table, or estimate a sample from a table made with these "
           "settings\n";
}

void checkSampleOrigin(const std::string& path, const SampleDraw& sample,
                       const std::string& paramsPath, uint64_t settings, uint64_t data,
                       std::ostream& err) {
    std::string warning;
    const std::string problem =
        sampleOriginProblem(path, sample, paramsPath, settings, data, warning);
    err << warning;
    if (!problem.empty()) fail(problem);
}

std::string sampleEchoLine(const std::string& path, const SampleDraw& sample) {
    const SampleRows& rows = sample.rows();
    const std::size_t n = rows.values.size();
    return "FROM_SAMPLE = " + path + " (" + std::to_string(n) + (n == 1 ? " row, " : " rows, ") +
           std::to_string(rows.positive) + " of positive weight; " +
           (rows.adjusted ? "adjusted" : "unadjusted") + " values)\n";
}

uint64_t fingerprintWithSample(uint64_t runFingerprint, const SampleDraw* sample) {
    if (sample == nullptr) return runFingerprint;
    uint64_t state = runFingerprint ^ sample->fingerprint();
    return splitMix64(state);
}
