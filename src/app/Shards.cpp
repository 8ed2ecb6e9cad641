#include "app/Shards.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <set>

#include "io/Fail.h"
#include "io/ReferenceTable.h"
#include "io/ResultsFile.h"

namespace {

constexpr const char* kMagic = "foundabc-shard 1";
constexpr std::size_t kBlock = 1 << 20;

class Fnv {
  public:
    void add(const void* data, std::size_t size) {
        const auto* bytes = static_cast<const unsigned char*>(data);
        for (std::size_t i = 0; i < size; ++i) {
            hash_ ^= bytes[i];
            hash_ *= 1099511628211ull;
        }
    }
    template <typename T>
    void addValue(const T& value) {
        add(&value, sizeof value);
    }
    void addText(const std::string& text) {
        addValue(text.size());
        add(text.data(), text.size());
    }
    uint64_t value() const { return hash_; }

  private:
    uint64_t hash_ = 14695981039346656037ull;
};

// FNV-1a continued from `hash` over `size` bytes.
uint64_t fnvUpdate(uint64_t hash, const char* data, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        hash ^= static_cast<unsigned char>(data[i]);
        hash *= 1099511628211ull;
    }
    return hash;
}

std::string hex(uint64_t value) {
    char text[17];
    std::snprintf(text, sizeof text, "%016" PRIx64, value);
    return text;
}

// Shortest text that reads back as the same double.
void appendExact(std::string& out, double value) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    out.append(text, end);
}

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string baseOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

[[noreturn]] void refuse(const std::string& why) { fail("error: merge: " + why + "\n"); }

void writeAll(int fd, const std::string& bytes, const std::string& name) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0)
            done += static_cast<std::size_t>(n);
        else if (!(n < 0 && errno == EINTR))
            fail("error: shard: cannot write " + name + "\n");
    }
}

}  // namespace

ShardRange shardRange(int64_t repeats, int K, int M) {
    return {repeats * (K - 1) / M, repeats * K / M};
}

uint64_t runFingerprint(const params& p, const ObservedStatistics& observed, ModelVersion model,
                        const std::string& table, const std::string& observedTableLine) {
    Fnv f;
    f.addText(p.datafile_name);
    f.addText(p.outfile_name);
    for (int32_t v : {p.number_of_tha_lines, p.number_of_sue_lines, p.number_of_loci,
                      p.prior_distribution, p.repeats, p.conditional_number_of_origins})
        f.addValue(v);
    for (double v :
         {p.alpha, p.my_lower, p.my_upper, p.time_to_origin_lower, p.time_to_origin_upper,
          p.popsize_origin_tha_lower, p.popsize_origin_tha_upper, p.popsize_present_tha_lower,
          p.popsize_present_tha_upper, p.popsize_origin_sue_lower, p.popsize_origin_sue_upper,
          p.popsize_present_sue_lower, p.popsize_present_sue_upper, p.epsilon,
          p.unequal_founding_fractions, observed.S_obs_sue, observed.S_obs_tha,
          observed.S_obs_x_epsilon})
        f.addValue(v);
    f.addValue(static_cast<int>(model));
    f.addText(table);
    f.addText(table.empty() ? std::string() : observedTableLine);
    return f.value();
}

std::string shardPath(const std::string& outfile, int K, int M) {
    return outfile + ".shard-" + std::to_string(K) + "-of-" + std::to_string(M);
}

ShardWriter::ShardWriter(const std::string& outfile, int K, const ShardRun& run, ShardRange range)
    : path_(shardPath(outfile, K, run.count)),
      partial_(path_ + ".partial"),
      run_(run),
      range_(range) {
    fd_ = open(partial_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ < 0) fail("error: shard: cannot write " + partial_ + "\n");
    pending_ = std::string(kMagic) + "\nseed " + std::to_string(run.seed) + "\nshard " +
               std::to_string(K) + " " + std::to_string(run.count) + "\nrange " +
               std::to_string(range.first) + " " + std::to_string(range.last) + "\nfingerprint " +
               hex(run.fingerprint) + "\nmodel " +
               (run.model == ModelVersion::legacy ? "legacy" : "current") + "\ntable " + run.table +
               "\ndata\n";
    writePending();
    checksum_ = Fnv().value();
}

ShardWriter::~ShardWriter() {
    if (fd_ >= 0) ::close(fd_);
}

