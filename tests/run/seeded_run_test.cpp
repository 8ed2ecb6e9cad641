// Seeded mode: a seed gives the same standard output, results file and
// reference table for every number of threads and every split into shards
// followed by a merge; an error part-way behaves as with one thread; the
// merge refuses shards that are missing, cut, foreign or doubled, and resumes
// an interrupted merge without losing or repeating a row; under faults (a
// shard that cannot be read, another merge, a shard being run) it stops with
// a message and keeps the shards.
#include <fcntl.h>
#include <gsl/gsl_rng.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <optional>
#include <set>
#include <sstream>
#include <tuple>
#include <string>
#include <vector>

#include "cluster/Shards.h"
#include "io/SampleFile.h"
#include "run/FreshSeed.h"
#include "run/SampleDraw.h"
#include "sim/SimulationStreams.h"
#include "support/ChildProcess.h"
#include "support/ParamsFileText.h"
#include "support/ReferenceTableText.h"
#include "support/TestRng.h"

namespace {

const char* kData =
    "sue1 sue2 sue3 tha1 tha2 tha3 tha4\n"
    "10 12 11 13 9 14 10\n"
    "20 20 21 19 22 18 20\n"
    "7 8 7 9 10 6 8\n";

ParamsFileText seededParams(int repeats = 300) {
    return ParamsFileText()
        .set("NUMBER_OF_SUE_LINES", "3")
        .set("NUMBER_OF_THA_LINES", "4")
        .set("NUMBER_OF_LOCI", "3")
        .set("REPEATS", std::to_string(repeats))
        .set("EPSILON", "0.6");
}

struct RunFiles {
    ChildResult run;
    std::string results, table;
};

// Runs the program in a fresh folder with `args` before the parameter file.
RunFiles runIn(const TempDir& dir, const ParamsFileText& params,
               const std::vector<std::string>& args) {
    dir.write("params.txt", params.str());
    dir.write("data.txt", kData);
    std::vector<std::string> argv = args;
    argv.push_back("params.txt");
    RunFiles f;
    f.run = runFoundabc(argv, dir.path());
    f.results = dir.read("results.txt");
    f.table = dir.read("table.tsv");
    return f;
}

// Whether strace can inject faults on this machine (CI installs it).
bool haveStrace() { return runProgram({"strace", "-o", "/dev/null", "true"}).exitStatus == 0; }

// The merge run under `wrapper` (for example strace injecting a fault).
ChildResult merge(const TempDir& dir, std::vector<std::string> wrapper = {}) {
    wrapper.insert(wrapper.end(), {FOUNDABC_BIN, "--merge", "params.txt"});
    return runProgram(wrapper, dir.path());
}

// strace -f with `args` before the program (LeakSanitizer, in a sanitizer
// build, cannot work under ptrace: it is turned off there).
std::vector<std::string> straced(std::vector<std::string> args) {
    args.insert(args.begin(), {"env", "ASAN_OPTIONS=detect_leaks=0", "strace", "-f"});
    return args;
}

// strace that kills the program at its first call of `syscall` on `path`.
std::vector<std::string> killAt(const std::string& syscall, const std::string& path) {
    return straced({"-o", "/dev/null", "-P", path, "-e", "trace=" + syscall, "-e",
                    "inject=" + syscall + ":error=EIO:signal=KILL"});
}

// An exclusive flock on a file, held as a live merge, shard or run holds it.
class HeldLock {
  public:
    explicit HeldLock(const std::string& path)
        : fd_(open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666)) {
        flock(fd_, LOCK_EX);
    }
    ~HeldLock() { close(fd_); }
    HeldLock(const HeldLock&) = delete;
    HeldLock& operator=(const HeldLock&) = delete;

  private:
    int fd_;
};

}  // namespace

TEST(SimulationStreams, NearbySeedsAndSimulationsGiveUnrelatedStreams) {
    gsl_rng* a = gsl_rng_alloc(gsl_rng_taus);
    gsl_rng* b = gsl_rng_alloc(gsl_rng_taus);
    ASSERT_EQ(gsl_rng_size(a), 3 * sizeof(unsigned long));
    struct Pair {
        uint64_t seedA, simA, seedB, simB;
    };
    // Neighbours in seed, in simulation number, and the two swapped.
    const Pair pairs[] = {{42, 0, 43, 0}, {42, 0, 42, 1},   {0, 0, 1, 0},
                          {7, 1, 1, 7},   {~0ull, 5, 0, 5}, {42, 1000000, 42, 1000001}};
    const int n = 20000;
    for (const Pair& p : pairs) {
        seedSimulationStream(a, p.seedA, p.simA);
        seedSimulationStream(b, p.seedB, p.simB);
        // Uniform variates of two independent streams: correlation about
        // 0 with standard error 1/sqrt(n); equal outputs almost never.
        double sa = 0, sb = 0, sab = 0, saa = 0, sbb = 0;
        int equal = 0;
        for (int i = 0; i < n; ++i) {
            const unsigned long x = gsl_rng_get(a), y = gsl_rng_get(b);
            equal += x == y;
            const double u = x / 4294967296.0, v = y / 4294967296.0;
            sa += u, sb += v, sab += u * v, saa += u * u, sbb += v * v;
        }
        const double cov = sab / n - (sa / n) * (sb / n);
        const double corr =
            cov / std::sqrt((saa / n - sa * sa / n / n) * (sbb / n - sb * sb / n / n));
        EXPECT_LT(std::fabs(corr), 4 / std::sqrt(n)) << p.seedA << "/" << p.simA;
        EXPECT_LE(equal, 2);
    }
    // The same (seed, simulation) gives the same stream.
    seedSimulationStream(a, 9, 99);
    seedSimulationStream(b, 9, 99);
    for (int i = 0; i < 100; ++i) ASSERT_EQ(gsl_rng_get(a), gsl_rng_get(b));
    gsl_rng_free(a);
    gsl_rng_free(b);
}

TEST(ShardRange, ContiguousRangesCoverEverySimulationOnce) {
    for (int64_t repeats : {0, 1, 7, 1000})
        for (int M : {1, 2, 3, 7, 11}) {
            int64_t next = 0;
            for (int K = 1; K <= M; ++K) {
                const ShardRange r = shardRange(repeats, K, M);
                EXPECT_EQ(r.first, next);
                EXPECT_GE(r.last, r.first);
                next = r.last;
            }
            EXPECT_EQ(next, repeats);
        }
}

