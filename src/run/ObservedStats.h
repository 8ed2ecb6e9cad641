#pragma once

#include <iosfwd>
#include <string>

#include "sim/AlleleMatrix.h"
#include "sim/Params.h"
#include "sim/TableStats.h"

// What the rejection loop compares every simulated data set with.
struct ObservedStatistics {
    double S_obs_sue = 0.0;
    double S_obs_tha = 0.0;
    double S_obs_x_epsilon = 0.0;  // acceptance threshold: (S_obs_sue + S_obs_tha) * epsilon
};

// Summarises the observed data (missing values skipped), prints "S_obs_sue",
// "S_obs_tha" and the threshold "S_obs_x_epsilon" to `out`, and releases the
// observed matrix, which is no longer needed once summarised.
ObservedStatistics observedStatistics(AlleleMatrix observed, const params& p, std::ostream& out);

// The reference table's statistics of the observed data, and their line as
// the observed-statistics file holds it (each value and a tab), whose
// fingerprint (dataFingerprint) names the data in the table's records.
struct ObservedTableLine {
    TableStatistics stats;
    std::string line;
};
ObservedTableLine observedTableLine(const AlleleMatrix& observed, const params& p);

// Prints the separator and the "Running... " banner that open the repeats.
void printRunningBanner(std::ostream& out);
