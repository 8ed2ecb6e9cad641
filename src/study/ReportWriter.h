#pragma once

#include <string>

#include "study/StudyReport.h"

// Writes the report of a study into the folder `reportDir` (made if missing):
// report.html, report.md, estimates.tsv, model-choice.tsv, calibration.tsv,
// fit.tsv, and the pictures of report.md under figures/. Every file is
// written and forced to the disk under a temporary name first, and only then
// are all put under their names, with the termination signals held off, so
// that a failure or a signal leaves the earlier report whole. The bytes
// depend on `report` alone. Throws std::runtime_error "cannot write 'PATH':
// WHY" on failure.
void writeStudyReport(const std::string& reportDir, const StudyReport& report);