void ShardWriter::consume(int64_t sim, const RepeatResult& r) {
    const std::size_t start = pending_.size();
    if (r.accepted) {
        pending_ += "R\t" + std::to_string(sim);
        for (double v : r.draw) pending_ += '\t', appendExact(pending_, v);
        pending_ += '\t', appendExact(pending_, r.FracSueMono);
        pending_ += '\t', appendExact(pending_, r.DS);
        pending_ += '\n';
        ++rows_;
    }
    if (!run_.table.empty()) pending_ += "T\t" + r.tableRow;
    checksum_ = fnvUpdate(checksum_, pending_.data() + start, pending_.size() - start);
    ++consumed_;
    if (pending_.size() >= kBlock) writePending();
}

void ShardWriter::writePending() {
    writeAll(fd_, pending_, partial_);
    pending_.clear();
}

void ShardWriter::finish() {
    pending_ += "end " + std::to_string(consumed_) + " " + std::to_string(rows_) + " " +
                hex(checksum_) + "\n";
    writePending();
    if (fsync(fd_) != 0 && errno != EINVAL) fail("error: shard: cannot write " + partial_ + "\n");
    if (::close(fd_) != 0) fail("error: shard: cannot write " + partial_ + "\n");
    fd_ = -1;
    if (std::rename(partial_.c_str(), path_.c_str()) != 0)
        fail("error: shard: cannot write " + path_ + "\n");
}

namespace {

// A shard file as found by the merge.
struct ShardFile {
    std::string path;
    int K = 0;
    ShardRun run;
    ShardRange range{0, 0};
    int64_t rows = 0;
};

bool startsWith(const std::string& text, const char* prefix) {
    return text.compare(0, std::strlen(prefix), prefix) == 0;
}

// Reads the header and checks the closing line and checksum of a shard file.
// Returns an empty string when it is complete, else why it is not.
std::string readShard(const std::string& path, ShardFile& shard) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return "cannot be read";
    std::string line;
    auto next = [&](const char* key) -> std::string {
        if (!std::getline(in, line) || !startsWith(line, key)) return std::string("\x01");
        return line.substr(std::strlen(key));
    };
    if (!std::getline(in, line) || line != kMagic) return "is not a shard file";
    const std::string seed = next("seed "), ids = next("shard "), range = next("range "),
                      print = next("fingerprint "), model = next("model "), table = next("table "),
                      data = next("data");
    for (const std::string* f : {&seed, &ids, &range, &print, &model, &table, &data})
        if (*f == "\x01") return "is incomplete";
    try {
        shard.run.seed = std::stoull(seed);
        int K = 0, M = 0;
        if (std::sscanf(ids.c_str(), "%d %d", &K, &M) != 2) return "is not a shard file";
        shard.K = K;
        shard.run.count = M;
        long long first = 0, last = 0;
        if (std::sscanf(range.c_str(), "%lld %lld", &first, &last) != 2)
            return "is not a shard file";
        shard.range = {first, last};
        shard.run.fingerprint = std::stoull(print, nullptr, 16);
    } catch (const std::exception&) {
        return "is not a shard file";
    }
    shard.run.model = model == "legacy" ? ModelVersion::legacy : ModelVersion::current;
    shard.run.table = table;

    uint64_t checksum = Fnv().value();
    int64_t rows = 0;
    bool ended = false;
    while (std::getline(in, line)) {
        if (in.eof()) return "is incomplete";  // a last line without its line end
        if (startsWith(line, "end ")) {
            long long consumed = 0, count = 0;
            char sum[17] = {};
            if (std::sscanf(line.c_str(), "end %lld %lld %16s", &consumed, &count, sum) != 3 ||
                count != rows || consumed != shard.range.last - shard.range.first ||
                sum != hex(checksum))
                return "is damaged (its rows do not match its closing line)";
            ended = true;
            break;
        }
        if (!startsWith(line, "R\t") && !startsWith(line, "T\t")) return "is damaged";
        if (line[0] == 'R') ++rows;
        checksum = fnvUpdate(checksum, line.data(), line.size());
        checksum = fnvUpdate(checksum, "\n", 1);
    }
    if (!ended) return "is incomplete";
    shard.rows = rows;
    return "";
}

