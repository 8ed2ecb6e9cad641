#pragma once

#include <string>

#include "study/StudyReport.h"

// Writes the study's report into the folder `reportDir` (which exists):
// report.html, report.md, estimates.tsv, model-choice.tsv, calibration.tsv
// and fit.tsv, each through a FinishedFile. Returns nothing; throws
// std::runtime_error with a message naming the file on an I/O failure.
void writeStudyReport(const std::string& reportDir, const StudyReport& report);
