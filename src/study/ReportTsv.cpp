#include "study/ReportTsv.h"

#include <cmath>
#include <limits>

#include "study/ReportEscape.h"
#include "study/ReportText.h"

namespace {

constexpr double kNa = std::numeric_limits<double>::quiet_NaN();

// One line of fields, tab-separated.
std::string line(const std::vector<std::string>& fields) {
    std::string text;
    for (std::size_t i = 0; i < fields.size(); ++i) text += (i ? "\t" : "") + fields[i];
    return text + "\n";
}

std::string name(const std::string& text) { return tsvField(firstLine(text)); }

template <class T>
T at(const std::vector<T>& values, std::size_t i, T missing) {
    return i < values.size() ? values[i] : missing;
}

}  // namespace

std::string tsvKey(const std::vector<std::string>& parts) {
    std::string key;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        std::string part = firstLine(parts[i]);
        for (char& c : part)
            if (c == '\t' || c == '\r') c = ' ';
        key += (i ? "/" : "") + part;
    }
    return key;
}

std::string confusionColumn(const std::string& predicted) { return "oob_as_" + predicted; }

std::string estimatesTsv(const StudyReport& report) {
    std::string text = line({"model", "parameter", "median", "q2.5", "q25", "q75", "q97.5", "mean",
                             "oob_error", "verdict"});
    for (const EstimateSection& section : report.estimates)
        for (const EstimateLine& e : section.lines)
            text += line({name(section.model), name(e.parameter), reportNumber(e.median),
                          reportNumber(e.q025), reportNumber(e.q25), reportNumber(e.q75),
                          reportNumber(e.q975), reportNumber(e.mean), reportNumber(e.oobError),
                          informationWord(information(e.verdict, e.oobError))});
    return text;
}

std::string modelChoiceTsv(const StudyReport& report) {
    const ChoiceSection& c = report.choice;
    std::vector<std::string> models = c.models;
    if (!c.present) {
        models.clear();
        for (const ModelSection& m : report.models) models.push_back(m.name);
    }
    std::vector<std::string> header = {"model", "votes", "prior", "posterior", "chosen"};
    for (const std::string& m : models) header.push_back(name(confusionColumn(m)));
    header.insert(header.end(), {"prior_error_rate", "verdict"});
    std::string text = line(header);
    for (std::size_t i = 0; i < models.size(); ++i) {
        std::vector<std::string> row = {name(models[i])};
        if (c.present) {
            row.push_back(reportCount(at(c.votes, i, 0L)));
            row.push_back(reportNumber(at(c.priorProbability, i, kNa)));
            row.push_back(reportNumber(at(c.posteriorProbability, i, kNa)));
            row.push_back(models[i] == c.chosen ? "1" : "0");
            const std::vector<long> none;
            const std::vector<long>& predicted = i < c.confusion.size() ? c.confusion[i] : none;
            for (std::size_t j = 0; j < models.size(); ++j)
                row.push_back(j < predicted.size() ? reportCount(predicted[j]) : "NA");
            row.push_back(reportNumber(c.priorErrorRate));
        } else {
            row.insert(row.end(), {"NA", "1", "NA", "1"});
            for (std::size_t j = 0; j < models.size(); ++j) row.push_back("NA");
            row.push_back("NA");
        }
        row.push_back(choiceWord(c));
        text += line(row);
    }
    return text;
}

std::string calibrationTsv(const StudyReport& report) {
    std::string text = line({"model", "parameter", "rows", "coverage50", "coverage95", "check50",
                             "check95", "oob_error", "verdict"});
    for (const CalibrationSection& section : report.calibration)
        for (const CalibrationLine& c : section.lines)
            text += line({name(section.model), name(c.parameter), reportCount(c.rows),
                          reportNumber(c.coverage50), reportNumber(c.coverage95),
                          coverageCheck(c, 0.5), coverageCheck(c, 0.95), reportNumber(c.oobError),
                          informationWord(information(c.verdict, c.oobError))});
    return text;
}

std::string fitTsv(const StudyReport& report) {
    std::string text = line({"check", "model", "statistic", "observed", "lower", "upper", "p_value",
                             "replicates", "verdict"});
    for (const FitSection& fit : report.fit) {
        text += line({kGfitCheck, name(fit.model), kGfitStatistic, reportNumber(fit.gfitStatistic),
                      "NA", "NA", reportNumber(fit.gfitPValue), reportCount(fit.gfitReplicates),
                      gfitWord(fit.gfitPValue)});
        text += line({kFitCheckCheck, name(fit.model), kGfitStatistic,
                      reportNumber(fit.checkStatistic), "NA", "NA", reportNumber(fit.checkPValue),
                      reportCount(fit.checkReplicates), gfitWord(fit.checkPValue)});
        for (const FitStatLine& s : fit.ppc)
            text += line({kPpcCheck, name(fit.model), name(s.statistic), reportNumber(s.observed),
                          reportNumber(s.predictiveLower), reportNumber(s.predictiveUpper),
                          reportNumber(s.pValue), "NA", ppcWord(s)});
    }
    return text;
}
