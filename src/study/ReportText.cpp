#include "study/ReportText.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "abc/CrossValidation.h"
#include "abc/FitCheck.h"

namespace {

// The thresholds of the estimates' verdict (abc's verdict()), for the
// sentences that state them.
constexpr double kInformedBelow = 0.5;
constexpr double kNotInformedFrom = 0.8;
// The steadiness of an estimate between half the table and all of it.
constexpr double kMedianShare = 0.1;
constexpr double kErrorShift = 0.02;
// The level at which the goodness of fit rejects a model.
constexpr double kFitLevel = 0.05;

std::string joined(const std::vector<std::string>& names) {
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i)
        text += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
    return text;
}

}  // namespace

std::string reportNumber(double x) {
    if (std::isnan(x)) return "NA";
    if (std::isinf(x)) return x > 0 ? "Inf" : "-Inf";
    if (x == 0) return "0";
    char text[32];
    std::snprintf(text, sizeof text, "%.4g", x);
    return text;
}

std::string reportCount(long n) { return std::to_string(n); }

std::string modelSentence(const ModelSection& model) {
    std::string settings;
    for (const auto& [key, value] : model.settings)
        settings += (settings.empty() ? "" : ", ") + key + " = " + value;
    return reportCount(model.simulations) + " simulations" +
           (model.tableFingerprint.empty() ? "" : " (table " + model.tableFingerprint + ")") +
           (settings.empty() ? "." : "; " + settings + ".");
}

Information information(const std::string& givenVerdict, double oobError) {
    if (givenVerdict == "fixed") return Information::fixed;
    if (std::isnan(oobError)) return Information::unmeasured;
    const std::string word = verdict(oobError, 0.0);
    if (word == "informed by the data") return Information::informed;
    if (word == "not informed by the data") return Information::notInformed;
    return Information::weak;
}

const char* informationWord(Information kind) {
    switch (kind) {
        case Information::informed:
            return "informed";
        case Information::weak:
            return "weakly informed";
        case Information::notInformed:
            return "not informed";
        case Information::fixed:
            return "fixed";
        case Information::unmeasured:
            break;
    }
    return "not measured";
}

std::string informationSentence(const EstimateLine& line) {
    const Information kind = information(line.verdict, line.oobError);
    const std::string error = "its out-of-bag error, " + reportNumber(line.oobError) + ", ";
    switch (kind) {
        case Information::informed:
            return line.parameter + " is informed by the data: " + error + "is below " +
                   reportNumber(kInformedBelow) + ".";
        case Information::weak:
            return line.parameter + " is weakly informed: " + error + "lies between " +
                   reportNumber(kInformedBelow) + " and " + reportNumber(kNotInformedFrom) + ".";
        case Information::notInformed:
            return line.parameter + " is not informed: " + error + "is " +
                   reportNumber(kNotInformedFrom) +
                   " or more, so its posterior says little more than its prior.";
        case Information::fixed:
            return line.parameter + " is fixed: it takes the same value in every simulation.";
        case Information::unmeasured:
            break;
    }
    return line.parameter + ": the out-of-bag error was not measured (NA).";
}

Coverage coverage(double observed, double nominal, long rows) {
    if (std::isnan(observed) || rows <= 0) return Coverage::unmeasured;
    const double se = std::sqrt(nominal * (1 - nominal) / static_cast<double>(rows));
    if (observed < nominal - 2 * se) return Coverage::tooNarrow;
    if (observed > nominal + 2 * se) return Coverage::tooWide;
    return Coverage::asStated;
}

const char* coverageWord(Coverage kind) {
    switch (kind) {
        case Coverage::asStated:
            return "as stated";
        case Coverage::tooNarrow:
            return "too narrow";
        case Coverage::tooWide:
            return "too wide";
        case Coverage::unmeasured:
            break;
    }
    return "not measured";
}

namespace {

double coverageError(double nominal, long rows) {
    return std::sqrt(nominal * (1 - nominal) / static_cast<double>(rows));
}

}  // namespace

std::string calibrationRule(long rows) {
    if (rows <= 0) return "No out-of-bag prediction was made: the coverage was not measured.";
    return "An interval of level p is as stated when it held the true value in a share of the " +
           reportCount(rows) +
           " out-of-bag predictions within two standard errors, 2 x sqrt(p (1 - "
           "p) / rows), of p: within " +
           reportNumber(2 * coverageError(0.5, rows)) + " of 0.5 and " +
           reportNumber(2 * coverageError(0.95, rows)) + " of 0.95.";
}

