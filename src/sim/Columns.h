#pragma once

#include <array>
#include <cstddef>

// The model's named quantities, in the order every file and table keeps them:
// the estimated columns of a simulation and its summary statistics.

// The estimated columns, in the order of a results row between `Rep#` and
// `DS`: the six drawn parameters, then FracSueMono (a share of loci, not
// drawn).
constexpr std::size_t numbDrawnParams = 6;
constexpr std::size_t numbEstimatedColumns = 7;
inline constexpr std::array<const char*, numbEstimatedColumns> estimatedColumnNames = {
    "My",         "TimeToOri", "PopSizeOriTha", "PopSizePreTha", "PopSizeOriSue", "PopSizePreSue",
    "FracSueMono"};

// The multi-step chance P of the generalised stepwise model: a drawn
// parameter only of runs that set its prior (GSM_P_LOWER, GSM_P_UPPER). The
// reference table then has it after the six drawn parameters, the results
// file at the end of each row (after DS).
inline constexpr const char* gsmPColumnName = "GsmP";

// The summary statistics of a reference table, in column order: first the
// twelve core statistics (S and the means over loci), which every table
// holds, then the spread over loci and the shape of the allele-size
// distributions, which tables written before them lack.
constexpr std::size_t numbCoreStats = 12;
constexpr std::size_t numbTableStats = 18;
inline constexpr std::array<const char*, numbTableStats> tableStatNames = {
    "S_sue",     "S_tha",     "NAL_sue",   "NAL_tha",   "HET_sue", "HET_tha",
    "VAR_sue",   "VAR_tha",   "MGW_sue",   "MGW_tha",   "DM2",     "FST",
    "SDHET_sue", "SDHET_tha", "SDVAR_sue", "SDVAR_tha", "GAP_sue", "GAP_tha"};

// The seven estimated columns, in file order between `Rep#` and `DS`.
constexpr std::size_t numbParamColumns = numbEstimatedColumns;
inline constexpr const auto& paramColumnNames = estimatedColumnNames;
constexpr std::size_t fracSueMonoColumn = 6;  // index of FracSueMono in the above

// The estimated columns as the summaries hold them in memory: the seven
// above in every table, then GsmP in a table of a run that drew it. A table
// without GsmP leaves its slot empty; ReferenceTable::numbParams() says how
// many slots are in use, so the summaries' loops and outputs put GsmP last.
constexpr std::size_t numbParamSlots = numbParamColumns + 1;
constexpr std::size_t gsmPSlot = numbParamColumns;  // index of GsmP in the slots
inline constexpr std::array<const char*, numbParamSlots> paramSlotNames = {
    "My",         "TimeToOri", "PopSizeOriTha", "PopSizePreTha", "PopSizeOriSue", "PopSizePreSue",
    "FracSueMono", gsmPColumnName};
