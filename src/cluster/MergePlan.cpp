#include "cluster/MergePlan.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>

#include "base/Fail.h"

namespace {

constexpr int kMostShards = 1000000;  // as --shard allows

std::string baseOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// "K-of-M" or "K-of-M.partial" with 1 <= K <= M <= kMostShards, written as
// shardPath writes them; false for anything else.
bool parseShardName(const std::string& rest, int& K, int& M, bool& partial) {
    const char* begin = rest.data();
    const char* end = begin + rest.size();
    auto number = [&](int& value) {
        const auto [stop, error] = std::from_chars(begin, end, value);
        if (error != std::errc() || stop == begin || *begin == '0') return false;
        begin = stop;
        return true;
    };
    if (!number(K) || end - begin < 4 || std::string(begin, 4) != "-of-") return false;
    begin += 4;
    if (!number(M)) return false;
    const std::string tail(begin, end);
    partial = tail == ".partial";
    return (tail.empty() || partial) && K >= 1 && K <= M && M <= kMostShards;
}

// Lists the shard files of `outfile`; returns why a name cannot be merged,
// or an empty string.
std::string findShardFiles(const std::string& outfile, ShardNames& found) {
    const std::string folder = folderOf(outfile), base = baseOf(outfile) + ".shard-";
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) return "cannot read the folder " + folder;
    std::string why;
    errno = 0;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.compare(0, base.size(), base) != 0) continue;
        const std::string path =
            outfile.find('/') == std::string::npos ? name : folder + "/" + name;
        int K = 0, M = 0;
        bool partial = false;
        if (!parseShardName(name.substr(base.size()), K, M, partial)) {
            why = path + " is named like a shard file but is not one (" + baseOf(outfile) +
                  ".shard-K-of-M with 1 <= K <= M); rename or remove it";
            break;
        }
        if (partial)
            found.partial.insert({K, M});
        else
            found.complete[M][K] = path;
    }
    if (why.empty() && errno != 0) why = "cannot read the folder " + folder;
    closedir(dir);
    return why;
}

// Reads the bytes from `at` to the end of the open file `fd` in blocks.
template <typename Each>
bool readFrom(int fd, long long at, Each each) {
    std::string block(kShardBlock, '\0');
    for (;;) {
        const ssize_t got = pread(fd, &block[0], block.size(), static_cast<off_t>(at));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0) return true;
        each(block.data(), static_cast<std::size_t>(got));
        at += got;
    }
}

// Where the last table header line of the results file begins, at a line
// start and at or after `from`; -1 when there is none, -2 when the file
// cannot be read.
long long lastHeaderAt(int fd, long long from) {
    // The header up to its DS column: a run that draws P has GsmP after it.
    const std::string row1 = formatResultsRow(0, 0, 0, 0, 0, 0, 0, 0, 1);
    const std::string pattern = "\n" + row1.substr(0, row1.find("DS") + 2);
    // The window starts one byte before `from` (or with a line end standing
    // for the file's start), so that a match shows its line start.
    std::string window;
    long long windowAt = from - 1;  // file offset of window[0]
    if (from == 0) window = "\n";
    const long long readAt = from == 0 ? 0 : from - 1;
    long long found = -1;
    const bool read = readFrom(fd, readAt, [&](const char* data, std::size_t size) {
        window.append(data, size);
        for (std::size_t at = window.find(pattern); at != std::string::npos;
             at = window.find(pattern, at + 1))
            found = windowAt + static_cast<long long>(at) + 1;
        const std::size_t keep = std::min(window.size(), pattern.size() - 1);
        windowAt += static_cast<long long>(window.size() - keep);
        window.erase(0, window.size() - keep);
    });
    return read ? found : -2;
}

// Whether the `count` bytes of `fd` from `at` are a start of the merge's bytes
// (a line end when `lead`, then the rows); why not, when the shards fail;
// `unreadable` when `fd` fails.
bool holdsStartOf(int fd, long long at, long long count, bool lead,
                  const std::vector<ShardFile>& shards, std::string& why, bool& unreadable) {
    if (count == 0) return true;
    bool same = true;
    long long checked = 0;
    std::string got;
    auto compare = [&](const std::string& bytes) {
        if (!same || checked >= count) return;
        const auto n = static_cast<std::size_t>(
            std::min<long long>(count - checked, static_cast<long long>(bytes.size())));
        got.resize(n);
        ssize_t done;
        do {
            done = pread(fd, &got[0], n, static_cast<off_t>(at + checked));
        } while (done < 0 && errno == EINTR);
        unreadable = done < 0;
        same = done == static_cast<ssize_t>(n) && bytes.compare(0, n, got) == 0;
        checked += static_cast<long long>(n);
    };
    if (lead) compare("\n");
    why = readShards(
        shards, [](const std::string&) {}, compare);
    return why.empty() && same && checked == count;
}

}  // namespace

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

