#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sim/ModelVersion.h"
#include "sim/Params.h"
#include "sim/PriorBounds.h"
#include "sim/Columns.h"

// The priors file beside a reference table: the prior of each drawn
// parameter, as a table of `parameter distribution lower upper`.

// The file beside the table `tablePath`: its name without a trailing ".gz",
// then ".priors.tsv".
std::string priorsPath(const std::string& tablePath);

// What made a reference table, so that each command can check that a table or
// a sample made from it is what it needs: a table drawn from the priors is
// what estimates rest on, one drawn from a posterior sample (`foundabc
// --from-sample`) what the predictive check rests on, and a sample only fits
// runs of the settings and data of the table it came from. Files written
// before the record existed have none: `known` is false for them. A record
// that is there but cannot be read, or contradicts itself, is `unclear`: the
// table may have been drawn from a sample, so it is never taken for one
// drawn from the priors.
enum class TableSource { unknown, prior, sample, unclear };
struct TableProvenance {
    TableSource source = TableSource::unknown;
    uint64_t sample = 0;    // the sample's fingerprint (sampleTextFingerprint), for `sample`
    bool known = false;     // settings and data below were recorded
    uint64_t settings = 0;  // settingsFingerprint of the run
    uint64_t data = 0;      // dataFingerprint of its observed statistics
};

// Whether a table's rows may be taken for draws from its priors: not when
// its record says a sample made it, nor when the record is unclear.
inline bool drawnFromPriors(const TableProvenance& made) {
    return made.source == TableSource::prior || made.source == TableSource::unknown;
}

// A fingerprint of the settings that decide what a table's rows are: the
// model version, sample sizes, loci, ALPHA, the prior bounds and their
// distribution, the founding options. Names of files, REPEATS and EPSILON are
// left out: a predictive run of the same model may use other ones.
uint64_t settingsFingerprint(const params& p, ModelVersion model);

// A fingerprint of the observed data: the line of observed statistics that
// the run writes beside its table (ObservedFile).
uint64_t dataFingerprint(const std::string& observedLine);

// The line of observed statistics whose dataFingerprint a run records: each
// core statistic's value (the first numbCoreStats) as a table number
// followed by a tab. The later statistics are functions of the same data and
// are left out, so that the record names the same data in tables written
// with or without them. Values read back from an observed-statistics file
// give the line they were written from, so dataFingerprintOf tells whether a
// file still holds a run's data.
std::string observedValuesLine(const std::array<double, numbTableStats>& values);
uint64_t dataFingerprintOf(const std::array<double, numbTableStats>& values);

// `value` as 16 lower-case hex digits, as the fingerprints are written;
// parseFingerprint reads them back (false unless exactly that).
std::string fingerprintText(uint64_t value);
bool parseFingerprint(std::string_view text, uint64_t& value);

// The priors file: the priors, and whether the table beside it is complete.
// A run writes the file before its first row; when the table is complete
// (closed and synced) the file is replaced by one that ends in the line
// "# complete: N simulations", N the table's rows. A table whose priors file
// lacks that line belongs to a run that was killed or failed, or is running.
struct PriorsFile {
    TablePriors priors{};
    // The prior of GsmP (uniform) in the file of a run that drew it.
    bool hasGsmP = false;
    ParameterPrior gsmP{};
    bool complete = false;
    long long simulations = 0;  // rows of the complete table
    TableProvenance provenance;
    // What is missing from the record of what made the table, or where it
    // contradicts itself or cannot be read, each naming its line where it has
    // one; the readers show them as warnings.
    std::vector<std::string> warnings;
};

// The priors file's text: the header `parameter distribution lower upper`,
// then one row per drawn parameter in column order (GsmP after the six when
// the run drew it; its bounds may be equal), tab-separated, with
// `uniform` or `log-uniform` and the bounds as table numbers; then, when the
// provenance is known, "# made from: prior" or "# made from: sample HEX",
// "# settings: HEX" and "# data: HEX"; then, when `file.complete`, the
// closing line. The `#` lines keep the file a table for readers that skip
// comments (R's read.delim with comment.char = "#", pandas' comment="#").
std::string formatPriors(const PriorsFile& file);

// Reads a priors file's text. The rows may come in any order but must name
// each drawn parameter once, with finite bounds, lower below upper, and a
// positive lower bound when log-uniform; a closing line, if any, comes last.
// The provenance lines are read when present (a file written before them
// has none); other lines beginning with '#' are skipped, but for a line that
// begins, in any case, with "# made from" written otherwise than this
// program writes it. Such a line, a value of '# made from:' that cannot be
// read, two of them that disagree, or '# settings:' and '# data:' without
// '# made from:', make the source `unclear`; a record missing its settings
// or data keeps its source but is not `known`. Each adds to `warnings`.
// On failure returns false with the problem (naming its line) in `error`.
bool parsePriors(std::string_view text, PriorsFile& file, std::string& error);

// The priors that the settings `p` draw the parameters from: uniform on the
// natural scale, or log-uniform when PRIOR_DISTRIBUTION is 1 (the bounds are
// then log10 values, written here as 10 to them, as the draws make them).
TablePriors tablePriors(const params& p);

// Writes (truncating) the priors file beside table `tablePath` (priorsPath),
// without the closing line of a complete table, and syncs it. Fails with
// "error: table: cannot write NAME" (NAME the priors file).
void writePriors(const std::string& tablePath, const params& p, const TableProvenance& provenance);

// Marks the table `tablePath` complete, with `simulations` rows: replaces its
// priors file by the same priors and the closing line. The new text is
// written beside it (priorsTemporaryPath) and synced, then renamed over the
// old file, and the folder is synced, so that a kill at any moment leaves
// either the old file or the new one. Call only once the table itself is
// closed and synced: the closing line promises the rows are on the disk.
// A priors name that is a symbolic link stays one: the file it leads to is
// replaced, from a temporary beside that file. Fails like writePriors.
void completePriors(const std::string& tablePath, const params& p,
                    const TableProvenance& provenance, long long simulations);

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
