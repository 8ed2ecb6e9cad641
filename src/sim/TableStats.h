#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "sim/AlleleMatrix.h"

// The statistics of the reference table for one allele matrix, in the order
// of the table's columns. Per locus and population they use the population's
// sampled lines whose value is not missing (n of them):
// - S_*: the run's own statistic S (see SummaryStats.h), summed over loci,
//   bit for bit the value the run uses for its distance;
// - NAL_*: number of distinct allele values (defined where n >= 1);
// - HET_*: unbiased expected heterozygosity n/(n-1) (1 - sum_a p_a^2)
//   (defined where n >= 2);
// - VAR_*: variance of the allele values, denominator n - 1 (n >= 2);
// - MGW_*: distinct values / (largest - smallest + 1) (n >= 1);
// - DM2: (mean of sue - mean of tha)^2 (both n >= 1);
// - FST: 1 - H_S / H_T, H_S the mean of the two HETs, H_T the unbiased
//   heterozygosity of both samples pooled (both HETs defined and H_T > 0).
// All but S are means over the loci where they are defined, in locus order,
// and not a number where they are defined at none. Then, per population, the
// spread over loci and the shape of the allele-size distributions, which the
// means cannot see (loci of different rates; mutations of several repeats):
// - SDHET_*, SDVAR_*: the standard deviation (denominator m - 1) of HET and
//   of VAR over the m loci where these are defined (monomorphic loci count,
//   with 0); not a number where m < 2;
// - GAP_*: the mean over loci of the share of gaps among neighbouring allele
//   values, (number of neighbouring distinct values more than one repeat
//   apart) / (distinct values - 1), over the loci with at least two distinct
//   values. Single steps leave few holes in an allele-size distribution,
//   multi-step mutations many.
struct TableStatistics {
    double S_sue = 0.0;
    double S_tha = 0.0;
    double NAL_sue = 0.0;
    double NAL_tha = 0.0;
    double HET_sue = 0.0;
    double HET_tha = 0.0;
    double VAR_sue = 0.0;
    double VAR_tha = 0.0;
    double MGW_sue = 0.0;
    double MGW_tha = 0.0;
    double DM2 = 0.0;
    double FST = 0.0;
    double SDHET_sue = 0.0;
    double SDHET_tha = 0.0;
    double SDVAR_sue = 0.0;
    double SDVAR_tha = 0.0;
    double GAP_sue = 0.0;
    double GAP_tha = 0.0;

    static constexpr int kCount = 18;
    // The values in column order.
    std::array<double, kCount> values() const {
        return {S_sue,     S_tha,     NAL_sue,   NAL_tha,   HET_sue, HET_tha,
                VAR_sue,   VAR_tha,   MGW_sue,   MGW_tha,   DM2,     FST,
                SDHET_sue, SDHET_tha, SDVAR_sue, SDVAR_tha, GAP_sue, GAP_tha};
    }
};

// The column names, in the order of TableStatistics::values().
const std::array<const char*, TableStatistics::kCount>& tableStatisticNames();

// Where the matrix comes from. Simulated data have no missing values, so every
// value counts (a simulated allele may well be -9) and S is computeSD's.
// Observed data skip -9 and S is computeSD_real's, as the run's S_obs.
enum class AlleleSource { kSimulated, kObserved };

// Working storage of tableStatistics, kept between calls so that a call
// allocates nothing once the storage has grown to the largest locus seen.
// One per thread; its contents mean nothing to the caller.
struct TableStatsScratch {
    struct Distinct {
        int64_t offset;  // allele value minus the locus's smallest value
        int32_t sue;     // lines of each population with that value
        int32_t tha;
    };
    std::vector<int32_t> countSue;  // per offset; all zero between calls
    std::vector<int32_t> countTha;
    std::vector<int32_t> sortedSue;  // for loci whose values lie far apart
    std::vector<int32_t> sortedTha;
    std::vector<Distinct> distinct;  // the locus's values in ascending order (a prefix)
    std::vector<double> hetOf[2];    // per population, HET of each locus where defined
    std::vector<double> varOf[2];    // and VAR
};

// The statistics of `alleleMatrix`: rows 0..numbLoci-1, each with the
// `sueLines` sue values first, then the `thaLines` tha values. Computes S with
// computeSD or computeSD_real according to `source` (which allocate their
// own working storage on every call). Reads the matrix only.
TableStatistics tableStatistics(const AlleleMatrix& alleleMatrix, int sueLines, int thaLines,
                                int numbLoci, AlleleSource source, TableStatsScratch& scratch);

// The same with S supplied: `S` must be what computeSD (or, for observed data,
// computeSD_real) returned for this matrix. The run has already computed it
// for the distance and need not compute it twice.
TableStatistics tableStatistics(const AlleleMatrix& alleleMatrix, int sueLines, int thaLines,
                                int numbLoci, AlleleSource source, const std::array<double, 2>& S,
                                TableStatsScratch& scratch);
