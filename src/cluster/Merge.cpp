// The writing of a merge (mergeShards in Shards.h): once planMerge has held
// every lock and made every check, the table, the results rows and the
// journal are written and synced, and only then the shard files removed.
#include <unistd.h>

#include <cstdio>
#include <optional>

#include "base/Fail.h"
#include "cluster/MergeJournal.h"
#include "cluster/MergePlan.h"
#include "cluster/Shards.h"
#include "io/ReferenceTable.h"
#include "io/ResultsFile.h"
#include "io/SyncFile.h"

namespace {

// The tidying up: removes the shard files that are still those merged
// (a shard run again meanwhile is kept), unfinished ones that no running
// shard holds, and the journal.
void removeShards(const std::string& outfile, const ShardNames& names,
                  const std::vector<uint64_t>& merged, MergeJournal& journal) {
    for (const auto& [M, byK] : names.complete)
        for (const auto& [K, path] : byK)
            if (M == static_cast<int>(merged.size()) && identityOf(path) == merged[K - 1])
                removeOrNote(path);
            else
                std::printf("note: %s was not merged and is kept\n", path.c_str());
    for (const auto& [K, M] : names.partial) {
        const std::string path = shardPath(outfile, K, M) + ".partial";
        if (!lockedByOther(path)) removeOrNote(path);
    }
    journal.remove();
}

}  // namespace

void mergeShards(const std::string& outfile, bool withGsmP,
                 const std::function<uint64_t(ModelVersion, const std::string&)>& fingerprintFor,
                 const std::function<std::vector<std::string>(const ShardRun&)>& describe,
                 const std::function<void(const ShardRun&)>& tableComplete) {
    // The journal is the lock between merges: held before anything is read.
    MergeJournal journal(outfile + ".merge-journal");
    const std::string& journalPath = journal.path();
    if (!journal.held())
        fail("error: merge: another merge of the shards of " + outfile + " is running (it holds " +
             journalPath + "); let it end\n");

    MergePlan plan;
    planMerge(outfile, journal, fingerprintFor, plan);
    if (plan.alreadyMerged) {
        removeShards(outfile, plan.names, plan.mine.files, journal);
        std::printf("merge of %s already complete; shard files removed\n", outfile.c_str());
        return;
    }
    const ShardRun& run = plan.run;
    JournalRecord& mine = plan.mine;
    std::optional<ResultsWriter>& results = plan.results;
    const std::vector<ShardFile>& shards = plan.shards;
    const long long have = plan.have;

    // Every lock is held and every check made: the outputs are written now,
    // the table first, so that whatever the table's writer must hold it
    // holds before the files beside the table are written.
    std::optional<ReferenceTableWriter> table;
    if (!run.table.empty())
        table.emplace(run.table, ReferenceTableWriter::kDefaultBlockBytes, withGsmP);
    const std::vector<std::string> described = describe(run);
    journal.write(mine);
    if (results) results->continueInterruptedAppend();
    long long skip = have;
    auto append = [&](const std::string& block) {
        if (skip >= static_cast<long long>(block.size())) {
            skip -= static_cast<long long>(block.size());
            return;
        }
        results->appendBlock(block.substr(static_cast<size_t>(skip)));
        skip = 0;
    };
    if (mine.lead) append("\n");
    const std::string why = readShards(
        shards,
        [&](const std::string& row) {
            if (table) table->writeRows(row);
        },
        append);
    if (!why.empty())
        fail("error: merge: " + why +
             " when read again; the shard files are kept: merge again (and run that shard again "
             "if it stays so)\n");

    // Everything stored before the first shard file goes.
    if (results) {
        results->sync();
        results->close();
    }
    std::vector<std::string> written = described;
    if (table) {
        table->close();
        written.push_back(run.table);
    }
    for (const std::string& path : written)
        if (!syncFile(path) || !syncFolderOf(path))
            fail("error: merge: cannot write " + path + "\n");
    if (table) tableComplete(run);
    mine.complete = true;
    journal.write(mine);
    if (!syncFolderOf(outfile)) fail("error: merge: cannot write " + folderOf(outfile) + "\n");
    removeShards(outfile, plan.names, mine.files, journal);
}