TEST(SeededRun, SameBytesForEveryThreadCountAndShardSplit) {
    // The strict model, and the model with multi-step mutations and locus
    // rates, whose draws come from a second stream per simulation: the two
    // share their parameter draws (sim and the six drawn columns) row for row.
    auto drawsOf = [](const std::string& table) {
        std::string draws;
        std::istringstream in(table);
        for (std::string line; std::getline(in, line);) {
            std::size_t end = 0;
            for (int tab = 0; tab < 7; ++tab) end = line.find('\t', end) + 1;
            draws += line.substr(0, end) + '\n';
        }
        return draws;
    };
    std::string strictDraws;
    for (const ParamsFileText& params : {seededParams(), seededParams()
                                                             .set("GSM_P_LOWER", "0.1")
                                                             .set("GSM_P_UPPER", "0.6")
                                                             .set("LOCUS_RATE_SHAPE", "1.5")}) {
        const bool gsm = params.str().find("GSM_P") != std::string::npos;
        SCOPED_TRACE(gsm ? "generalised" : "strict");
        TempDir reference;
        const RunFiles one = runIn(reference, params, {"--seed", "42", "--table", "table.tsv"});
        ASSERT_EQ(one.run.exitStatus, 0) << one.run.out;
        EXPECT_NE(one.run.out.find("\nSEED = 42\n"), std::string::npos);
        ASSERT_FALSE(one.results.empty());
        EXPECT_EQ(std::count(one.table.begin(), one.table.end(), '\n'), 301);
        // The merge marks its table complete as the run does.
        const std::string priors = reference.read("table.tsv.priors.tsv");
        EXPECT_NE(priors.find("\n# complete: 300 simulations\n"), std::string::npos) << priors;

        for (const char* threads : {"1", "2", "3", "8"}) {
            TempDir dir;
            const RunFiles f =
                runIn(dir, params, {"--seed", "42", "--threads", threads, "--table", "table.tsv"});
            EXPECT_EQ(f.run.out, one.run.out) << threads << " threads";
            EXPECT_EQ(f.results, one.results) << threads << " threads";
            EXPECT_EQ(f.table, one.table) << threads << " threads";
        }
        for (int M : {1, 3, 7}) {
            TempDir dir;
            for (int K = M; K >= 1; --K) {  // any order, any threads
                const RunFiles f =
                    runIn(dir, params,
                          {"--seed", "42", "--threads", K % 2 ? "2" : "1", "--shard",
                           std::to_string(K) + "/" + std::to_string(M), "--table", "table.tsv"});
                ASSERT_EQ(f.run.exitStatus, 0) << f.run.out;
                EXPECT_FALSE(dir.exists("results.txt"));
            }
            const ChildResult merge = runFoundabc({"--merge", "params.txt"}, dir.path());
            ASSERT_EQ(merge.exitStatus, 0) << merge.out;
            EXPECT_EQ(merge.out, one.run.out) << M << " shards";
            EXPECT_EQ(dir.read("results.txt"), one.results) << M << " shards";
            EXPECT_EQ(dir.read("table.tsv"), one.table) << M << " shards";
            EXPECT_EQ(dir.read("table.tsv.priors.tsv"), reference.read("table.tsv.priors.tsv"));
            EXPECT_FALSE(dir.exists("results.txt.shard-1-of-" + std::to_string(M)));
        }
        // Another seed gives other rows.
        TempDir other;
        EXPECT_NE(runIn(other, params, {"--seed", "43"}).results, one.results);
        if (!gsm) strictDraws = drawsOf(one.table);
        if (gsm) {
            EXPECT_EQ(drawsOf(one.table), strictDraws);
            EXPECT_NE(one.table.find("\tPopSizePreSue\tGsmP\tFracSueMono\t"), std::string::npos);
            EXPECT_NE(one.results.find("DS             GsmP           \n"), std::string::npos);
            EXPECT_NE(priors.find("\nGsmP\tuniform\t0.1\t0.6\n"), std::string::npos) << priors;
        }
    }
}

// A founding size drawn at or above the present size's upper bound ends the
// run at the same simulation, with the same rows before it, for any number
// of threads.
TEST(SeededRun, MidRunErrorMatchesOneThread) {
    const ParamsFileText params = seededParams(400)
                                      .set("POPSIZE_ORIGIN_SUE_LOWER", "10")
                                      .set("POPSIZE_ORIGIN_SUE_UPPER", "200")
                                      .set("POPSIZE_PRESENT_SUE_UPPER", "199.9")
                                      .set("EPSILON", "5");
    TempDir first;
    const RunFiles one = runIn(first, params, {"--seed", "5"});
    ASSERT_EQ(one.run.exitStatus, 1);
    ASSERT_NE(one.run.out.find("error: parameters: popsize_present_sue_upper"), std::string::npos);
    ASSERT_FALSE(one.results.empty());
    for (const char* threads : {"2", "4"}) {
        TempDir dir;
        const RunFiles f = runIn(dir, params, {"--seed", "5", "--threads", threads});
        EXPECT_EQ(f.run.exitStatus, 1);
        EXPECT_EQ(f.run.out, one.run.out) << threads;
        EXPECT_EQ(f.results, one.results) << threads;
    }
}

