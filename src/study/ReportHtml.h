#pragma once

#include <string>

#include "study/StudyReport.h"

// report.html: one page that stands alone (its style and pictures inline,
// nothing fetched, no script) and prints on A4 with no table or picture cut
// across two pages. Every number that a TSV file also holds carries
// data-tsv, data-row and data-col (see ReportTsv.h). Returns the whole page.
std::string reportHtml(const StudyReport& report);