// Calls `each` with every data line of kind `kind` ('R' or 'T') of the
// shard, without its kind and tab, line end included.
template <typename Each>
void forEachLine(const ShardFile& shard, char kind, Each each) {
    std::ifstream in(shard.path, std::ios::binary);
    std::string line;
    while (std::getline(in, line) && line != "data") {
    }
    while (std::getline(in, line) && !startsWith(line, "end ")) {
        if (line[0] != kind) continue;
        line.erase(0, 2);
        line += '\n';
        each(line);
    }
}

// The results row of an accepted simulation, from its shard line.
std::string resultsRow(const std::string& line, int numbAccepted) {
    double v[8] = {};
    const char* p = line.c_str();
    char* end = nullptr;
    std::strtoll(p, &end, 10);  // the simulation number
    for (double& x : v) x = std::strtod(end, &end);
    return formatResultsRow(v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], numbAccepted);
}

// The journal of a merge: where its bytes begin in the results file, how
// many there are, and whether they are all there.
struct Journal {
    bool exists = false;
    long long start = 0;   // size of the results file when the merge began
    int lead = 0;          // 1 when the merge begins with a line end after a cut row
    long long length = 0;  // bytes the merge appends, line end included
    bool complete = false;
};

Journal readJournal(const std::string& path) {
    Journal j;
    std::ifstream in(path);
    std::string state;
    if (in >> j.start >> j.lead >> j.length >> state) {
        j.exists = true;
        j.complete = state == "complete";
    }
    return j;
}

void writeJournal(const std::string& path, const Journal& j) {
    const std::string temp = path + ".new";
    const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) fail("error: merge: cannot write " + temp + "\n");
    writeAll(fd,
             std::to_string(j.start) + " " + std::to_string(j.lead) + " " +
                 std::to_string(j.length) + " " + (j.complete ? "complete" : "appending") + "\n",
             temp);
    if (fsync(fd) != 0 && errno != EINVAL) fail("error: merge: cannot write " + temp + "\n");
    ::close(fd);
    if (std::rename(temp.c_str(), path.c_str()) != 0)
        fail("error: merge: cannot write " + path + "\n");
}

long long fileSize(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? static_cast<long long>(info.st_size) : -1;
}

}  // namespace

