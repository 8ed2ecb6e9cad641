#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "cluster/ShardFile.h"
#include "run/ObservedStats.h"
#include "run/RunSink.h"
#include "sim/ModelVersion.h"
#include "sim/Params.h"

// A seeded run split into M shards (for example the tasks of a cluster job
// array): shard K runs the K-th of M contiguous ranges of simulation numbers
// and writes what it found to a shard file beside the results file; the merge
// then appends to the results file exactly the bytes that one seeded run would
// have appended, and writes the reference table that it would have written.

// The simulations first .. last - 1 of shard K of M, for `repeats` in all.
struct ShardRange {
    int64_t first;
    int64_t last;
};
ShardRange shardRange(int64_t repeats, int K, int M);

// What identifies one split run: shards of one run agree on all of it.
struct ShardRun {
    uint64_t seed = 0;
    int count = 0;             // M
    uint64_t fingerprint = 0;  // settings, observed data, model and table name
    ModelVersion model = ModelVersion::current;
    std::string table;  // reference table to write at the merge; empty for none
    // The run draws GsmP (the settings give its prior): its rows carry it.
    // Not in the shard file's header: the merge has the settings, and the
    // fingerprint tells that every shard was run with them.
    bool withGsmP = false;
};

// A fingerprint of everything that decides what a seeded run writes, apart
// from its seed: every setting, the observed statistics, the model version,
// the table's name and, when there is a table, its observed statistics line.
uint64_t runFingerprint(const params& settings, const ObservedStatistics& observed,
                        ModelVersion model, const std::string& table,
                        const std::string& observedTableLine);

// Shard file of shard K of M of the results file `outfile`.
std::string shardPath(const std::string& outfile, int K, int M);

// Writes one shard. It is written under the name of the shard file plus
// ".partial" and renamed to the shard file only when complete, so a shard that
// is killed or fails never passes for a complete one, and a shard run again
// replaces its earlier attempt whole. The unfinished file is locked while it
// is written, so that a merge can tell a running shard from a killed one; a
// shard is refused while a merge of its results file runs. Errors end the
// process through fail().
class ShardWriter : public RunSink {
  public:
    ShardWriter(const std::string& outfile, int K, const ShardRun& run, ShardRange range);
    ~ShardWriter() override;
    ShardWriter(const ShardWriter&) = delete;
    ShardWriter& operator=(const ShardWriter&) = delete;

    bool wantsTable() const override { return !run_.table.empty(); }

    // Ends the shard: writes its closing line, syncs and renames it.
    void finish();

  protected:
    void consume(int64_t sim, const RepeatResult& result) override;

  private:
    void writePending();

    std::string path_;
    std::string partial_;
    ShardRun run_;
    ShardRange range_;
    int fd_ = -1;
    std::string pending_;
    Fnv checksum_;
    int64_t rows_ = 0;
    int64_t consumed_ = 0;
};

// Joins the shards of the results file `outfile`: finds every shard file,
// checks that they are complete, that each of 1..M is there once, and that
// all come from one run whose settings and observed data are these (their
// fingerprint, for the shards' model and table, is `fingerprintFor`); then
// writes the reference table when the run had one, appends the rows to the
// results file numbered as one run numbers them, and removes the shard files.
//
// Nothing is written or removed before every lock is held and every check is
// made: the merge journal (OUTFILE.merge-journal), which keeps a second merge
// out, then the results file, then the shards read whole and checked. Only
// then is `describe` called with the run the shards came from (the caller
// prints the run's settings with its seed and writes the files that go with
// the table; it returns their names). Each shard is read again for writing,
// and checked again as it is read; every output is synced before the first
// shard file is removed. When the run had a table, `tableComplete` is called
// once the table and the files beside it are synced, before the shards go,
// while the table is still held (the caller marks it complete).
//
// A merge that was interrupted resumes where it stopped: the journal records
// the run, where the merge's bytes began and how many there are, and a rerun
// checks the bytes already appended and appends only the rest. Without a
// journal (lost or damaged) the merge recognises its own bytes at the end of
// the results file in the same way. A journal of a merge of other shards
// never removes these. Every refusal prints "error: merge: ..." and ends the
// process with status 1, the shard files kept.
void mergeShards(const std::string& outfile, bool withGsmP,
                 const std::function<uint64_t(ModelVersion, const std::string&)>& fingerprintFor,
                 const std::function<std::vector<std::string>(const ShardRun&)>& describe,
                 const std::function<void(const ShardRun&)>& tableComplete);
