#include "study/ShardedTable.h"

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <sstream>

#include "base/Fail.h"
#include "cluster/ShardFile.h"
#include "cluster/Shards.h"
#include "io/DataFile.h"
#include "io/ObservedFile.h"
#include "io/ParameterFile.h"
#include "io/PriorsFile.h"
#include "run/ObservedStats.h"
#include "run/StartUp.h"

namespace fs = std::filesystem;

namespace {

// A model's settings and its observed data as its run reads them: what the
// shards' fingerprint and the table's records are made of.
struct ModelRunInputs {
    std::unique_ptr<params> p;
    ObservedTableLine line;
    ObservedStatistics stats;
};

ModelRunInputs readInputs(const std::string& paramsFile, bool showNote) {
    ModelRunInputs in;
    in.p = readInfile(paramsFile.c_str());
    checkParams(*in.p);
    std::string note;
    AlleleMatrix matrix = readDataFile(in.p->datafile_name, in.p->number_of_loci,
                                       in.p->number_of_sue_lines, in.p->number_of_tha_lines, &note);
    if (showNote) std::cerr << note;
    in.line = observedTableLine(matrix, *in.p);
    std::ostringstream echo;  // the run's own lines, which the study does not show
    in.stats = observedStatistics(std::move(matrix), *in.p, echo);
    return in;
}

uint64_t fingerprintOf(const ModelRunInputs& in, ModelVersion model, const std::string& table) {
    return runFingerprint(*in.p, in.stats, model, table, in.line.line);
}

// Whether the shard file `path` is complete and sound, and shard K of M of
// the run with `seed` and `fingerprint`.
bool shardOfRun(const std::string& path, int K, int M, uint64_t seed, uint64_t fingerprint) {
    ShardReader reader(path);
    char kind = 0;
    std::string line;
    while (reader.next(kind, line)) {
    }
    const ShardHeader& h = reader.header();
    return reader.problem().empty() && h.K == K && h.M == M && h.seed == seed &&
           h.fingerprint == fingerprint && h.model == ModelVersion::current;
}

}  // namespace

std::vector<int> shardsToRun(const std::string& paramsFile, const std::string& tableFile,
                             uint64_t seed, int M) {
    const ModelRunInputs in = readInputs(paramsFile, false);
    const uint64_t fingerprint = fingerprintOf(in, ModelVersion::current, tableFile);
    const std::string outfile = in.p->outfile_name;
    std::vector<bool> done(static_cast<std::size_t>(M) + 1, false);
    const fs::path folder = fs::path(outfile).parent_path();
    const std::string prefix = fs::path(outfile).filename().string() + ".shard-";
    std::error_code error;
    for (const fs::directory_entry& entry :
         fs::directory_iterator(folder.empty() ? fs::path(".") : folder, error)) {
        const std::string name = entry.path().filename().string();
        if (name.compare(0, prefix.size(), prefix) != 0) continue;
        const std::string path = (folder / name).string();
        // Shard K of M is named "PREFIX" K "-of-" M exactly (see shardPath).
        const std::string rest = name.substr(prefix.size());
        int K = 0;
        const bool parsed =
            std::from_chars(rest.data(), rest.data() + rest.size(), K).ec == std::errc();
        const bool ours = parsed && K >= 1 && K <= M && path == shardPath(outfile, K, M);
        if (ours && shardOfRun(path, K, M, seed, fingerprint)) {
            done[static_cast<std::size_t>(K)] = true;
            continue;
        }
        // A task still writing holds its unfinished file: it is left to end.
        if (!lockedByOther(path) && std::remove(path.c_str()) != 0)
            fail("error: cannot remove " + path + ", a shard file that this run cannot use\n");
    }
    if (error)
        fail("error: cannot read the folder " +
             (folder.empty() ? std::string(".") : folder.string()) + "\n");
    std::vector<int> left;
    for (int K = 1; K <= M; ++K)
        if (!done[static_cast<std::size_t>(K)]) left.push_back(K);
    return left;
}

void mergeModelTable(const std::string& paramsFile, const std::string& tableFile) {
    const ModelRunInputs in = readInputs(paramsFile, true);
    const params& p = *in.p;
    TableProvenance made;
    made.source = TableSource::prior;
    made.known = true;
    made.settings = settingsFingerprint(p, ModelVersion::current);
    made.data = dataFingerprint(in.line.line);

    // The results file is written afresh, as the table is: the merge appends
    // to it, and a merge left half-way by an earlier attempt starts over.
    const std::string journal = std::string(p.outfile_name) + ".merge-journal";
    if (lockedByOther(journal))
        fail("error: merge: another merge of the shards of " + std::string(p.outfile_name) +
             " is running (it holds " + journal + "); let it end\n");
    std::remove(journal.c_str());
    std::remove(p.outfile_name);
    mergeShards(
        p.outfile_name, p.hasGsm(),
        [&](ModelVersion model, const std::string&) { return fingerprintOf(in, model, tableFile); },
        [&](const ShardRun&) {
            writeObservedStatistics(tableFile, in.line.stats);
            writePriors(tableFile, p, made);
            return std::vector<std::string>{observedStatisticsPath(tableFile),
                                            priorsPath(tableFile)};
        },
        [&](const ShardRun&) { completePriors(tableFile, p, made, p.repeats); });
}
