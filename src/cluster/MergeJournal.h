#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The journal of a merge (OUTFILE.merge-journal) and the lock that keeps a
// second merge of the same results file out.
//
// The journal file is the lock: a merge opens it (creating it empty), takes an
// exclusive flock on it before it reads, writes or removes anything, and
// holds it to its end; a merge that finds it held is refused. The record is
// written in place under the lock and ends in a checksum, so a record cut by
// a crash or edited by hand reads as damaged, never as another record.
//
// The record ties the journal to the merge it belongs to: the run (seed,
// shard count, settings fingerprint), a hash and the length of the bytes the
// merge appends, where they begin in the results file, whether they are all
// there, and the identity on disk of each shard file merged. So a journal
// left by an earlier merge of other shards is recognised as foreign.
struct JournalRecord {
    uint64_t seed = 0;
    int count = 0;  // M
    uint64_t fingerprint = 0;
    uint64_t bytesHash = 0;  // FNV-1a of the rows appended (the line end before them excluded)
    long long start = 0;     // size of the results file when the merge began
    int lead = 0;            // 1 when the merge begins with a line end after a cut row
    long long length = 0;    // bytes appended, that line end included
    bool complete = false;
    std::vector<uint64_t> files;  // identity of shard file K at index K - 1

    // Whether `other` records a merge of the same rows of the same run.
    bool sameRows(const JournalRecord& other) const {
        return seed == other.seed && count == other.count && fingerprint == other.fingerprint &&
               bytesHash == other.bytesHash && length - lead == other.length - other.lead;
    }
};

class MergeJournal {
  public:
    // Opens `path` (creating it empty when missing) and tries to lock it.
    // Ends the process with "error: merge: cannot write PATH" when it cannot
    // be opened or is not a regular file.
    explicit MergeJournal(std::string path);
    ~MergeJournal();
    MergeJournal(const MergeJournal&) = delete;
    MergeJournal& operator=(const MergeJournal&) = delete;

    // False when another merge holds the journal: nothing may be done then.
    bool held() const { return fd_ >= 0; }

    enum class Content { none, damaged, record };
    // What the journal holds: nothing (a merge that wrote no record), a
    // record that fails its checks, or a record (into `record`).
    Content read(JournalRecord& record) const;

    // Replaces the record and syncs it to the disk; a failure ends the
    // process with "error: merge: cannot write PATH".
    void write(const JournalRecord& record);

    // Removes the journal file (the lock is held until destruction), or
    // names it in a note (removeOrNote).
    void remove();

    // Removes the journal file if it holds no record (this merge stops
    // before it wrote one), so a refused merge leaves nothing behind.
    void removeIfEmpty();

    const std::string& path() const { return path_; }

  private:
    std::string path_;
    int fd_ = -1;
};

// Removes the file `path` that a merge has done with; one that cannot be
// removed (one already gone is fine) is named in a note on standard output,
// and the merge goes on: its results are complete.
void removeOrNote(const std::string& path);