TEST(SeededRun, MergeRefusesShardsThatDoNotMakeOneRun) {
    struct Case {
        const char* what;
        std::vector<std::vector<std::string>> shards;  // the shard runs' options
        std::string change;  // a file to damage after the shards ran, if any
        std::string message;
    };
    const Case cases[] = {
        {"missing",
         {{"--seed", "1", "--shard", "1/3"}, {"--seed", "1", "--shard", "3/3"}},
         "",
         "shard 2 of 3 is missing"},
        {"other seed",
         {{"--seed", "1", "--shard", "1/2"}, {"--seed", "2", "--shard", "2/2"}},
         "",
         "shards come from different runs"},
        {"other counts",
         {{"--seed", "1", "--shard", "1/2"}, {"--seed", "1", "--shard", "1/3"}},
         "",
         "different shard counts"},
        {"cut",
         {{"--seed", "1", "--shard", "1/2"}, {"--seed", "1", "--shard", "2/2"}},
         "results.txt.shard-2-of-2",
         "shard 2 of 2"},
        {"none", {}, "", "no shard files of results.txt found"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        for (const auto& options : c.shards)
            ASSERT_EQ(runIn(dir, seededParams(), options).run.exitStatus, 0) << c.what;
        if (!c.change.empty()) {
            const std::string text = dir.read(c.change);
            dir.write(c.change, text.substr(0, text.size() - 30));
        }
        dir.write("params.txt", seededParams().str());
        dir.write("data.txt", kData);
        const ChildResult merge = runFoundabc({"--merge", "params.txt"}, dir.path());
        EXPECT_EQ(merge.exitStatus, 1) << c.what;
        EXPECT_NE(merge.out.find(c.message), std::string::npos) << c.what << ": " << merge.out;
        EXPECT_FALSE(dir.exists("results.txt")) << c.what;
    }
    // A shard killed before it finished leaves only its unfinished file.
    {
        TempDir dir;
        for (const char* K : {"1/2", "2/2"})
            ASSERT_EQ(runIn(dir, seededParams(), {"--seed", "1", "--shard", K}).run.exitStatus, 0);
        std::rename(dir.file("results.txt.shard-2-of-2").c_str(),
                    dir.file("results.txt.shard-2-of-2.partial").c_str());
        const ChildResult merge = runFoundabc({"--merge", "params.txt"}, dir.path());
        EXPECT_EQ(merge.exitStatus, 1);
        EXPECT_NE(merge.out.find("shard 2 of 2 is incomplete"), std::string::npos) << merge.out;
    }
    // Shards made with other settings are refused too.
    TempDir dir;
    ASSERT_EQ(runIn(dir, seededParams(), {"--seed", "1", "--shard", "1/1"}).run.exitStatus, 0);
    dir.write("params.txt", seededParams().set("EPSILON", "0.7").str());
    const ChildResult merge = runFoundabc({"--merge", "params.txt"}, dir.path());
    EXPECT_EQ(merge.exitStatus, 1);
    EXPECT_NE(merge.out.find("other settings"), std::string::npos) << merge.out;
}

// An interrupted merge (part of its bytes appended) resumes: the rerun
// appends the rest, so no row is lost or repeated, whether it finds the
// journal of the killed merge, none, a damaged one or one of an older format.
TEST(SeededRun, InterruptedMergeResumes) {
    TempDir reference;
    const RunFiles one = runIn(reference, seededParams(), {"--seed", "8"});
    const std::string earlier = "an earlier run's cut row 1.2e+";
    const std::string merged = "\n" + one.results;  // a line end after the cut row
    std::vector<std::string> journals = {"older", "none", "damaged"};
    if (haveStrace()) journals.push_back("killed");
    for (const std::string& journal : journals)
        for (size_t cut : {size_t{0}, size_t{1}, size_t{200}, merged.size()}) {
            TempDir dir;
            for (const char* K : {"1/2", "2/2"})
                ASSERT_EQ(runIn(dir, seededParams(), {"--seed", "8", "--shard", K}).run.exitStatus,
                          0);
            dir.write("results.txt", earlier);
            if (journal == "killed")  // at its first write to the results file
                merge(dir, killAt("write", "results.txt"));
            else if (journal == "older")
                dir.write("results.txt.merge-journal", std::to_string(earlier.size()) + " 1 " +
                                                           std::to_string(merged.size()) +
                                                           " appending\n");
            else if (journal == "damaged")
                dir.write("results.txt.merge-journal", "foundabc-merge-journal 1\nrun 8 2\n");
            dir.write("results.txt", earlier + merged.substr(0, cut));
            const ChildResult again = merge(dir);
            ASSERT_EQ(again.exitStatus, 0) << journal << cut << again.out;
            EXPECT_EQ(dir.read("results.txt"), earlier + merged) << journal << cut;
            EXPECT_FALSE(dir.exists("results.txt.merge-journal")) << journal << cut;
        }
}

// A merge killed after its last step leaves a journal marked complete: it
// must never take a later run's shards for its own. A merge killed while it
// removed its shards is tidied up by the rerun.
TEST(SeededRun, CompleteJournalOnlyRemovesItsOwnShards) {
    if (!haveStrace()) GTEST_SKIP() << "strace is not installed";
    TempDir first, second, dir;
    const RunFiles one = runIn(first, seededParams(), {"--seed", "8"});
    const RunFiles two = runIn(second, seededParams(), {"--seed", "9"});
    auto shards = [&](const char* seed) {
        for (const char* K : {"1/2", "2/2"})
            ASSERT_EQ(runIn(dir, seededParams(), {"--seed", seed, "--shard", K}).run.exitStatus, 0);
    };
    shards("8");
    EXPECT_NE(merge(dir, killAt("unlink", "results.txt.merge-journal")).exitStatus, 0);
    ASSERT_TRUE(dir.exists("results.txt.merge-journal"));
    shards("9");
    const ChildResult later = merge(dir);
    EXPECT_EQ(later.exitStatus, 0) << later.out;
    EXPECT_EQ(dir.read("results.txt"), one.results + two.results);

    shards("8");
    EXPECT_NE(merge(dir, killAt("unlink", "results.txt.shard-2-of-2")).exitStatus, 0);
    EXPECT_FALSE(dir.exists("results.txt.shard-1-of-2"));
    const ChildResult tidy = merge(dir);
    EXPECT_NE(tidy.out.find("already complete"), std::string::npos) << tidy.out;
    EXPECT_FALSE(dir.exists("results.txt.shard-2-of-2"));
    EXPECT_EQ(dir.read("results.txt"), one.results + two.results + one.results);
}

// A shard file or journal that the merge cannot remove is named in a note;
// the merge is complete all the same.
TEST(SeededRun, FilesTheMergeCannotRemoveAreNamed) {
    if (!haveStrace()) GTEST_SKIP() << "strace is not installed";
    TempDir reference;
    const RunFiles one = runIn(reference, seededParams(), {"--seed", "8"});
    for (const char* left : {"results.txt.shard-2-of-2", "results.txt.merge-journal"}) {
        TempDir dir;
        for (const char* K : {"1/2", "2/2"})
            ASSERT_EQ(runIn(dir, seededParams(), {"--seed", "8", "--shard", K}).run.exitStatus, 0);
        const ChildResult r =
            merge(dir, straced({"-o", "/dev/null", "-P", left, "-e", "trace=unlink,unlinkat", "-e",
                                "inject=unlink,unlinkat:error=EACCES"}));
        EXPECT_EQ(r.exitStatus, 0) << left << r.out;
        EXPECT_NE(r.out.find(std::string("note: ") + left +
                             " could not be removed (Permission denied); remove it by hand\n"),
                  std::string::npos)
            << r.out;
        EXPECT_TRUE(dir.exists(left));
        EXPECT_EQ(dir.read("results.txt"), one.results) << left;
    }
}

// Faults and foreign files around a merge: either the merge ends whole with
// the one run's bytes, or it stops with a message and status 1, keeps the
// shards and touches no output; one stopped by a failing read of a shard
// (injected by strace) may have begun its outputs, and a plain rerun then
// completes them.
TEST(SeededRun, MergeUnderFaultsStopsCleanlyOrWritesTheOneRunsBytes) {
    TempDir reference, made;
    const std::vector<std::string> table = {"--table", "table.tsv"};
    const RunFiles one = runIn(reference, seededParams(), {"--seed", "3", "--table", "table.tsv"});
    const std::vector<std::string> files = {"params.txt", "data.txt", "results.txt.shard-1-of-3",
                                            "results.txt.shard-2-of-3", "results.txt.shard-3-of-3"};
    for (const char* K : {"1/3", "2/3", "3/3"})
        ASSERT_EQ(runIn(made, seededParams(), {"--seed", "3", "--shard", K, "--table", "table.tsv"})
                      .run.exitStatus,
                  0);
    using Change = std::function<void(const TempDir&)>;
    auto touch = [](const char* name) -> Change {
        return [name](const TempDir& d) { d.write(name, ""); };
    };
    struct Case {
        std::string what;
        Change change;        // to the folder before the merge, or none
        std::string held;     // a file locked during the merge, or ""
        std::string message;  // "": a fault that the merge may also not meet
        std::vector<std::string> wrapper = {};
    };
    std::vector<Case> cases = {
        {"count 0", touch("results.txt.shard-1-of-0"), "", "is named like a shard file"},
        {"index 0", touch("results.txt.shard-0-of-3"), "", "is named like a shard file"},
        {"index > count", touch("results.txt.shard-4-of-3"), "", "is named like a shard file"},
        {"leading zero", touch("results.txt.shard-02-of-3"), "", "is named like a shard file"},
        {"FIFO",
         [](const TempDir& d) {
             std::remove(d.file("results.txt.shard-2-of-3").c_str());
             mkfifo(d.file("results.txt.shard-2-of-3").c_str(), 0600);
         },
         "",
         "is not a regular file",
         {"timeout", "20"}},
        {"seed edited in every header",
         [&](const TempDir& d) {
             for (int K = 2; K <= 4; ++K) {
                 std::string text = d.read(files[K]);
                 d.write(files[K], text.replace(text.find("seed 3"), 6, "seed 8"));
             }
         },
         "", "is damaged"},
        {"another merge", nullptr, "results.txt.merge-journal", "another merge"},
        {"journal a link to the data file",
         [](const TempDir& d) { symlink("data.txt", d.file("results.txt.merge-journal").c_str()); },
         "", "error: merge: results.txt.merge-journal is a symbolic link"},
        {"a shard running", nullptr, "results.txt.shard-2-of-3.partial", "is being run now"},
        {"results held by a run", nullptr, "results.txt", "being written by another run"},
    };
    if (haveStrace()) {
        const std::vector<std::string> strace =
            straced({"-o", "/dev/null", "-P", "results.txt.shard-2-of-3"});
        auto fault = [&](const std::string& call, const char* error, int when) {
            std::vector<std::string> w = strace;
            w.insert(w.end(),
                     {"-e", "trace=" + call, "-e",
                      "inject=" + call + ":error=" + error + ":when=" + std::to_string(when)});
            cases.push_back({call + " " + std::to_string(when), nullptr, "", "", w});
        };
        for (int when = 1; when <= 4; ++when) fault("openat", "EACCES", when);
        for (int when : {1, 2, 3, 4, 6, 9, 14, 20}) fault("read", "EIO", when);
    }
    for (const Case& c : cases) {
        TempDir dir;
        for (const std::string& name : files) dir.write(name, made.read(name));
        dir.write("table.tsv", "an earlier table\n");
        dir.write("table.tsv.observed.tsv", "its observed statistics\n");
        if (c.change) c.change(dir);
        std::optional<HeldLock> lock;
        if (!c.held.empty()) lock.emplace(dir.file(c.held));
        const ChildResult r = merge(dir, c.wrapper);
        lock.reset();
        EXPECT_EQ(dir.read("data.txt"), kData) << c.what;
        if (r.exitStatus == 0 && c.message.empty()) {
            EXPECT_EQ(dir.read("results.txt"), one.results) << c.what;
            EXPECT_EQ(dir.read("table.tsv"), one.table) << c.what;
            continue;
        }
        EXPECT_EQ(r.exitStatus, 1) << c.what;
        EXPECT_NE(r.out.find(c.message.empty() ? "error: merge: " : c.message), std::string::npos)
            << c.what << ": " << r.out;
        for (int K = 2; K <= 4; ++K) EXPECT_TRUE(dir.exists(files[K])) << c.what;
        if (c.message.empty()) {
            const ChildResult again = merge(dir);
            EXPECT_EQ(again.exitStatus, 0) << c.what << again.out;
            EXPECT_EQ(dir.read("results.txt"), one.results) << c.what;
            EXPECT_EQ(dir.read("table.tsv"), one.table) << c.what;
            continue;
        }
        EXPECT_EQ(dir.read("table.tsv"), "an earlier table\n") << c.what;
        EXPECT_EQ(dir.read("table.tsv.observed.tsv"), "its observed statistics\n") << c.what;
        EXPECT_EQ(dir.read("results.txt"), "") << c.what;
    }
    // A link at a shard's unfinished file is refused, not written through.
    {
        TempDir linked;
        linked.write("data.txt", kData);
        ASSERT_EQ(symlink("data.txt", linked.file("results.txt.shard-1-of-3.partial").c_str()), 0);
        const RunFiles shard = runIn(linked, seededParams(), {"--seed", "3", "--shard", "1/3"});
        EXPECT_EQ(shard.run.exitStatus, 1);
        EXPECT_NE(shard.run.out.find("error: shard: results.txt.shard-1-of-3.partial is a "
                                     "symbolic link"),
                  std::string::npos)
            << shard.run.out;
        EXPECT_EQ(linked.read("data.txt"), kData);
    }
    // A shard is not run while a merge of its results file runs.
    TempDir dir;
    HeldLock merging(dir.file("results.txt.merge-journal"));
    const RunFiles shard = runIn(dir, seededParams(), {"--seed", "3", "--shard", "1/3"});
    EXPECT_EQ(shard.run.exitStatus, 1);
    EXPECT_NE(shard.run.out.find("error: shard: a merge of the shards of results.txt is running"),
              std::string::npos)
        << shard.run.out;
}

// Every output of a merge is on the disk before the first shard file goes.
TEST(SeededRun, MergeSyncsEveryOutputBeforeItRemovesAShard) {
    if (!haveStrace()) GTEST_SKIP() << "strace is not installed";
    TempDir dir;
    for (const char* K : {"1/2", "2/2"})
        ASSERT_EQ(runIn(dir, seededParams(), {"--seed", "4", "--shard", K, "--table", "t.tsv"})
                      .run.exitStatus,
                  0);
    ASSERT_EQ(merge(dir, straced({"-y", "-o", "trace.log", "-e",
                                  "trace=fsync,fdatasync,unlink,unlinkat"}))
                  .exitStatus,
              0);
    const std::string trace = dir.read("trace.log");
    const size_t firstRemoval = trace.find(".shard-1-of-2\"");
    ASSERT_NE(firstRemoval, std::string::npos) << trace;
    for (const char* name : {"results.txt", "t.tsv", "t.tsv.observed.tsv", "t.tsv.priors.tsv",
                             "results.txt.merge-journal"})
        EXPECT_LT(trace.find(std::string("/") + name + ">)"), firstRemoval) << name << trace;
}

TEST(CommandLine, OptionsAreCheckedBeforeAnythingIsRead) {
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string output;  // a part of standard output
    };
    const Case cases[] = {
        {{"--help"}, 0, "--threads"},
        {{"--version"}, 0, "foundabc "},
        {{"--bogus", "p.txt"}, 1, "foundabc: "},
        {{"--sed", "1", "p.txt"}, 1, "foundabc: unknown option '--sed'; did you mean --seed?\n"},
        {{"--seed", "1", "--seed", "2", "p.txt"},
         1,
         "foundabc: --seed is given 2 times (1, 2); give it once\n"},
        {{"--shard", "1/2", "p.txt"}, 1, "--shard needs --seed"},
        {{"--seed", "1", "--shard", "3/2", "p.txt"}, 1, "--shard wants K/M"},
        {{"--seed", "1", "--shard", "x", "p.txt"}, 1, "--shard wants K/M"},
        {{"--seed", "-1", "p.txt"}, 1, "foundabc: "},
        {{"--threads", "-2", "p.txt"}, 1, "foundabc: "},
        {{"--merge", "--threads", "2", "p.txt"}, 1, "foundabc: "},
        {{"--clock-seed", "--from-sample", "s.tsv", "p.txt"}, 1, "excludes --from-sample"},
        {{"--merge", "--seed", "99", "--legacy-model", "p.txt"},
         1,
         "foundabc: --merge takes the seed, model and table from the shards: --seed, "
         "--legacy-model cannot be given with it"},
        {{"--seed", "1"},
         1,
         "Not enough arguments (infile): give the parameter file, as in foundabc params.txt\n"},
        {{"--seed", "1", "a.txt", "b.txt"},
         1,
         "Not enough arguments (infile): one parameter file is read, but 2 files were given "
         "(a.txt b.txt); give only the parameter file, which names the data file "
         "(DATAFILE_NAME)\n"},
        {{"--clock-seed", "--seed", "1", "p.txt"}, 1, "--clock-seed and --seed both choose"},
        {{"--clock-seed", "--threads", "1", "p.txt"}, 1, "drop --threads, or use --seed S"},
        {{"--clock-seed", "--shard", "1/2", "p.txt"}, 1, "cannot be split into shards"},
        {{"--clock-seed", "--merge", "p.txt"}, 1, "--merge takes the seed of its shards"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const ChildResult r = runFoundabc(c.args, dir.path());
        EXPECT_EQ(r.exitStatus, c.status) << c.args.front();
        EXPECT_NE(r.out.find(c.output), std::string::npos) << c.args.front() << ": " << r.out;
    }
}

// Without --seed a run takes a fresh seed, prints it where --seed S prints
// its seed, and that seed repeats the run byte for byte; two such runs in the
// same second (the clock stands still here) differ.
TEST(SeededRun, PrintedSeedRepeatsTheRun) {
    for (const std::vector<std::string>& options :
         {std::vector<std::string>{}, {"--threads", "2"}}) {
        TempDir a, b, c;
        const RunFiles first = runIn(a, seededParams(), options);
        const size_t at = first.run.out.find("SEED = ");
        ASSERT_NE(at, std::string::npos) << first.run.out;
        const std::string seed =
            first.run.out.substr(at + 7, first.run.out.find('\n', at) - at - 7);
        const RunFiles again = runIn(b, seededParams(), {"--seed", seed});
        EXPECT_EQ(again.run.out, first.run.out);
        EXPECT_EQ(again.results, first.results);
        EXPECT_NE(runIn(c, seededParams(), options).run.out, first.run.out);
    }
}

// The fresh seed is 8 bytes of getrandom, or of the device file where the
// call fails; with neither the run stops with a message.
TEST(FreshSeed, TakenFromGetrandomElseTheDeviceElseAnError) {
    TempDir dir;
    const std::string device =
        dir.write("urandom", std::string("\x01\x02\x03\x04\x05\x06\x07\x08x", 9));
    const std::string shortDevice = dir.write("short", "abc");
    auto givesSevens = [](void* buffer, size_t length, unsigned int) -> ssize_t {
        std::memset(buffer, 7, length > 3 ? 3 : length);  // a short read, then the rest
        return length > 3 ? 3 : static_cast<ssize_t>(length);
    };
    auto missing = [](void*, size_t, unsigned int) -> ssize_t { return errno = ENOSYS, -1; };
    EXPECT_EQ(freshSeedFrom(givesSevens, device.c_str()), 0x0707070707070707ull);
    EXPECT_EQ(freshSeedFrom(missing, device.c_str()), 0x0807060504030201ull);
    for (const std::string& path : {shortDevice, dir.file("none")}) {
        const ChildResult r = runInChild([&] { freshSeedFrom(missing, path.c_str()); });
        EXPECT_EQ(r.exitStatus, 1);
        EXPECT_EQ(
            r.out.rfind("error: cannot take a seed from the operating system (getrandom: ", 0), 0u)
            << r.out;
        EXPECT_NE(r.out.find("); give one with --seed S\n"), std::string::npos) << r.out;
    }
}

namespace {

// Tab-separated fields of line `n` (from 0) of `text`.
std::vector<std::string> fieldsOfLine(const std::string& text, int n) {
    std::size_t at = 0;
    for (int k = 0; k < n; ++k) at = text.find('\n', at) + 1;
    std::vector<std::string> fields;
    const std::string line = text.substr(at, text.find('\n', at) - at);
    for (std::size_t start = 0, tab;; start = tab + 1) {
        tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab - start));
        if (tab == std::string::npos) return fields;
    }
}

