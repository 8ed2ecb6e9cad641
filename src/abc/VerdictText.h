#pragma once

#include <string>

#include "abc/ChoiceVerdict.h"

// The words of a model choice's verdict, shared by every command and report
// that shows one.

// `x` by printf `format`; "NA" when it is not a number.
std::string choiceNumber(double x, const char* format = "%.4g");

// The verdict in words, for the line "Verdict: ...": what it says and the
// numbers it rests on. `chosen` names the chosen model, `errorRate` and
// `probability` are those the verdict was drawn from (NaN when absent).
std::string verdictText(const ChoiceVerdict& v, const std::string& chosen, double errorRate,
                        double probability);

// The verdict as one word for the `verdict` column of --tsv: favoured,
// not_told_apart, too_uncertain or better_than_chance.
const char* verdictWord(ChoiceVerdictKind kind);
