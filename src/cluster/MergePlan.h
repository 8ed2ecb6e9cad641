#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "cluster/MergeJournal.h"
#include "cluster/ShardFile.h"
#include "cluster/Shards.h"
#include "io/ResultsFile.h"

// The planning of a merge (see mergeShards): the shard files found, read
// whole and checked, and what the merge will append, decided while nothing
// is written yet.

// A shard file as found and checked by the merge.
struct ShardFile {
    std::string path;
    std::string name;  // "shard K of M"
    ShardHeader header;
    uint64_t identity = 0;
};

// The shard files of one results file, by their names.
struct ShardNames {
    std::map<int, std::map<int, std::string>> complete;  // M -> K -> path
    std::set<std::pair<int, int>> partial;               // (K, M) of unfinished shards
};

// What a merge is to do once planned.
struct MergePlan {
    ShardNames names;  // every shard file of the results file
    // The journal records a complete merge of these very shard files: only
    // the tidying up is left, of the shards in `mine.files`.
    bool alreadyMerged = false;
    std::vector<ShardFile> shards;  // the shards merged, 1 to M
    ShardRun run;                   // the run they came from
    JournalRecord mine;             // the journal record of this merge
    long long have = 0;  // bytes of an earlier attempt at this merge in the file
    // The results file, held from planning on when the merge appends to it.
    std::optional<ResultsWriter> results;
};

// Plans the merge of the shards of `outfile` under the held `journal`: lists
// the shard files, checks that each of 1..M is there once, complete, sound,
// and of one run with these settings (`fingerprintFor`), holds the results
// file, and finds how much of the merge an interrupted attempt appended
// already. Writes nothing; a refusal prints "error: merge: ..." and ends the
// process with status 1 (removing a journal that holds no record yet).
void planMerge(const std::string& outfile, MergeJournal& journal,
               const std::function<uint64_t(ModelVersion, const std::string&)>& fingerprintFor,
               MergePlan& plan);

// The folder of `path` ("." for a bare name).
std::string folderOf(const std::string& path);

// fileIdentity of the file `path` now; 0 when it cannot be looked at.
uint64_t identityOf(const std::string& path);

// The results row of an accepted simulation, from its shard line (without
// its kind and tab).
std::string resultsRow(const std::string& line, int numbAccepted);

// Reads the whole shards in order, each checked as it is read, and hands on
// each table row (with its line end) and the merge's results bytes in blocks
// (rows numbered as one run numbers them). Returns why a shard failed, or an
// empty string.
template <typename OnTable, typename OnRows>
std::string readShards(const std::vector<ShardFile>& shards, OnTable onTable, OnRows onRows) {
    int numbAccepted = 0;
    std::string block, line;
    for (const ShardFile& shard : shards) {
        ShardReader reader(shard.path);
        if (reader.problem().empty() && reader.identity() != shard.identity)
            return shard.name + " (" + shard.path + ") was replaced during the merge";
        char kind = 0;
        while (reader.next(kind, line)) {
            if (kind == 'T') {
                line += '\n';
                onTable(line);
            } else {
                block += resultsRow(line, ++numbAccepted);
                if (block.size() >= kShardBlock) onRows(block), block.clear();
            }
        }
        if (!reader.problem().empty())
            return shard.name + " (" + shard.path + ") " + reader.problem();
    }
    if (!block.empty()) onRows(block);
    return "";
}
