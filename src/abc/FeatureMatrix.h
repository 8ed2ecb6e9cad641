#pragma once

#include <cstddef>
#include <vector>

// A table of features, one column per statistic, stored column by column:
// the value of row r in column c is values[c * rows + r]. NaN marks a
// missing value.
struct FeatureMatrix {
    std::size_t rows = 0, cols = 0;
    std::vector<double> values;

    double at(std::size_t row, std::size_t col) const { return values[col * rows + row]; }
    const double* column(std::size_t col) const { return values.data() + col * rows; }
};
