#pragma once

#include <string>
#include <vector>

#include "abc/Posterior.h"

// The summary as an aligned text table for people: one line per column, the
// statistics with four significant digits, "NA" for an undefined value. The
// ESS column (effective sample size) is shown only when `weighted`.
std::string formatTable(const std::vector<ColumnSummary>& summaries, bool weighted);

// The same as tab-separated values for programs: a header line
// "column n [ess] mean sd q2.5 q25 median q75 q97.5 mode" and one line per column,
// numbers with nine significant digits, "NA" for an undefined value.
std::string formatTsv(const std::vector<ColumnSummary>& summaries, bool weighted);
