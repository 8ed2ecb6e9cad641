#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "sim/Params.h"
#include "sim/PriorBounds.h"

// The priors file beside a reference table: the prior of each drawn
// parameter, as a table of `parameter distribution lower upper`.

// The file beside the table `tablePath`: its name without a trailing ".gz",
// then ".priors.tsv".
std::string priorsPath(const std::string& tablePath);

// The priors file: the priors, and whether the table beside it is complete.
// A run writes the file before its first row; when the table is complete
// (closed and synced) the file is replaced by one that ends in the line
// "# complete: N simulations", N the table's rows. A table whose priors file
// lacks that line belongs to a run that was killed or failed, or is running.
struct PriorsFile {
    TablePriors priors{};
    bool complete = false;
    long long simulations = 0;  // rows of the complete table
};

// The priors file's text: the header `parameter distribution lower upper`,
// then one row per drawn parameter in column order, tab-separated, with
// `uniform` or `log-uniform` and the bounds as table numbers; then, when
// `file.complete`, the closing line.
std::string formatPriors(const PriorsFile& file);

// Reads a priors file's text. The rows may come in any order but must name
// each drawn parameter once, with finite bounds, lower below upper, and a
// positive lower bound when log-uniform; a closing line, if any, comes last.
// On failure returns false with the problem (naming its line) in `error`.
bool parsePriors(std::string_view text, PriorsFile& file, std::string& error);

// The priors that the settings `p` draw the parameters from: uniform on the
// natural scale, or log-uniform when PRIOR_DISTRIBUTION is 1 (the bounds are
// then log10 values, written here as 10 to them, as the draws make them).
TablePriors tablePriors(const params& p);

// Writes (truncating) the priors file beside table `tablePath` (priorsPath),
// without the closing line of a complete table, and syncs it. Fails with
// "error: table: cannot write NAME" (NAME the priors file).
void writePriors(const std::string& tablePath, const params& p);

// Marks the table `tablePath` complete, with `simulations` rows: replaces its
// priors file by the same priors and the closing line. The new text is
// written beside it (priorsTemporaryPath) and synced, then renamed over the
// old file, and the folder is synced, so that a kill at any moment leaves
// either the old file or the new one. Call only once the table itself is
// closed and synced: the closing line promises the rows are on the disk.
// Fails like writePriors.
void completePriors(const std::string& tablePath, const params& p, long long simulations);

// The temporary of completePriors: the priors file's name plus ".new".
std::string priorsTemporaryPath(const std::string& tablePath);

// The priors file beside table `tablePath`, as read by a summary: `found`
// false when there is none (a table written before the file existed);
// `error` names the file when it is there but cannot be read or parsed.
struct PriorsRead {
    bool found = false;
    PriorsFile file;
    std::string error;
};
PriorsRead readPriorsBeside(const std::string& tablePath);

// Why a table of `rows` rows read from `tablePath` cannot be taken as whole:
// its priors file lacks the closing line (the run that wrote it was killed,
// failed or is still running) or counts other rows; "" when the table is
// complete or has no priors file.
std::string incompleteTable(const std::string& tablePath, const PriorsRead& read,
                            std::size_t rows);
