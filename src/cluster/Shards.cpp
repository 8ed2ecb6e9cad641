#include "cluster/Shards.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>

#include "base/Fail.h"

namespace {

// Shortest text that reads back as the same double.
void appendExact(std::string& out, double value) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    out.append(text, end);
}

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
    // The mutation keys count only where given (a run without them keeps
    // its fingerprint).
    if (p.hasMutationKeys())
        for (double v :
             {p.gsm_p_lower_set ? p.gsm_p_lower : -1.0, p.gsm_p_upper_set ? p.gsm_p_upper : -1.0,
              p.locus_rate_shape_set ? p.locus_rate_shape : -1.0})
            f.addValue(v);
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
    // A merge running now would take the shard file from under this run.
    if (lockedByOther(outfile + ".merge-journal"))
        fail("error: shard: a merge of the shards of " + outfile +
             " is running; run this shard when it has ended\n");
    // Never through a link, and never a FIFO's wait for a reader: what is
    // not a regular file of its own under this name is refused.
    fd_ = open(partial_.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0666);
    if (fd_ < 0 && errno == ELOOP)
        fail("error: shard: " + partial_ +
             " is a symbolic link; a shard's unfinished file is never one: remove the link\n");
    struct stat opened;
    if (fd_ < 0 || fstat(fd_, &opened) != 0 || !S_ISREG(opened.st_mode))
        fail("error: shard: cannot write " + partial_ + "\n");
    int locked;
    do {
        locked = flock(fd_, LOCK_EX | LOCK_NB);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0 && errno == EWOULDBLOCK)
        fail("error: shard: " + partial_ + " is being written by another run of this shard\n");
    if (ftruncate(fd_, 0) != 0) fail("error: shard: cannot write " + partial_ + "\n");
    ShardHeader header;
    header.seed = run.seed;
    header.K = K;
    header.M = run.count;
    header.first = range.first;
    header.last = range.last;
    header.fingerprint = run.fingerprint;
    header.model = run.model;
    header.table = run.table;
    pending_ = shardHeaderText(header);
    checksum_.add(pending_.data(), pending_.size());
    writePending();
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
        // A run that draws P gives it last; the merge reads it when present.
        if (run_.withGsmP) pending_ += '\t', appendExact(pending_, r.GsmP);
        pending_ += '\n';
        ++rows_;
    }
    if (!run_.table.empty()) pending_ += "T\t" + r.tableRow;
    checksum_.add(pending_.data() + start, pending_.size() - start);
    ++consumed_;
    if (pending_.size() >= kShardBlock) writePending();
}

void ShardWriter::writePending() {
    writeAll(fd_, pending_, partial_);
    pending_.clear();
}

void ShardWriter::finish() {
    pending_ += "end " + std::to_string(consumed_) + " " + std::to_string(rows_) + " " +
                hex64(checksum_.value()) + "\n";
    writePending();
    if (fsync(fd_) != 0 && errno != EINVAL) fail("error: shard: cannot write " + partial_ + "\n");
    // Renamed while still locked, so that a merge never takes it for a
    // killed shard's leftover.
    if (std::rename(partial_.c_str(), path_.c_str()) != 0) {
        if (errno == ENOENT)
            fail("error: shard: " + partial_ +
                 " was removed while this shard ran (by a merge of the shards?); run the "
                 "shard again\n");
        fail("error: shard: cannot write " + path_ + "\n");
    }
    if (::close(fd_) != 0) fail("error: shard: cannot write " + path_ + "\n");
    fd_ = -1;
}
