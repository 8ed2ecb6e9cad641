#pragma once

#include <string>
#include <vector>

#include "study/StudyReport.h"

// What a step of a study adds to the report, saved in STUDY/work/STEP.result
// so that a later run whose inputs are unchanged takes it as it is instead
// of computing it again. Each step fills only its own part. Numbers are
// written with 17 significant digits, so that they read back to the same
// bits and the report is the same bytes.
struct SavedResult {
    ChoiceSection choice;
    std::vector<EstimateSection> estimates;
    std::vector<CalibrationSection> calibration;
    std::vector<EnoughSection> enough;
    std::vector<FitSection> fit;
    std::vector<StudyWarning> warnings;
    std::size_t chosen = 0;  // the index of the chosen model
};

// The text of `result`, and back; readSavedResult returns false when `text`
// is not a whole saved result (a file cut short, or of another version).
std::string formatSavedResult(const SavedResult& result);
bool readSavedResult(const std::string& text, SavedResult& result);
