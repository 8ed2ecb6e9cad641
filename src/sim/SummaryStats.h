#pragma once

#include <array>

#include "sim/AlleleMatrix.h"

// The summary statistic S of one population: for each locus, the mean
// absolute difference in allele value over all pairs of lines of that
// population, summed over the loci. Groups: positions [0, sueLines) are the
// `sue` lines, [sueLines, totalLines) the `tha` lines; pairs never mix them.
// Both functions return {S of sue, S of tha}, read `alleleMatrix` only, and
// sum loci in ascending order and pairs (j, k > j) in ascending order.

// For simulated data: every value is used. A group of fewer than two lines
// has no pairs, and its S is then not a number (0 / 0).
std::array<double, 2> computeSD(const AlleleMatrix& alleleMatrix, int totalLines, int sueLines,
                                int numbLoci);

// For observed data: pairs holding a missing value (-9) are skipped, and a
// locus without any usable pair in a group adds nothing to that group.
std::array<double, 2> computeSD_real(const AlleleMatrix& alleleMatrix, int totalLines, int sueLines,
                                     int numbLoci);