void mergeShards(const std::string& outfile,
                 const std::function<uint64_t(ModelVersion, const std::string&)>& fingerprintFor,
                 const std::function<void(const ShardRun&)>& describe) {
    const std::string folder = folderOf(outfile), base = baseOf(outfile) + ".shard-";
    const std::string journalPath = outfile + ".merge-journal";

    // Every shard file and unfinished shard file of this results file.
    std::map<int, std::map<int, std::string>> complete;  // M -> K -> path
    std::set<std::pair<int, int>> partial;
    if (DIR* dir = opendir(folder.c_str())) {
        while (const dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name.compare(0, base.size(), base) != 0) continue;
            int K = 0, M = 0, used = 0;
            if (std::sscanf(name.c_str() + base.size(), "%d-of-%d%n", &K, &M, &used) != 2) continue;
            const std::string rest = name.substr(base.size() + static_cast<size_t>(used));
            const std::string path = folder == "." && outfile.find('/') == std::string::npos
                                         ? name
                                         : folder + "/" + name;
            if (rest.empty())
                complete[M][K] = path;
            else if (rest == ".partial")
                partial.insert({K, M});
        }
        closedir(dir);
    }

    Journal journal = readJournal(journalPath);
    auto removeShards = [&] {
        for (const auto& [M, byK] : complete)
            for (const auto& [K, path] : byK) std::remove(path.c_str());
        for (const auto& [K, M] : partial)
            std::remove((shardPath(outfile, K, M) + ".partial").c_str());
        std::remove(journalPath.c_str());
    };
    if (journal.exists && journal.complete) {
        // An earlier merge appended everything and stopped while tidying up.
        removeShards();
        std::printf("merge of %s already complete; shard files removed\n", outfile.c_str());
        return;
    }
    if (complete.empty() && partial.empty()) refuse("no shard files of " + outfile + " found");
    if (complete.size() > 1) {
        std::string counts;
        for (const auto& byM : complete) counts += " " + std::to_string(byM.first);
        refuse("the shard files of " + outfile + " come from different shard counts:" + counts +
               "; keep the shards of one run only");
    }
    const int M = complete.empty() ? partial.begin()->second : complete.begin()->first;
    std::vector<ShardFile> shards;
    for (int K = 1; K <= M; ++K) {
        const auto found = complete[M].find(K);
        const std::string name = "shard " + std::to_string(K) + " of " + std::to_string(M);
        if (found == complete[M].end()) {
            if (partial.count({K, M}))
                refuse(name + " is incomplete (killed or failed); run it again");
            refuse(name + " is missing");
        }
        ShardFile shard;
        shard.path = found->second;
        const std::string why = readShard(shard.path, shard);
        if (!why.empty()) refuse(name + " (" + shard.path + ") " + why + "; run it again");
        if (shard.K != K || shard.run.count != M)
            refuse(shard.path + " holds shard " + std::to_string(shard.K) + " of " +
                   std::to_string(shard.run.count) + ", so that shard is given twice");
        if (!shards.empty()) {
            const ShardRun& one = shards.front().run;
            if (shard.run.seed != one.seed)
                refuse(name + " has seed " + std::to_string(shard.run.seed) + ", shard 1 has " +
                       std::to_string(one.seed) + ": the shards come from different runs");
            if (shard.run.model != one.model || shard.run.table != one.table)
                refuse(name +
                       " was run with other options than shard 1 (--legacy-model or "
                       "--table)");
        }
        if (shard.run.fingerprint != fingerprintFor(shard.run.model, shard.run.table))
            refuse(name + " was made with other settings or observed data than these");
        shards.push_back(std::move(shard));
    }
    const ShardRun run = shards.front().run;
    describe(run);

    // The table first: it is written whole, so a rerun simply writes it again.
    if (!run.table.empty()) {
        ReferenceTableWriter table(run.table);
        for (const ShardFile& shard : shards)
            forEachLine(shard, 'T', [&](const std::string& row) { table.writeRows(row); });
        table.close();
    }

    ResultsWriter results(outfile);  // held, and locked, from here on
    const long long size = std::max(0LL, fileSize(outfile));
    int64_t rows = 0;
    for (const ShardFile& shard : shards) rows += shard.rows;
    if (!journal.exists) {
        // A file that ends in a row cut by a killed run gets a line end before
        // the first row, as a run would give it.
        journal = {true, size, 0, 0, false};
        if (size > 0 && rows > 0) {
            std::ifstream in(outfile, std::ios::binary);
            in.seekg(size - 1);
            if (in.get() != '\n') journal.lead = 1;
        }
    }

    // The merge's bytes: the line end, if any, then the rows in simulation
    // order, numbered as one run numbers them; produced in blocks.
    auto produce = [&](const std::function<void(const std::string&)>& emit) {
        if (journal.lead) emit("\n");
        int numbAccepted = 0;
        std::string block;
        for (const ShardFile& shard : shards)
            forEachLine(shard, 'R', [&](const std::string& line) {
                block += resultsRow(line, ++numbAccepted);
                if (block.size() >= kBlock) emit(block), block.clear();
            });
        if (!block.empty()) emit(block);
    };

    long long have = 0;  // bytes of an interrupted merge already in the file
    if (journal.length == 0) {
        produce([&](const std::string& b) { journal.length += static_cast<long long>(b.size()); });
        writeJournal(journalPath, journal);
    } else {
        have = size - journal.start;
        bool same = have >= 0 && have <= journal.length;
        if (same) {
            std::ifstream in(outfile, std::ios::binary);
            in.seekg(journal.start);
            long long checked = 0;
            std::string got;
            produce([&](const std::string& block) {
                if (!same || checked >= have) return;
                const auto n = static_cast<size_t>(
                    std::min<long long>(have - checked, static_cast<long long>(block.size())));
                got.resize(n);
                in.read(&got[0], static_cast<std::streamsize>(n));
                same = static_cast<size_t>(in.gcount()) == n && block.compare(0, n, got) == 0;
                checked += static_cast<long long>(n);
            });
        }
        if (!same)
            refuse(outfile + " changed after the interrupted merge began; restore it, or remove " +
                   journalPath + " and the rows that merge appended");
    }

    // Append what is not there yet.
    results.continueInterruptedAppend();
    long long skip = have;
    produce([&](const std::string& block) {
        if (skip >= static_cast<long long>(block.size())) {
            skip -= static_cast<long long>(block.size());
            return;
        }
        results.appendBlock(block.substr(static_cast<size_t>(skip)));
        skip = 0;
    });
    results.sync();
    results.close();
    journal.complete = true;
    writeJournal(journalPath, journal);
    removeShards();
}
