#pragma once

#include <cstdint>
#include <vector>

#include "abc/FeatureMatrix.h"

// Every feature of a training table cut once into at most `maxBins` bins of
// consecutive values (quantile bins; equal values never straddle two bins),
// so that a node's best split is searched among bin boundaries with a
// histogram instead of a sort. A feature with no more distinct values than
// `maxBins` gets one bin per value, and its splits are then exact. Missing
// values (NaN) get the code one past the last bin.
struct Binning {
    std::size_t rows = 0;
    std::vector<std::uint16_t> codes;                  // column-major, like the matrix
    std::vector<std::uint32_t> binCount;               // bins of each feature, NaN excluded
    std::vector<std::vector<double>> lowest, highest;  // per feature, per bin

    const std::uint16_t* column(std::size_t col) const { return codes.data() + col * rows; }
    std::uint32_t nanCode(std::size_t col) const { return binCount[col]; }

    // A threshold t that sends every value of bin `below` and lower left
    // (value <= t) and every value of bin `above` and higher right, halfway
    // between the two bins where doubles allow; +inf when `above` is the
    // NaN code (all present values left, missing ones right).
    double threshold(std::size_t col, std::uint32_t below, std::uint32_t above) const;
};

// Bins every column of x. REQUIRES: 2 <= maxBins <= 65535. `threads` only
// shares the work out; the result does not depend on it.
Binning binFeatures(const FeatureMatrix& x, int maxBins, int threads);