std::string coverageCheck(const CalibrationLine& line, double nominal) {
    if (information(line.verdict, line.oobError) == Information::fixed) return "fixed";
    return coverageWord(
        coverage(nominal < 0.75 ? line.coverage50 : line.coverage95, nominal, line.rows));
}

std::vector<std::string> calibrationSentences(const CalibrationLine& line) {
    std::vector<std::string> sentences;
    if (information(line.verdict, line.oobError) == Information::fixed) return sentences;
    const double levels[2] = {0.5, 0.95};
    const double observed[2] = {line.coverage50, line.coverage95};
    for (int i = 0; i < 2; ++i) {
        const Coverage kind = coverage(observed[i], levels[i], line.rows);
        if (kind == Coverage::asStated || kind == Coverage::unmeasured) continue;
        const bool narrow = kind == Coverage::tooNarrow;
        sentences.push_back(
            "The " + reportNumber(100 * levels[i]) + " % intervals of " + line.parameter +
            " held the true value in " + reportNumber(observed[i]) + " of " +
            reportCount(line.rows) + " predictions, " + (narrow ? "below " : "above ") +
            reportNumber(levels[i]) + " by more than " +
            reportNumber(2 * coverageError(levels[i], line.rows)) + ": " + coverageWord(kind) +
            (narrow ? ", they claim more certainty than the data give."
                    : ", they are more cautious than they need be."));
    }
    return sentences;
}

bool medianMoved(const EnoughLine& line) {
    return std::fabs(line.medianHalf - line.medianFull) > kMedianShare * line.intervalWidth;
}

bool errorMoved(const EnoughLine& line) {
    return std::fabs(line.oobErrorHalf - line.oobErrorFull) > kErrorShift;
}

const char* movedWord(bool moved) { return moved ? "moved" : "steady"; }

std::string enoughSentence(const EnoughSection& section) {
    std::vector<std::string> moved;
    for (const EnoughLine& line : section.lines)
        if (medianMoved(line) || errorMoved(line)) moved.push_back(line.parameter);
    const std::string rule = "a median moving by more than " + reportNumber(kMedianShare) +
                             " of its 95 % interval, or an out-of-bag error by more than " +
                             reportNumber(kErrorShift);
    if (moved.empty())
        return "The first " + reportCount(section.rowsHalf) +
               " simulations give the estimates of all " + reportCount(section.rowsFull) + " (no " +
               rule + "): the table is large enough.";
    return "Between the first " + reportCount(section.rowsHalf) + " simulations and all " +
           reportCount(section.rowsFull) + ", " + joined(moved) + " moved" + " (" + rule + "): " +
           (section.suggestedSimulations > 0
                ? "add " + reportCount(section.suggestedSimulations) + " simulations to the table."
                : "add simulations to the table.");
}

ChoiceVerdict choiceVerdictOf(const ChoiceSection& choice) {
    double largest = 0;
    for (double p : choice.priorProbability) largest = std::max(largest, p);
    long rows = 0;
    for (const auto& line : choice.confusion)
        for (long n : line) rows += n;
    return choiceVerdict(largest, choice.priorErrorRate, static_cast<std::size_t>(rows),
                         choice.chosenProbability);
}

std::string choiceWord(const ChoiceSection& choice) {
    if (!choice.present) return "no_choice";
    switch (choiceVerdictOf(choice).kind) {
        case ChoiceVerdictKind::favoured:
            return "favoured";
        case ChoiceVerdictKind::tooUncertain:
            return "too_uncertain";
        case ChoiceVerdictKind::betterThanChance:
            return "better_than_chance";
        case ChoiceVerdictKind::notApart:
            break;
    }
    return "not_told_apart";
}

std::string choiceSentence(const ChoiceSection& choice) {
    if (!choice.present) return "The study has one model: no model was chosen.";
    const ChoiceVerdict v = choiceVerdictOf(choice);
    std::string rate;
    if (std::isfinite(v.standardError) && !std::isnan(choice.priorErrorRate))
        rate = "the prior error rate, " + reportNumber(choice.priorErrorRate) + ", is " +
               (v.kind == ChoiceVerdictKind::notApart ? "not " : "") + "below chance, " +
               reportNumber(v.chance) + ", by more than two standard errors (2 x " +
               reportNumber(v.standardError) + ")";
    else
        rate = "the prior error rate could not be measured";
    const std::string odds =
        reportNumber(kFavouredProbability) + " (odds of 3 to 1 against the other models together)";
    switch (v.kind) {
        case ChoiceVerdictKind::favoured:
            return "The data favour " + choice.chosen + ": its probability, " +
                   reportNumber(choice.chosenProbability) + ", reaches " + odds + ", and " + rate +
                   ".";
        case ChoiceVerdictKind::tooUncertain:
            return "The data do not tell these models apart here: the probability of " +
                   choice.chosen + ", the model chosen, is " +
                   reportNumber(choice.chosenProbability) + ", below " + odds + ".";
        case ChoiceVerdictKind::betterThanChance:
            return "The choice errs less often than a blind guess: " + rate + ".";
        case ChoiceVerdictKind::notApart:
            break;
    }
    return "The data do not tell these models apart: " + rate + ".";
}