const char* kSampleHeader =
    "sim\tweight\tMy\tTimeToOri\tPopSizeOriTha\tPopSizePreTha\t"
    "PopSizeOriSue\tPopSizePreSue\n";

}  // namespace

// A sample of one row draws as the priors drew its values: simulation i of a
// seed then has the same statistics; and --simulate-data at those values is
// simulation 0 of its seed.
TEST(FromSample, OneRowSampleRepeatsTheSimulationAtItsValues) {
    // With the generalised stepwise model the row brings its GsmP (the
    // column after PopSizePreSue in the table, the last in the sample).
    const ParamsFileText gsm =
        seededParams(5).set("GSM_P_LOWER", "0.1").set("GSM_P_UPPER", "0.6");
    for (const auto& [params, sim, header] :
         {std::tuple{seededParams(5), 1, std::string(kSampleHeader)},
          std::tuple{seededParams(5), 3, std::string(kSampleHeader)},
          std::tuple{gsm, 2, std::string(kSampleHeader).insert(strlen(kSampleHeader) - 1, "\tGsmP")},
          std::tuple{gsm, 3, std::string(kSampleHeader).insert(strlen(kSampleHeader) - 1,
                                                                 "\tGsmP\tGsmP_adj")}}) {
        TempDir prior, sampled, pod;
        const RunFiles one = runIn(prior, params, {"--seed", "42", "--table", "table.tsv"});
        ASSERT_EQ(one.run.exitStatus, 0) << one.run.out;
        {
            const std::vector<std::string> row = fieldsOfLine(one.table, sim);
            std::string sample = header + "7\t0.5";
            for (int c = 1; c <= 6; ++c) sample += "\t" + row[c];
            // GsmP_adj, when there, is the one drawn.
            if (header.find("GsmP_adj") != std::string::npos) sample += "\t0.99";
            if (header.find("GsmP") != std::string::npos) sample += "\t" + row[7];
            sampled.write("sample.tsv", sample + "\n");
            const RunFiles f =
                runIn(sampled, params,
                      {"--seed", "42", "--from-sample", "sample.tsv", "--table", "table.tsv"});
            ASSERT_EQ(f.run.exitStatus, 0) << f.run.out;
            EXPECT_NE(
                f.run.out.find("FROM_SAMPLE = sample.tsv (1 row, 1 of positive weight; unadjusted"),
                std::string::npos);
            EXPECT_EQ(fieldsOfLine(f.table, sim), row) << sim;
            EXPECT_NE(fieldsOfLine(f.table, 2 + (sim == 2)), fieldsOfLine(one.table, 2 + (sim == 2)));
            if (sim != 1) continue;
            // The data file --simulate-data writes has the statistics of
            // simulation 0 (to rounding: its values are shifted per locus).
            std::string at;
            for (int c = 1; c <= 6; ++c)
                at += std::string(c > 1 ? "," : "") + fieldsOfLine(one.table, 0)[c] + "=" + row[c];
            pod.write("params.txt", seededParams(0).str());
            pod.write("pod-params.txt", seededParams(0).set("DATAFILE_NAME", "pod.txt").str());
            ASSERT_EQ(
                runFoundabc({"--simulate-data", "pod.txt", "--seed", "42", "--at", at, "params.txt"},
                            pod.path())
                    .exitStatus,
                0);
            ASSERT_EQ(runFoundabc({"--seed", "1", "--table", "t.tsv", "pod-params.txt"}, pod.path())
                          .exitStatus,
                      0);
            const std::vector<std::string> observed = fieldsOfLine(pod.read("t.tsv.observed.tsv"), 1);
            for (std::size_t k = 0; k < observed.size(); ++k)
                EXPECT_NEAR(std::stod(observed[k]), std::stod(row[8 + k]),
                            1e-12 * std::fabs(std::stod(row[8 + k])))
                    << k;
        }
    }
}