uint64_t identityOf(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? fileIdentity(info) : 0;
}

// The results row of an accepted simulation, from its shard line (without
// its kind and tab).
std::string resultsRow(const std::string& line, int numbAccepted) {
    double v[8] = {};
    const char* p = line.c_str();
    char* end = nullptr;
    std::strtoll(p, &end, 10);  // the simulation number
    for (double& x : v) x = std::strtod(end, &end);
    // A run that draws P ends its rows with it.
    char* afterP = nullptr;
    const double gsmP = std::strtod(end, &afterP);
    const bool withGsmP = afterP != end;
    return formatResultsRow(v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], numbAccepted,
                            withGsmP ? &gsmP : nullptr);
}

void planMerge(const std::string& outfile, MergeJournal& journal,
               const std::function<uint64_t(ModelVersion, const std::string&)>& fingerprintFor,
               MergePlan& plan) {
    const std::string& journalPath = journal.path();
    // A refusal before the first record leaves no journal behind.
    auto refuse = [&](const std::string& why) {
        journal.removeIfEmpty();
        fail("error: merge: " + why + "\n");
    };

    ShardNames& names = plan.names;
    const std::string badName = findShardFiles(outfile, names);
    if (!badName.empty()) refuse(badName);

    JournalRecord record;
    MergeJournal::Content recorded = journal.read(record);
    if (recorded == MergeJournal::Content::record && record.complete) {
        // A merge that appended everything and was stopped while tidying up
        // leaves some of its very shard files; a later run's new shard files
        // are not its own, and the journal is then simply out of date.
        int own = 0, other = 0;
        std::string ownPath;
        for (const auto& [M, byK] : names.complete)
            for (const auto& [K, path] : byK) {
                if (M == record.count && identityOf(path) == record.files[K - 1])
                    ++own, ownPath = path;
                else
                    ++other;
            }
        if (other == 0) {
            plan.alreadyMerged = true;
            plan.mine = record;
            return;
        }
        if (own > 0)
            refuse(ownPath + " was merged already (" + journalPath +
                   " records that merge as complete), but other shard files are new; remove the "
                   "merged ones and merge again");
        recorded = MergeJournal::Content::none;
    }

    if (names.complete.empty() && names.partial.empty())
        refuse("no shard files of " + outfile + " found");
    if (names.complete.size() > 1) {
        std::string counts;
        for (const auto& byM : names.complete) counts += " " + std::to_string(byM.first);
        refuse("the shard files of " + outfile + " come from different shard counts:" + counts +
               "; keep the shards of one run only");
    }
    const int M =
        names.complete.empty() ? names.partial.begin()->second : names.complete.begin()->first;
    for (const auto& [K, count] : names.partial)
        if (lockedByOther(shardPath(outfile, K, count) + ".partial"))
            refuse("shard " + std::to_string(K) + " of " + std::to_string(count) +
                   " is being run now (" + shardPath(outfile, K, count) +
                   ".partial); merge when it has ended");

    // The first reading: every shard whole, checked, and what the merge will
    // append measured.
    std::vector<ShardFile>& shards = plan.shards;
    for (int K = 1; K <= M; ++K) {
        const auto found = names.complete[M].find(K);
        const std::string name = "shard " + std::to_string(K) + " of " + std::to_string(M);
        if (found == names.complete[M].end()) {
            if (names.partial.count({K, M}))
                refuse(name + " is incomplete (killed or failed); run it again");
            refuse(name + " is missing");
        }
        ShardReader reader(found->second);
        if (!reader.problem().empty())
            refuse(name + " (" + found->second + ") " + reader.problem() + "; run it again");
        shards.push_back({found->second, name, reader.header(), reader.identity()});
    }
    long long rowBytes = 0;
    Fnv rowHash;
    const std::string unsound = readShards(
        shards, [](const std::string&) {},
        [&](const std::string& rows) {
            rowBytes += static_cast<long long>(rows.size());
            rowHash.add(rows.data(), rows.size());
        });
    if (!unsound.empty()) refuse(unsound + "; run it again");
    JournalRecord& mine = plan.mine;
    for (const ShardFile& shard : shards) {
        const ShardHeader& h = shard.header;
        const ShardHeader& one = shards.front().header;
        const int K = static_cast<int>(mine.files.size()) + 1;
        if (h.K != K || h.M != M)
            refuse(shard.path + " holds shard " + std::to_string(h.K) + " of " +
                   std::to_string(h.M) + ", so that shard is given twice");
        if (h.seed != one.seed)
            refuse(shard.name + " has seed " + std::to_string(h.seed) + ", shard 1 has " +
                   std::to_string(one.seed) + ": the shards come from different runs");
        if (h.model != one.model || h.table != one.table)
            refuse(shard.name +
                   " was run with other options than shard 1 (--legacy-model or --table)");
        if (h.fingerprint != fingerprintFor(h.model, h.table))
            refuse(shard.name + " was made with other settings or observed data than these");
        if (h.first != (K == 1 ? 0 : shards[K - 2].header.last) || h.last < h.first)
            refuse(shard.name + " does not cover the simulations after shard " +
                   std::to_string(K - 1) + "'s; run it again");
        mine.files.push_back(shard.identity);
    }

    const ShardHeader& h = shards.front().header;
    ShardRun& run = plan.run;
    run.seed = h.seed;
    run.count = M;
    run.fingerprint = h.fingerprint;
    run.model = h.model;
    run.table = h.table;
    mine.seed = run.seed;
    mine.count = M;
    mine.fingerprint = run.fingerprint;
    mine.bytesHash = rowHash.value();
    mine.length = rowBytes;

    const bool resume = recorded == MergeJournal::Content::record && record.sameRows(mine);
    const bool foreign = recorded == MergeJournal::Content::record && !resume;

    // The results file is held from here on (when the merge appends to it).
    std::optional<ResultsWriter>& results = plan.results;
    if (rowBytes > 0) {
        results.emplace(outfile);
        results->hold();
    }
    struct stat info;
    const long long size =
        stat(outfile.c_str(), &info) == 0 ? static_cast<long long>(info.st_size) : 0;
    const int reader = open(outfile.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    long long& have = plan.have;
    std::string why;
    bool unreadable = false;
    auto refuseUnreadable = [&] {
        refuse("cannot read " + outfile +
               " to check the rows an earlier attempt appended; merge again when it can be read");
    };
    // An interrupted merge of other shards that appended nothing is no
    // obstacle; one that did must be finished or undone first.
    if (foreign && size != record.start)
        refuse(journalPath + " belongs to an interrupted merge of other shards (seed " +
               std::to_string(record.seed) + ", " + std::to_string(record.count) +
               " shards); merge those first, or remove it and the bytes after the first " +
               std::to_string(record.start) + " of " + outfile);
    if (resume) {
        mine.start = record.start;
        mine.lead = record.lead;
        mine.length = record.length;
        have = size - mine.start;
        if (have < 0 || have > mine.length || reader < 0 ||
            !holdsStartOf(reader, mine.start, have, mine.lead, shards, why, unreadable)) {
            if (!why.empty()) refuse(why + "; run it again");
            if (unreadable) refuseUnreadable();
            refuse(outfile + " changed after the interrupted merge began; restore it, or remove " +
                   journalPath + " and the rows that merge appended");
        }
    } else {
        // Without a journal, the rows of an interrupted attempt are found by
        // their content: a table header at a line start after which the file
        // holds exactly a start of this merge's rows.
        mine.start = size;
        const long long at =
            reader < 0 || rowBytes == 0 ? -1 : lastHeaderAt(reader, std::max(0LL, size - rowBytes));
        if (at == -2) refuseUnreadable();
        if (at >= 0 && holdsStartOf(reader, at, size - at, false, shards, why, unreadable)) {
            mine.start = at;
            have = size - at;
            if (have == rowBytes)
                std::printf("note: %s ends with the rows of these shards already; none appended\n",
                            outfile.c_str());
        } else if (!why.empty()) {
            refuse(why + "; run it again");
        } else if (unreadable) {
            refuseUnreadable();
        } else if (size > 0 && rowBytes > 0 && reader >= 0) {
            // A file that ends in a row cut by a killed run gets a line end
            // before the first row, as a run would give it.
            char last = '\n';
            if (pread(reader, &last, 1, static_cast<off_t>(size - 1)) != 1) refuseUnreadable();
            mine.lead = last != '\n';
        }
        mine.length = mine.lead + rowBytes;
    }
    if (reader >= 0) ::close(reader);
}
