#pragma once

#include <cstddef>
#include <vector>

#include "abc/FeatureMatrix.h"

// Linear discriminant axes: the eigenvectors of W^-1 B, with W the pooled
// within-class covariance and B the covariance of the class means weighted
// by the class sizes, in decreasing order of eigenvalue. Each axis is scaled
// so that its scores have within-class variance 1 (divisor n - K), and
// signed so that its largest coefficient is positive; scores are those of
// the classical analysis up to the sign of each axis.
struct LdaAxes {
    std::vector<double> centre;                     // the mean row, subtracted first
    std::vector<std::vector<double>> coefficients;  // one vector of p per axis

    std::size_t axes() const { return coefficients.size(); }
    // The scores of a point (p values); NaN where a used feature is NaN.
    std::vector<double> project(const std::vector<double>& point) const;
    // The scores of every row: a rows x axes() matrix.
    FeatureMatrix projectRows(const FeatureMatrix& x) const;
};

// The K - 1 discriminant axes of classes 0..K-1. Rows with a NaN feature
// are left out of the fit. Features of no within-class variance (constant
// within every class), and directions of W that are (numerically) linear
// combinations of others, get no weight instead of an error. Axes beyond the
// rank of B or W are all zero, so there are always K - 1 (scores 0).
// REQUIRES: labels.size() == x.rows, labels in [0, K), K >= 2. Throws
// std::invalid_argument otherwise.
LdaAxes ldaAxes(const FeatureMatrix& x, const std::vector<int>& labels, int classes);