// Threads and shards give the same bytes as one run, from a sample as from
// the priors; the merge needs the same sample.
TEST(FromSample, ThreadsAndMergedShardsGiveTheBytesOfOneRun) {
    const std::string sample = std::string(kSampleHeader) +
                               "1\t0.2\t0.003\t40\t150\t1500\t15\t150\n"
                               "2\t0\t0.009\t80\t110\t1100\t11\t110\n"
                               "3\t0.8\t0.006\t20\t190\t1900\t19\t190\n";
    auto run = [&](const TempDir& dir, std::vector<std::string> args) {
        dir.write("sample.tsv", sample);
        args.insert(args.end(), {"--seed", "9", "--from-sample", "sample.tsv", "--table", "t.tsv"});
        return runIn(dir, seededParams(), args);
    };
    TempDir reference;
    const RunFiles one = run(reference, {});
    ASSERT_EQ(one.run.exitStatus, 0) << one.run.out;
    const std::string table = reference.read("t.tsv");
    EXPECT_EQ(table.find("\t0.009\t"), std::string::npos);  // weight 0: never drawn
    TempDir threads;
    const RunFiles three = run(threads, {"--threads", "3"});
    EXPECT_EQ(three.run.out, one.run.out);
    EXPECT_EQ(threads.read("t.tsv"), table);
    TempDir dir;
    for (const char* K : {"2/2", "1/2"}) ASSERT_EQ(run(dir, {"--shard", K}).run.exitStatus, 0);
    // Without the sample, or with another, the shards are not this run's.
    EXPECT_EQ(runFoundabc({"--merge", "params.txt"}, dir.path()).exitStatus, 1);
    dir.write("other.tsv", std::string(kSampleHeader) + "1\t1\t0.003\t40\t150\t1500\t15\t150\n");
    EXPECT_EQ(
        runFoundabc({"--merge", "--from-sample", "other.tsv", "params.txt"}, dir.path()).exitStatus,
        1);
    const ChildResult merge =
        runFoundabc({"--merge", "--from-sample", "sample.tsv", "params.txt"}, dir.path());
    ASSERT_EQ(merge.exitStatus, 0) << merge.out;
    EXPECT_EQ(merge.out, one.run.out);
    EXPECT_EQ(dir.read("results.txt"), one.results);
    EXPECT_EQ(dir.read("t.tsv"), table);
}

