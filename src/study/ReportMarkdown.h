#pragma once

#include <string>

#include "study/StudyReport.h"

// report.md: the page of report.html in GitHub-flavoured Markdown, for a lab
// notebook or a repository, with the same numbers and sentences (ReportText)
// and its pictures as the files reportFigures() names, beside it. Returns the
// whole text.
std::string reportMarkdown(const StudyReport& report);
