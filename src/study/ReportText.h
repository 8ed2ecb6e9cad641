#pragma once

#include <string>
#include <vector>

#include "abc/ChoiceVerdict.h"
#include "study/StudyReport.h"

// How a study's report writes its numbers and the sentences that interpret
// them. Every number of report.html, report.md and the TSV files is written by
// reportNumber() (or reportCount()), so that the three show the same text; and
// every word or sentence that says what a number means is made here, from that
// number, by one rule, so that no page can contradict the number beside it.

// A measured value: four significant digits ("%.4g"), "NA" for NaN (R's and
// pandas' missing value), "Inf"/"-Inf", and "0" for either zero.
std::string reportNumber(double x);

// A count, in full.
std::string reportCount(long n);

// A model's table and settings: "2000 simulations (table FINGERPRINT);
// KEY = VALUE, ...".
std::string modelSentence(const ModelSection& model);

// What the out-of-bag error of a parameter's forest says: the rule of the
// command line's estimates (informed below 0.5, not informed at 0.8 or more).
// A parameter the study marks "fixed" is fixed whatever its error; a NaN error
// of another one is unmeasured.
enum class Information { informed, weak, notInformed, fixed, unmeasured };
Information information(const std::string& givenVerdict, double oobError);
// "informed", "weakly informed", "not informed", "fixed", "not measured".
const char* informationWord(Information kind);
// One sentence, e.g. "My is informed by the data: its out-of-bag error, 0.31,
// is below 0.5."
std::string informationSentence(const EstimateLine& line);

// Whether the out-of-bag intervals of level `nominal` held the true value as
// often as they claim: within two binomial standard errors of `nominal` over
// `rows` predictions, sqrt(nominal (1 - nominal) / rows).
enum class Coverage { asStated, tooNarrow, tooWide, unmeasured };
Coverage coverage(double observed, double nominal, long rows);
// "as stated", "too narrow", "too wide", "not measured".
const char* coverageWord(Coverage kind);
// The check of the intervals of level `nominal` (0.5 or 0.95) of `line`:
// coverageWord() of its coverage, or "fixed" for a fixed parameter, whose
// intervals are a point.
std::string coverageCheck(const CalibrationLine& line, double nominal);

// The rule of the calibration, with the standard errors of both levels over
// `rows` predictions, in one sentence.
std::string calibrationRule(long rows);
// A sentence for each interval of `line` whose coverage is not as stated
// (none when both are, or for a fixed parameter).
std::vector<std::string> calibrationSentences(const CalibrationLine& line);

// Whether half the table moved a median by more than a tenth of its 95 %
// interval, or an out-of-bag error by more than 0.02, against the whole table.
bool medianMoved(const EnoughLine& line);
bool errorMoved(const EnoughLine& line);
// "moved" or "steady".
const char* movedWord(bool moved);
// The advice of the section: no more simulations, or how many to add.
std::string enoughSentence(const EnoughSection& section);

// The model choice's verdict, by the rule of the command line's choice (from
// the largest prior, the out-of-bag error rate over the rows of the confusion
// matrix and the chosen model's probability), its word ("favoured",
// "too_uncertain", "better_than_chance", "not_told_apart"; "no_choice" when
// the study had one model) and its sentence.
ChoiceVerdict choiceVerdictOf(const ChoiceSection& choice);
std::string choiceWord(const ChoiceSection& choice);
std::string choiceSentence(const ChoiceSection& choice);

// The goodness of fit: rejected at the 5 % level when p < 0.05. The word
// ("rejected", "not rejected", "not measured"; the fit check's too, by the
// same rule) and the sentence.
std::string gfitWord(double pValue);
std::string gfitSentence(const FitSection& fit);

// The fit check's sentence: its verdict by gfitWord's rule, then the
// statistics whose residual is at least namedResidual standard deviations,
// each with its residual.
std::string checkSentence(const FitSection& fit);

// Where an observed statistic lies against its 95 % posterior predictive
// interval: "inside", "outside", or "NA" when a bound or the value is missing.
std::string ppcWord(const FitStatLine& line);
// The statistics outside their interval, in one sentence.
std::string ppcSentence(const FitSection& fit);

// The report's opening lines: the choice, and how many parameters of each
// estimated model the data inform.
std::vector<std::string> briefSentences(const StudyReport& report);
