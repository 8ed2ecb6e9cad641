#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "io/TableFormat.h"
#include "sim/Columns.h"
#include "sim/SimulationTable.h"

// A sample of parameter sets to simulate from, such as the posterior sample
// that `foundabc-summary --table FILE --sample OUT` writes: a tab-separated
// table whose header names a `weight` column and the six drawn parameters
// (My, TimeToOri, PopSizeOriTha, PopSizePreTha, PopSizeOriSue, PopSizePreSue),
// and, after a regression adjustment, the same six with `_adj` appended.
// Other columns are ignored, and so are blank lines. The adjusted columns are
// used when present: they are the posterior, the plain ones only the
// accepted prior draws. A sample of a table that holds GsmP has a column
// GsmP (and GsmP_adj after an adjustment of it, used when present).
struct SampleRows {
    std::vector<std::array<double, numbDrawnParams>> values;  // per row, in column order
    std::vector<double> weights;                              // per row, >= 0
    bool adjusted = false;                                    // values come from the `_adj` columns
    bool hasGsmP = false;     // the sample has GsmP: gsmP holds it, one per row
    std::vector<double> gsmP;
    std::size_t positive = 0;                                 // rows of positive weight
    uint64_t fingerprint = 0;  // sampleTextFingerprint of the text read
};

// A fingerprint of a sample's text (decompressed): what a predictive table
// records of the sample it was drawn from, and what ties a sample to the
// record of its origin.
uint64_t sampleTextFingerprint(std::string_view text);

// The record, in a file beside a sample, of the table the sample came from.
// It lives beside the sample rather than in it so that the sample stays a
// plain table for R's read.delim and pandas. `known` is false when the
// table carried no record of its own settings and data (a table written
// before the record existed).
struct SampleOrigin {
    std::string table;    // the table's name as given to foundabc-summary
    uint64_t sample = 0;  // sampleTextFingerprint of the sample it describes
    bool known = false;
    uint64_t settings = 0;  // the table's settingsFingerprint (PriorsFile.h)
    uint64_t data = 0;      // the table's dataFingerprint
};

// The record's file beside the sample `samplePath`: its name plus ".origin".
std::string sampleOriginPath(const std::string& samplePath);

// The record's text: a comment line, then tab-separated `key value` lines
// `table NAME`, `sample HEX` and, when known, `settings HEX` and `data HEX`.
std::string formatSampleOrigin(const SampleOrigin& origin);

// Reads the record beside the sample `samplePath`. Returns "" and sets
// `present` false when there is none; "" with `origin` filled when it reads;
// otherwise the problem. Lines of other keys are skipped.
std::string readSampleOrigin(const std::string& samplePath, SampleOrigin& origin, bool& present);

// Reads a sample's text (`name` only names it in messages). Returns "" on
// success; otherwise the problem, naming its line where it has one: line ends
// of carriage returns alone, a missing
// or doubled column, some but not all six adjusted columns, a row with
// another number of fields than the header, a weight or used value that is
// not a finite number, a negative weight, no row of positive weight, or a row
// of positive weight whose values the model cannot simulate (see
// ParameterSet.h), or whose GsmP lies outside [0, 0.95). Rows of weight 0 are
// never drawn and so need no more than finite values.
std::string parseSampleText(std::string_view text, const std::string& name, SampleRows& rows);

// Reads the sample file at `path`, plain or gzip-compressed, by
// parseSampleText; a file that cannot be read, and a compressed stream cut
// short or damaged, are problems too.
std::string readSampleFile(const std::string& path, SampleRows& rows);

// A sample's text: the header `sim` and `names`, then one row per entry of
// `sims`, with column k's value of that row (`columns[k][row]`, each column
// as long as `sims`) as a table number. The estimates write their posterior
// samples through this, so that parseSampleText reads them back.
std::string formatSample(const std::vector<long>& sims, const std::vector<std::string>& names,
                         const std::vector<const std::vector<double>*>& columns);

// The sample of a weighted table: its rows of positive weight, each with its
// `sim`, its weight and its parameter columns, GsmP last when the table has
// it (formatSample's text).
std::string formatWeightedRows(const ReferenceTable& table, const std::vector<double>& weights);
