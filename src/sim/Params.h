#pragma once

#include <cstdint>

// The run's settings, one field per key of the parameter file (the field name
// is the key in lower case). Filled once by readInfile and read-only after
// that; the entry point owns the single record for the whole run.
// Unset fields keep the defaults below (-1, -1.0, or an empty name).
class params {
  public:
    params() = default;
    params(const params&) = delete;
    params& operator=(const params&) = delete;

    char datafile_name[30] = {};  // zero-terminated, at most 29 characters
    char outfile_name[30] = {};
    int32_t number_of_tha_lines = -1;
    int32_t number_of_sue_lines = -1;
    int32_t number_of_loci = -1;
    double alpha = -1.0;
    double my_lower = -1.0;
    double my_upper = -1.0;
    double time_to_origin_lower = -1.0;
    double time_to_origin_upper = -1.0;
    double popsize_origin_tha_lower = -1.0;
    double popsize_origin_tha_upper = -1.0;
    double popsize_present_tha_lower = -1.0;
    double popsize_present_tha_upper = -1.0;
    double popsize_origin_sue_lower = -1.0;
    double popsize_origin_sue_upper = -1.0;
    double popsize_present_sue_lower = -1.0;
    double popsize_present_sue_upper = -1.0;
    int32_t prior_distribution = -1;
    int32_t repeats = -1;
    double epsilon = -1.0;
    int32_t conditional_number_of_origins = -1;
    double unequal_founding_fractions = -1.0;

    // The optional keys of the mutation model. They are read wherever they
    // stand among the lines read and do not count among the assignments above,
    // so a file without them is read exactly as before. `*_set` records that
    // the file gives the key (its value may be anything, even out of range).
    double gsm_p_lower = 0.0;
    double gsm_p_upper = 0.0;
    double locus_rate_shape = 0.0;
    bool gsm_p_lower_set = false;
    bool gsm_p_upper_set = false;
    bool locus_rate_shape_set = false;

    // Multi-step mutations are modelled: both GSM_P keys are given.
    bool hasGsm() const { return gsm_p_lower_set && gsm_p_upper_set; }
    // Loci draw their own rates: LOCUS_RATE_SHAPE is given and above 0.
    bool hasLocusRates() const { return locus_rate_shape_set && locus_rate_shape > 0.0; }
    // Any key of the mutation model is given.
    bool hasMutationKeys() const {
        return gsm_p_lower_set || gsm_p_upper_set || locus_rate_shape_set;
    }
};