// The sample is an input: no table, merged table or results file lands on
// it, by its name or another of its names.
TEST(FromSample, NoOutputLandsOnTheSample) {
    const std::string sample = std::string(kSampleHeader) + "1\t1\t0.003\t40\t150\t1500\t15\t150\n";
    struct Case {
        const char* what;
        ParamsFileText params;
        std::vector<std::vector<std::string>> runs;  // the last one is refused
        std::string message;
    };
    const std::vector<std::string> from = {"--seed", "2", "--from-sample", "post.tsv"};
    auto with = [&](std::vector<std::string> more) {
        more.insert(more.begin(), from.begin(), from.end());
        return more;
    };
    const Case cases[] = {
        {"table",
         seededParams(20),
         {with({"--table", "post.tsv"})},
         "error: table: the reference table post.tsv is the sample file post.tsv"},
        {"table by a link",
         seededParams(20),
         {with({"--table", "link.tsv"})},
         "error: table: the reference table link.tsv is the sample file post.tsv"},
        {"shard's table",
         seededParams(20),
         {with({"--shard", "1/1", "--table", "post.tsv"})},
         "is the sample file post.tsv"},
        {"merged table",
         seededParams(20),
         {{"--seed", "2", "--from-sample", "copy.tsv", "--shard", "1/1", "--table", "post.tsv"},
          {"--merge", "--from-sample", "post.tsv"}},
         "error: table: the reference table post.tsv is the sample file post.tsv"},
        {"results file",
         seededParams(20).set("OUTFILE_NAME", "post.tsv"),
         {with({"--table", "t.tsv"})},
         "error: results file post.tsv is the sample file; give OUTFILE_NAME a name of its own"},
        {"merged results file",
         seededParams(20).set("OUTFILE_NAME", "post.tsv"),
         {{"--seed", "2", "--from-sample", "copy.tsv", "--shard", "1/1", "--table", "t.tsv"},
          {"--merge", "--from-sample", "post.tsv"}},
         "error: results file post.tsv is the sample file"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        dir.write("copy.tsv", sample);
        dir.write("post.tsv", sample);
        ASSERT_EQ(symlink("post.tsv", dir.file("link.tsv").c_str()), 0);
        RunFiles f;
        for (const auto& args : c.runs) f = runIn(dir, c.params, args);
        EXPECT_EQ(f.run.exitStatus, 1) << c.what << ": " << f.run.out;
        EXPECT_NE(f.run.out.find(c.message), std::string::npos) << c.what << ": " << f.run.out;
        EXPECT_EQ(dir.read("post.tsv"), sample) << c.what;
    }
}

// A table records what made it and a sample the table it came from; each
// command checks what it relies on: a predictive run that the sample's
// settings and data, foundabc-summary which kind of table it reads.
TEST(FromSample, TablesAndSamplesRecordWhatMadeThemAndAreChecked) {
    TempDir dir;
    dir.write("data.txt", kData);
    dir.write("data2.txt",
              std::string(kData).substr(0, std::string(kData).rfind("7 8")) + "7 8 7 9 10 6 9\n");
    auto foundabc = [&](const ParamsFileText& params, std::vector<std::string> args) {
        dir.write("params.txt", params.str());
        args.push_back("params.txt");
        return runFoundabc(args, dir.path(), "2024-01-01 00:00:00", dir.file("err"));
    };
    auto summary = [&](std::vector<std::string> args) {
        args.insert(args.begin(), FOUNDABC_SUMMARY_BIN);
        return runProgram(args, dir.path(), dir.file("err"));
    };
    ASSERT_EQ(foundabc(seededParams(300), {"--seed", "1", "--table", "prior.tsv"}).exitStatus, 0);
    const std::string priorResults = dir.read("results.txt");
    EXPECT_NE(dir.read("prior.tsv.priors.tsv").find("# made from: prior\n# settings: "),
              std::string::npos);
    ASSERT_EQ(summary({"--table", "prior.tsv", "--method", "loclinear", "--tol", "0.2", "--sample",
                       "post.tsv"})
                  .exitStatus,
              0)
        << dir.read("err");
    const std::string post = dir.read("post.tsv"), origin = dir.read("post.tsv.origin");
    EXPECT_NE(origin.find("\ntable\tprior.tsv\nsample\t"), std::string::npos) << origin;
    dir.write("bare.tsv", post);
    dir.write("edited.tsv", post + "\n");
    dir.write("edited.tsv.origin", origin);
    struct Case {
        const char* what;
        ParamsFileText params;
        std::string sample;
        int status;
        std::string message;  // on standard output for an error, else on standard error
    };
    const Case cases[] = {
        {"the table's settings", seededParams(40), "post.tsv", 0, ""},
        {"other REPEATS, EPSILON and results file",
         seededParams(30).set("EPSILON", "0.9").set("OUTFILE_NAME", "pred.txt"), "post.tsv", 0, ""},
        {"other priors", seededParams(40).set("MY_UPPER", "0.02"), "post.tsv", 1,
         "error: sample: post.tsv was made from the table prior.tsv, simulated with other "
         "settings (sample sizes, loci, ALPHA, priors, founding options or --model) than "
         "params.txt: its rows are a posterior for another model or data set"},
        {"other data", seededParams(40).set("DATAFILE_NAME", "data2.txt"), "post.tsv", 1,
         "for other observed data than the data file of params.txt"},
        {"no record", seededParams(40), "bare.tsv", 0,
         "foundabc: warning: sample: bare.tsv has no record of the table it came from "
         "(bare.tsv.origin, written beside the samples of foundabc-summary --table --sample): "
         "it cannot be checked against the settings and data of this run\n"},
        {"a record of another sample", seededParams(40), "edited.tsv", 0,
         "edited.tsv.origin describes another sample than edited.tsv"},
    };
    for (const Case& c : cases) {
        const ChildResult r =
            foundabc(c.params, {"--seed", "2", "--from-sample", c.sample, "--table", "pred.tsv"});
        EXPECT_EQ(r.exitStatus, c.status) << c.what << ": " << r.out;
        const std::string said = c.status ? r.out : dir.read("err");
        if (c.message.empty())  // no warning: only the run's final line
            EXPECT_EQ(said.find("warning"), std::string::npos) << c.what << ": " << said;
        else
            EXPECT_NE(said.find(c.message), std::string::npos) << c.what << ": " << said;
    }
    // pred.tsv is now the last successful run's, drawn from edited.tsv.
    EXPECT_NE(dir.read("pred.tsv.priors.tsv").find("# made from: sample "), std::string::npos);
    EXPECT_EQ(summary({"--ppc", "pred.tsv"}).exitStatus, 0) << dir.read("err");
    EXPECT_EQ(summary({"--ppc", "prior.tsv"}).exitStatus, 1);
    EXPECT_NE(dir.read("err").find("prior.tsv was simulated from the priors"), std::string::npos);
    EXPECT_EQ(summary({"--table", "pred.tsv", "--method", "loclinear"}).exitStatus, 1);
    EXPECT_NE(dir.read("err").find("pred.tsv was simulated from a posterior sample"),
              std::string::npos);
    // A predictive run writes its table only, and says so.
    EXPECT_EQ(dir.read("results.txt"), priorResults);
    EXPECT_FALSE(dir.exists("pred.txt"));
    EXPECT_NE(foundabc(seededParams(40), {"--seed", "2", "--from-sample", "post.tsv", "--table",
                                          "pred.tsv"})
                  .out.find("RESULTS = none: a run from a sample writes its simulations to the "
                            "reference table only"),
              std::string::npos);
    EXPECT_EQ(dir.read("results.txt"), priorResults);

    // The records hold when edited, and follow the values actually used.
    const std::string predPriors = dir.read("pred.tsv.priors.tsv");
    const std::string priorObserved = dir.read("prior.tsv.observed.tsv");
    auto without = [](std::string text, const std::string& start) {
        const std::size_t at = text.find(start);
        return text.erase(at, text.find('\n', at) + 1 - at);
    };
    std::string otherObserved = priorObserved;
    {  // the first value replaced by 0.5
        const std::size_t first = otherObserved.find('\n') + 1;
        otherObserved.replace(first, otherObserved.find('\t', first) - first, "0.5");
    }
    struct Edit {
        const char* what;
        std::function<void()> setUp;
        std::vector<std::string> summaryArgs;  // empty: run foundabc with foundabcArgs
        std::vector<std::string> foundabcArgs;
        int status;
        std::string message;  // on standard error of the summary, or the run's output
    };
    const std::vector<Edit> edits = {
        {"predictive table without its settings line",
         [&] { dir.write("pred.tsv.priors.tsv", without(predPriors, "# settings:")); },
         {"--table", "pred.tsv"}, {}, 1, "pred.tsv was simulated from a posterior sample"},
        {"predictive table without its data line",
         [&] { dir.write("pred.tsv.priors.tsv", without(predPriors, "# data:")); },
         {"--table", "pred.tsv"}, {}, 1, "has no line '# data:'"},
        {"predictive table with '# Made from'",
         [&] {
             std::string text = predPriors;
             text[text.find("# made from") + 2] = 'M';
             dir.write("pred.tsv.priors.tsv", text);
         },
         {"--table", "pred.tsv"}, {}, 1, "does not say clearly what made the table"},
        {"predictive table without its made-from line",
         [&] { dir.write("pred.tsv.priors.tsv", without(predPriors, "# made from:")); },
         {"--table", "pred.tsv"}, {}, 1, "no line '# made from:'"},
        {"edited observed statistics",
         [&] { dir.write("prior.tsv.observed.tsv", otherObserved); },
         {"--table", "prior.tsv", "--method", "rejection"}, {}, 0,
         "prior.tsv.observed.tsv is not the observed data that the table was simulated for"},
        {"a sample of other observed values",
         [&] {
             dir.write("prior.tsv.observed.tsv", priorObserved);
             dir.write("obs.tsv", otherObserved);
             ASSERT_EQ(summary({"--table", "prior.tsv", "--method", "forest", "--trees", "20",
                                "--observed", "obs.tsv", "--sample", "obs-post.tsv"})
                           .exitStatus,
                       0)
                 << dir.read("err");
         },
         {}, {"--from-sample", "obs-post.tsv", "--table", "p2.tsv"}, 1,
         "for other observed data than the data file of params.txt"},
        {"a table over the sample's record", [] {}, {},
         {"--from-sample", "post.tsv", "--table", "post.tsv.origin"}, 1,
         "is the record of the sample post.tsv.origin"},
    };
    for (const Edit& e : edits) {
        e.setUp();
        const std::string originBefore = dir.read("post.tsv.origin");
        if (!e.summaryArgs.empty()) {
            EXPECT_EQ(summary(e.summaryArgs).exitStatus, e.status) << e.what;
            EXPECT_NE(dir.read("err").find(e.message), std::string::npos)
                << e.what << ": " << dir.read("err");
        } else {
            std::vector<std::string> args = {"--seed", "2"};
            args.insert(args.end(), e.foundabcArgs.begin(), e.foundabcArgs.end());
            const ChildResult r = foundabc(seededParams(40), args);
            EXPECT_EQ(r.exitStatus, e.status) << e.what << ": " << r.out;
            EXPECT_NE(r.out.find(e.message), std::string::npos) << e.what << ": " << r.out;
        }
        EXPECT_EQ(dir.read("post.tsv.origin"), originBefore) << e.what;
    }
    // A results file on the sample's record is refused too.
    const ChildResult onRecord =
        foundabc(seededParams(40).set("OUTFILE_NAME", "post.tsv.origin"),
                 {"--seed", "2", "--from-sample", "post.tsv", "--table", "p3.tsv"});
    EXPECT_EQ(onRecord.exitStatus, 1);
    EXPECT_NE(onRecord.out.find("is the record of the sample file"), std::string::npos)
        << onRecord.out;
}

// Rows are drawn in proportion to their weights; rows of weight 0 never.
TEST(FromSample, RowsAreDrawnByWeight) {
    SampleRows rows;
    ASSERT_EQ(parseSampleText(std::string(kSampleHeader) +
                                  "1\t1\t1\t1\t1\t2\t1\t2\n2\t0\t2\t1\t1\t2\t1\t2\n"
                                  "3\t3\t3\t1\t1\t2\t1\t2\n4\t0\t4\t1\t1\t2\t1\t2\n",
                              "s", rows),
              "");
    const SampleDraw sample(rows);
    TestRng rng(5);
    int counts[5] = {};
    for (int i = 0; i < 40000; ++i) ++counts[static_cast<int>(sample.draw()[My])];
    EXPECT_EQ(counts[2] + counts[4], 0);
    EXPECT_NEAR(counts[1] / 40000.0, 0.25, 0.01);  // about 4.6 standard errors

    // Weights each finite but of an infinite sum still share the draws.
    std::string huge = kSampleHeader;
    for (int i = 1; i <= 100; ++i)
        huge += std::to_string(i) + "\t1e308\t0.003\t" + std::to_string(i) + "\t1\t2\t1\t2\n";
    ASSERT_EQ(parseSampleText(huge, "s", rows), "");
    const SampleDraw even(rows);
    std::set<double> seen;
    for (int i = 0; i < 2000; ++i) seen.insert(even.draw()[TimeToOri]);
    EXPECT_GT(seen.size(), 90u);  // each row missed with probability e^-20
}

TEST(FromSample, BadSamplesAreRefusedWithTheirLine) {
    const std::string head = kSampleHeader;
    const std::string good = "1\t1\t0.003\t40\t150\t1500\t15\t150\n";
    struct Case {
        std::string text, message;  // message "" : accepted
    };
    const Case cases[] = {
        {"", "s is empty"},
        {"sim\tMy\n", "s has no column weight"},
        {"weight\tMy\n", "s has no column TimeToOri"},
        {"weight\tweight\n", "names the column weight twice"},
        {head.substr(0, head.size() - 1) + "\tMy_adj\n", "but not TimeToOri_adj"},
        {head + "1\t1\t0.003\n", "s, line 2: 3 fields where the header has 8"},
        {head + good + "2\t1\tNaN\t40\t150\t1500\t15\t150\n",
         "s, line 3: My is not a finite number ('NaN')"},
        {head + "1\tx\t0.003\t40\t150\t1500\t15\t150\n", "weight is not a finite number"},
        {head + "1\t-1\t0.003\t40\t150\t1500\t15\t150\n", "line 2: the weight is negative"},
        {head + "1\t0\t0.003\t40\t150\t1500\t15\t150\n", "no row of positive weight"},
        {head + "1\t1\t0.003\t40\t150\t1500\t150\t15\n",
         "line 2: PopSizeOriSue = 150 is not below PopSizePreSue = 15"},
        {head + "1\t1\t0.003\t0\t150\t1500\t15\t150\n", "TimeToOri = 0 is not positive"},
        {"weight\tMy\rweight\r", "s has carriage-return line ends (old Mac text)"},
        {head.substr(0, head.size() - 1) + "\tGsmP\n" + good.substr(0, good.size() - 1) + "\t0.95\n",
         "line 2: GsmP must lie in [0, 0.95); got 0.95"},
        {head.substr(0, head.size() - 1) + "\tGsmP_adj\n" + good.substr(0, good.size() - 1) +
             "\t-0.1\n",
         "line 2: GsmP_adj must lie in [0, 0.95); got -0.1"},
        {head.substr(0, head.size() - 1) + "\tGsmP\tGsmP\n", "names the column GsmP twice"},
        // Rows of weight 0 are never drawn; blank lines and CRLF are fine.
        {head + good + "\n2\t0\t0.003\t40\t150\t1500\t150\t15\r\n", ""},
    };
    for (const Case& c : cases) {
        SampleRows rows;
        const std::string why = parseSampleText(c.text, "s", rows);
        if (c.message.empty())
            EXPECT_EQ(why, "") << c.text;
        else
            EXPECT_NE(why.find(c.message), std::string::npos) << c.text << " gave: " << why;
    }
    // Adjusted values are the ones drawn.
    SampleRows rows;
    ASSERT_EQ(parseSampleText("weight\tMy\tTimeToOri\tPopSizeOriTha\tPopSizePreTha\t"
                              "PopSizeOriSue\tPopSizePreSue\tMy_adj\tTimeToOri_adj\t"
                              "PopSizeOriTha_adj\tPopSizePreTha_adj\tPopSizeOriSue_adj\t"
                              "PopSizePreSue_adj\n1\t1\t1\t1\t2\t1\t2\t3\t3\t3\t4\t3\t4\n",
                              "s", rows),
              "");
    EXPECT_TRUE(rows.adjusted);
    EXPECT_EQ(rows.values[0][My], 3);
    EXPECT_FALSE(rows.hasGsmP);
    // A sample and a run that disagree on GsmP are refused, naming the file.
    for (const auto& [params, gsmP, message] :
         {std::tuple{seededParams(), true,
                     "error: sample: s.tsv has a column GsmP (a posterior of the generalised "
                     "stepwise model), but params.txt sets no GSM_P_LOWER and GSM_P_UPPER"},
          std::tuple{seededParams().set("GSM_P_LOWER", "0").set("GSM_P_UPPER", "0.5"), false,
                     "error: sample: s.tsv has no column GsmP, but params.txt sets GSM_P_LOWER "
                     "and GSM_P_UPPER"}}) {
        TempDir run;
        run.write("s.tsv", gsmP ? head.substr(0, head.size() - 1) + "\tGsmP\n" +
                                       good.substr(0, good.size() - 1) + "\t0.2\n"
                                 : head + good);
        const RunFiles f = runIn(run, params, {"--from-sample", "s.tsv", "--table", "t.tsv"});
        EXPECT_EQ(f.run.exitStatus, 1);
        EXPECT_NE(f.run.out.find(message), std::string::npos) << f.run.out;
        EXPECT_FALSE(run.exists("t.tsv"));
    }
    // The program reports a problem with status 1 and writes nothing.
    TempDir dir;
    const RunFiles f = runIn(dir, seededParams(), {"--from-sample", "none.tsv", "--table", "t.tsv"});
    EXPECT_EQ(f.run.exitStatus, 1);
    EXPECT_NE(f.run.out.find("error: sample: cannot open none.tsv\n"), std::string::npos);
    EXPECT_TRUE(f.results.empty());

    // A gzip sample cut short is refused, even where the cut falls on a line
    // end and the rows left would read.
    std::string text = head;
    for (int i = 0; i < 2000; ++i) text += good;
    ASSERT_TRUE(writeGzip(dir.file("full.gz"), text));
    const std::string packed = dir.read("full.gz");
    ASSERT_EQ(readSampleFile(dir.file("full.gz"), rows), "");
    EXPECT_EQ(rows.values.size(), 2000u);
    for (std::size_t keep : {packed.size() - 4, packed.size() / 2}) {
        dir.write("cut.gz", packed.substr(0, keep));
        const std::string why = readSampleFile(dir.file("cut.gz"), rows);
        EXPECT_EQ(why.rfind(dir.file("cut.gz") + " is cut short or damaged (", 0), 0u)
            << keep << ": " << why;
    }
}
