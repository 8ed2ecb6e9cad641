#pragma once

#include <string>
#include <vector>

#include "study/StudyReport.h"

// The report's tables as tab-separated files that R's read.delim and pandas'
// read_csv(sep="\t") read as they are: one header line, one row per line, the
// numbers as the page shows them (reportNumber), NA for a missing value.
// docs/study-report.md lists the columns.
//
// Each row has a key, the values of its leading columns joined by "/"; a
// number of report.html that a TSV holds carries data-tsv="FILE",
// data-row="KEY" and data-col="COLUMN", so that a test can find it there.

inline constexpr const char* kEstimatesTsv = "estimates.tsv";       // key: model/parameter
inline constexpr const char* kModelChoiceTsv = "model-choice.tsv";  // key: model
inline constexpr const char* kCalibrationTsv = "calibration.tsv";   // key: model/parameter
inline constexpr const char* kFitTsv = "fit.tsv";                   // key: check/model/statistic

// The statistic column of the goodness-of-fit and fit-check rows of fit.tsv
// (a distance over every statistic at once), and the check column of each
// kind of row.
inline constexpr const char* kGfitStatistic = "all";
inline constexpr const char* kGfitCheck = "gfit";
inline constexpr const char* kFitCheckCheck = "fit-check";
inline constexpr const char* kPpcCheck = "ppc";

// The column of model-choice.tsv holding the out-of-bag predictions of the
// rows of a model as `predicted`.
std::string confusionColumn(const std::string& predicted);

// A row's key from the values of its leading columns, each as the TSV reader
// reads it back (its first line, tabs as spaces), joined by "/".
std::string tsvKey(const std::vector<std::string>& parts);

// Each file's whole text.
std::string estimatesTsv(const StudyReport& report);
std::string modelChoiceTsv(const StudyReport& report);
std::string calibrationTsv(const StudyReport& report);
std::string fitTsv(const StudyReport& report);
