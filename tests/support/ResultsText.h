#pragma once

#include <array>
#include <cstdio>
#include <string>

// Lines of a results file exactly as a run writes them, for the summary tests.

// The header line of a run followed by its empty line.
inline std::string resultsHeader() {
    char buf[256];
    std::snprintf(buf, sizeof buf, "%-8s%-15s%-15s%-15s%-15s%-15s%-15s%-15s%-15s%s\n\n", "Rep#",
                  "My", "TimeToOri", "PopSizeOriTha", "PopSizePreTha", "PopSizeOriSue",
                  "PopSizePreSue", "FracSueMono", "DS", "");
    return buf;
}

// One accepted row: the six drawn values, FracSueMono, then DS.
inline std::string resultsRow(int rep, const std::array<double, 7>& v, double ds) {
    char buf[256];
    std::snprintf(buf, sizeof buf,
                  "%-8d%-15.2e%-15.2e%-15.2e%-15.2e%-15.2e%-15.2e%-15.5f%-15.2e%s\n", rep, v[0],
                  v[1], v[2], v[3], v[4], v[5], v[6], ds, "");
    return buf;
}

// A run of `n` rows in which every column of row i (1-based) is i times the
// column's `scale` and DS is i / 100.
inline std::string resultsRun(int n, const std::array<double, 7>& scale) {
    std::string text = resultsHeader();
    for (int i = 1; i <= n; ++i) {
        std::array<double, 7> v;
        for (int c = 0; c < 7; ++c) v[c] = i * scale[c];
        text += resultsRow(i, v, i / 100.0);
    }
    return text;
}
