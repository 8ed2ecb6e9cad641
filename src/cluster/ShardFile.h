#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/Fnv.h"
#include "sim/ModelVersion.h"

struct stat;

// The shard file's format and its reading. A shard file is text:
//
//   foundabc-shard 2
//   seed S / shard K M / range FIRST LAST / fingerprint HEX / model NAME /
//   table NAME / data          (one line each)
//   R<TAB>sim<TAB>values...    an accepted simulation's results row
//   T<TAB>table row            a simulation's reference-table row
//   end CONSUMED ROWS CHECKSUM
//
// CHECKSUM is the 64-bit FNV-1a hash of every byte before the closing line,
// header included, so that no line of the file can be edited without the
// merge noticing.

inline constexpr const char* kShardMagic = "foundabc-shard 2";
// The first line of shard files written by earlier versions.
inline constexpr const char* kShardMagicV1 = "foundabc-shard 1";

// Bytes a shard or a merge gathers before each write.
inline constexpr std::size_t kShardBlock = 1 << 20;

// Whether a process holds an flock on the file `path` (a shard being
// written holds its unfinished file, a merge its journal). A file that
// cannot be opened is not.
bool lockedByOther(const std::string& path);

// `value` as 16 lower-case hex digits.
std::string hex64(uint64_t value);

// A hash of a file's identity on disk (device, inode, size, modification and
// change times): the same file, unchanged, keeps it; a file written anew under
// the same name almost surely gets another.
uint64_t fileIdentity(const struct stat& info);

// What the header of a shard file says.
struct ShardHeader {
    uint64_t seed = 0;
    int K = 0;
    int M = 0;
    int64_t first = 0;  // simulations first .. last - 1
    int64_t last = 0;
    uint64_t fingerprint = 0;
    ModelVersion model = ModelVersion::current;
    std::string table;
};

// The header's text, from the magic line to "data\n".
std::string shardHeaderText(const ShardHeader& header);

// Reads one shard file from its start to its closing line, checking as it
// goes. It opens the file without blocking and only when it is a regular file
// (a FIFO or a device named like a shard is refused, never waited on); every
// open and read is checked; and at the closing line the row count, the number
// of simulations and the checksum over the whole file must match. Any fault
// stops the reading with a reason (problem()), worded to follow the shard's
// name: "is incomplete", "is damaged (...)", "cannot be read (...)".
class ShardReader {
  public:
    explicit ShardReader(const std::string& path);
    ~ShardReader();
    ShardReader(const ShardReader&) = delete;
    ShardReader& operator=(const ShardReader&) = delete;

    // Empty while everything read so far is sound.
    const std::string& problem() const { return problem_; }
    const ShardHeader& header() const { return header_; }
    // fileIdentity of the file as opened.
    uint64_t identity() const { return identity_; }

    // The next data line: `kind` 'R' or 'T' and `line` without the kind, its
    // tab and the line end. False at the closing line, once it has been
    // checked, or at a problem; so a loop over next() has read a complete,
    // sound shard exactly when problem() is empty afterwards.
    bool next(char& kind, std::string& line);

    // Accepted rows, once next() has returned false without a problem.
    int64_t rows() const { return rows_; }

  private:
    bool readLine(std::string& line);
    bool stop(const std::string& why);

    int fd_ = -1;
    std::string problem_;
    ShardHeader header_;
    uint64_t identity_ = 0;
    Fnv checksum_;
    int64_t rows_ = 0;
    bool ended_ = false;
    bool eof_ = false;
    std::string buffer_;
    std::size_t pos_ = 0;
};
