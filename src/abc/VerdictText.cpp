#include "abc/VerdictText.h"

#include <cmath>
#include <cstdio>

std::string choiceNumber(double x, const char* format) {
    char text[32];
    std::snprintf(text, sizeof text, format, x);
    return std::isnan(x) ? "NA" : text;
}

std::string verdictText(const ChoiceVerdict& v, const std::string& chosen, double errorRate,
                        double probability) {
    std::string rate;  // what the error rate says; empty when there is none
    if (std::isfinite(v.standardError) && std::isnan(errorRate))
        rate = "the prior error rate could not be measured";
    else if (std::isfinite(v.standardError))
        rate = "the prior error rate, " + choiceNumber(errorRate, "%.3f") + ", is " +
               (v.kind == ChoiceVerdictKind::notApart ? "not " : "") + "below chance, " +
               choiceNumber(v.chance, "%.3f") +
               " (the error rate of always naming the model of largest prior), by more than "
               "two standard errors (2 x " + choiceNumber(v.standardError, "%.3f") + ")";
    const std::string odds = choiceNumber(kFavouredProbability, "%.2f") +
                             " (odds of 3 to 1 against the other models together)";
    switch (v.kind) {
        case ChoiceVerdictKind::favoured:
            return "the data favour " + chosen + ": its probability, " +
                   choiceNumber(probability, "%.3f") + ", reaches " + odds +
                   (rate.empty() ? "" : ", and " + rate);
        case ChoiceVerdictKind::tooUncertain:
            return "the data do not tell these models apart here: the probability of " +
                   chosen + ", the model chosen, is " + choiceNumber(probability, "%.3f") +
                   ", below " + odds;
        case ChoiceVerdictKind::betterThanChance:
            return "the choice errs less often than a blind guess: " + rate;
        case ChoiceVerdictKind::notApart:
            break;
    }
    return "the data do not tell these models apart: " +
           (rate.empty() ? std::string("no model has a posterior probability") : rate);
}

const char* verdictWord(ChoiceVerdictKind kind) {
    switch (kind) {
        case ChoiceVerdictKind::favoured: return "favoured";
        case ChoiceVerdictKind::tooUncertain: return "too_uncertain";
        case ChoiceVerdictKind::betterThanChance: return "better_than_chance";
        case ChoiceVerdictKind::notApart: break;
    }
    return "not_told_apart";
}