std::string gfitWord(double pValue) {
    if (std::isnan(pValue)) return "not measured";
    return pValue < kFitLevel ? "rejected" : "not rejected";
}

std::string gfitSentence(const FitSection& fit) {
    if (std::isnan(fit.gfitPValue))
        return "The goodness of fit of " + fit.model + " was not measured.";
    return "Of " + reportCount(fit.gfitReplicates) + " simulations of " + fit.model +
           ", a share p = " + reportNumber(fit.gfitPValue) +
           " lie as far from the others as the data do, so the model is " +
           gfitWord(fit.gfitPValue) + " at the " + reportNumber(100 * kFitLevel) + " % level" +
           (fit.gfitPValue < kFitLevel ? ": it does not reproduce the observed statistics." : ".");
}

std::string checkSentence(const FitSection& fit) {
    if (std::isnan(fit.checkPValue)) return "The fit check of " + fit.model + " was not measured.";
    std::string text =
        "Of " + reportCount(fit.checkReplicates) + " simulations of " + fit.model +
        ", a share p = " + reportNumber(fit.checkPValue) +
        " lie as far from the mean of their nearest simulations (in the squared Mahalanobis "
        "distance) as the data do, so the model is " +
        gfitWord(fit.checkPValue) + " at the " + reportNumber(100 * kFitLevel) + " % level" +
        (fit.checkPValue < kFitLevel ? ": the observed statistics do not keep the relations that "
                                       "its simulations keep among them."
                                     : ".");
    std::vector<std::string> named;
    for (const auto& [statistic, z] : fit.checkResiduals)
        if (std::fabs(z) >= namedResidual) {
            char value[32];
            std::snprintf(value, sizeof value, "%+.2f", z);
            named.push_back(statistic + " (" + value + ")");
        }
    if (!named.empty())
        text += " At least " + reportNumber(namedResidual) +
                " standard deviations from what the other statistics predict near the data: " +
                joined(named) + ".";
    return text;
}

std::string ppcWord(const FitStatLine& line) {
    if (std::isnan(line.observed) || std::isnan(line.predictiveLower) ||
        std::isnan(line.predictiveUpper))
        return "NA";
    return line.observed < line.predictiveLower || line.observed > line.predictiveUpper ? "outside"
                                                                                        : "inside";
}

std::string ppcSentence(const FitSection& fit) {
    std::vector<std::string> outside;
    for (const FitStatLine& line : fit.ppc)
        if (ppcWord(line) == "outside") outside.push_back(line.statistic);
    if (outside.empty())
        return "Every observed statistic lies inside its 95 % posterior predictive interval "
               "under " +
               fit.model + ".";
    return joined(outside) + (outside.size() == 1 ? " lies" : " lie") +
           " outside the 95 % posterior predictive interval under " + fit.model + " (" +
           reportCount(static_cast<long>(outside.size())) + " of " +
           reportCount(static_cast<long>(fit.ppc.size())) +
           " statistics; one in twenty would by chance).";
}

std::vector<std::string> briefSentences(const StudyReport& report) {
    std::vector<std::string> lines;
    if (report.choice.present) lines.push_back(choiceSentence(report.choice));
    for (const EstimateSection& section : report.estimates) {
        std::vector<std::string> informed;
        long varying = 0;
        for (const EstimateLine& line : section.lines) {
            const Information kind = information(line.verdict, line.oobError);
            if (kind == Information::fixed) continue;
            ++varying;
            if (kind == Information::informed) informed.push_back(line.parameter);
        }
        lines.push_back("Under " + section.model + ", the data inform " +
                        reportCount(static_cast<long>(informed.size())) + " of " +
                        reportCount(varying) + " parameters" +
                        (informed.empty() ? "." : ": " + joined(informed) + "."));
    }
    for (const EnoughSection& section : report.enough) lines.push_back(enoughSentence(section));
    return lines;
}
