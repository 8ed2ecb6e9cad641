#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "io/TableClaim.h"
#include "io/TableFormat.h"
#include "sim/Params.h"
#include "sim/SimulationTable.h"
#include "sim/TableStats.h"

// The reference table: one tab-separated row per simulation, accepted or
// not, under one header line:
//   sim, the six parameters (results file names), FracSueMono, the
//   statistics of TableStatistics, DS, accepted.
// A table written before the spread and shape statistics lacks them (12
// statistics instead of 18); it is read with them not a number, and
// ReferenceTable::numbStats says so.
// `sim` is a decimal integer, `accepted` 0 or 1; every other value is the
// shortest decimal text that reads back as the same double, with not-a-number
// written NaN and the infinities Inf and -Inf.

// Appends one row, "\n" included, to `out`. `params` in the results file's
// order: My, TimeToOri, PopSizeOriTha, PopSizePreTha, PopSizeOriSue,
// PopSizePreSue. Any thread may format rows; only the writer's owner writes.
// `gsmP`, when given, is written after the six parameters (a table whose
// header has GsmP).
void appendTableRow(std::string& out, int64_t sim, const std::array<double, 6>& params,
                    double fracSueMono, const TableStatistics& stats, double DS, bool accepted,
                    const double* gsmP = nullptr);

// The same row as a string of its own.
std::string formatTableRow(int64_t sim, const std::array<double, 6>& params, double fracSueMono,
                           const TableStatistics& stats, double DS, bool accepted);

// Writes the table to one file, owned by one thread. The constructor takes
// the table's lock (TableLock: a table that another live run holds ends this
// run with a message before anything is written), then creates or truncates
// the file and writes the header; the lock is held until the writer is
// destroyed, also after close(); a name ending in ".gz" is
// written gzip-compressed through zlib (fastest level), the same text as
// without it.
//
// Rows are kept in memory and handed on in whole blocks: as soon as at least
// `blockBytes` of text are waiting (64 KiB by default, about 150 rows), they
// go to the system in one piece, and a compressed file is then flushed to a
// sync point (Z_SYNC_FLUSH). So a process killed at any moment leaves a file
// whose complete rows, up to the last block, read back with gzip -dc (which
// reports the missing end); at most the rows of the block being collected are
// lost. A write that fails ends the run through fail() with
// "error: table: cannot write NAME"; in a plain file a partly written block is
// taken back first, so the file keeps only whole rows.
class ReferenceTableWriter {
  public:
    static constexpr std::size_t kDefaultBlockBytes = 64 * 1024;

    // `withGsmP`: the header has the GsmP column (rows must then carry it).
    explicit ReferenceTableWriter(std::string path, std::size_t blockBytes = kDefaultBlockBytes,
                                  bool withGsmP = false);
    ~ReferenceTableWriter();  // close()
    ReferenceTableWriter(ReferenceTableWriter&& other) noexcept;
    ReferenceTableWriter& operator=(ReferenceTableWriter&& other) noexcept;
    ReferenceTableWriter(const ReferenceTableWriter&) = delete;
    ReferenceTableWriter& operator=(const ReferenceTableWriter&) = delete;

    // Formats and adds one row (see appendTableRow).
    void writeRow(int64_t sim, const std::array<double, 6>& params, double fracSueMono,
                  const TableStatistics& stats, double DS, bool accepted);

    // Adds rows formatted already: zero or more whole rows, each ending in
    // "\n" (for example the part of a table that another process wrote).
    void writeRows(std::string_view rows);

    // Hands every waiting row to the system now, with a sync point when
    // compressed.
    void flush();

    // Flushes, ends the compressed stream, forces the file to the disk (fsync)
    // and closes it; a failure of any step fails the run with the message
    // above. Later calls, and the destructor after it, do nothing.
    void close();

    const std::string& path() const { return path_; }

  private:
    void writeBlock(std::string_view block);
    [[noreturn]] void failWrite();

    std::string path_;
    TableLock lock_;  // taken before the file is truncated
    std::size_t blockBytes_;
    std::string pending_;            // rows not yet handed on
    int fd_ = -1;                    // plain file, or -1
    struct gzFile_s* gz_ = nullptr;  // compressed file (zlib's gzFile), or null
    int gzFd_ = -1;                  // a second descriptor of the compressed file, to sync it
    int64_t written_ = 0;            // bytes of a plain file known to be complete
};

// Outcome of reading a table. `error` is empty on success; on error `table`
// is empty. `warnings` name lines that were left out (a last row cut short).
struct TableRead {
    ReferenceTable table;
    std::vector<std::string> warnings;
    std::string error;
};

// Reads the table at `path`, plain or gzip-compressed (recognised by its
// content, not its name). The header must hold exactly the 28 columns of a
// reference table in their order, or the 22 of an older one (without the
// spread and shape statistics); either may have GsmP after PopSizePreSue (a
// run of the generalised stepwise model: the table then has its GsmP). A row
// with the wrong number of fields, a token that is not a number (NaN, Inf and
// -Inf are numbers), a parameter that is not finite, or a bad `sim` or
// `accepted` field is an error naming its line. A last line without its line
// end (a run killed while writing) is left out with a warning, and so is the
// rest of a gzip file that ends early. Blank lines are ignored. Messages
// start with `path`.
TableRead readReferenceTable(const std::string& path);
