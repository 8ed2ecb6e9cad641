// Golden outputs: whole runs of recorded configurations seeded by a fixed
// clock (--clock-seed) must reproduce their recorded standard output and
// results file byte for byte, and the per-locus pipeline must reproduce the
// exact bits of every genealogy, allele and statistic it made when the
// goldens were recorded.
// Any change to the order of draws, a formula or a comparison shows here.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "run/LocusSimulation.h"
#include "sim/Priors.h"
#include "sim/StepMutation.h"
#include "sim/SummaryStats.h"
#include "support/ChildProcess.h"
#include "support/ParamsFileText.h"
#include "support/TestRng.h"

namespace fs = std::filesystem;

namespace {

const fs::path kGoldenDir = fs::path(FOUNDABC_SOURCE_DIR) / "tests" / "golden";

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<fs::path> goldenConfigs() {
    std::vector<fs::path> dirs;
    for (const auto& entry : fs::directory_iterator(kGoldenDir))
        if (entry.is_directory()) dirs.push_back(entry.path());
    std::sort(dirs.begin(), dirs.end());
    return dirs;
}

}  // namespace

// Each configuration is run under the current model (expected results in
// results.txt), with --legacy-model (legacy-results.txt, the outputs of the
// model as it was first computed), and under the current model with a
// reference table, which must change neither standard output nor results.
TEST(Golden, RecordedRunsReproduceStandardOutputAndResultsByteForByte) {
    const std::vector<fs::path> configs = goldenConfigs();
    ASSERT_GE(configs.size(), 12u);
    for (const fs::path& config : configs) {
        for (const char* variant : {"current", "legacy", "table"}) {
            const bool legacy = std::strcmp(variant, "legacy") == 0;
            SCOPED_TRACE(config.filename().string() + " (" + variant + ")");
            TempDir dir;
            dir.write("params.txt", readFile(config / "params.txt"));
            dir.write("data.txt", readFile(config / "data.txt"));
            std::string clock = readFile(config / "clock");
            while (!clock.empty() && clock.back() == '\n') clock.pop_back();

            std::vector<std::string> args = {"--clock-seed", "params.txt"};
            if (legacy) args.insert(args.begin(), "--legacy-model");
            if (variant[0] == 't') args.insert(args.begin(), {"--table", "table.tsv"});
            const ChildResult run = runFoundabc(args, dir.path(), clock);

            ASSERT_EQ(run.exitStatus, 0) << run.out;
            EXPECT_EQ(run.out, readFile(config / "stdout.txt"));
            const fs::path expected = config / (legacy ? "legacy-results.txt" : "results.txt");
            ASSERT_EQ(dir.exists("results.txt"), fs::exists(expected));
            if (fs::exists(expected)) {
                EXPECT_EQ(dir.read("results.txt"), readFile(expected));
            }
        }
    }
}

namespace {

// FNV-1a over the bytes of every value fed to it: equal digests mean equal
// bits, with overwhelming probability.
class Digest {
  public:
    template <typename T>
    void add(const T& value) {
        unsigned char bytes[sizeof(T)];
        std::memcpy(bytes, &value, sizeof(T));
        for (unsigned char b : bytes) {
            hash_ ^= b;
            hash_ *= 1099511628211ull;
        }
    }
    uint64_t value() const { return hash_; }

  private:
    uint64_t hash_ = 14695981039346656037ull;
};

struct PipelineCase {
    int sueLines;
    int thaLines;
    int loci;
    int repeats;
    double alpha;
    int origins;
    double fraction;
    bool log10Priors;
    ModelVersion version = ModelVersion::current;
};

void setPriors(params& p, bool log10Priors) {
    if (log10Priors) {
        p.prior_distribution = 1;
        p.my_lower = -4, p.my_upper = -1.5;
        p.time_to_origin_lower = 0.5, p.time_to_origin_upper = 3;
        p.popsize_origin_tha_lower = 1.5, p.popsize_origin_tha_upper = 3;
        p.popsize_present_tha_lower = 3, p.popsize_present_tha_upper = 4;
        p.popsize_origin_sue_lower = 0.3, p.popsize_origin_sue_upper = 2;
        p.popsize_present_sue_lower = 2, p.popsize_present_sue_upper = 4;
    } else {
        p.prior_distribution = 0;
        p.my_lower = 0.0001, p.my_upper = 0.03;
        p.time_to_origin_lower = 5, p.time_to_origin_upper = 800;
        p.popsize_origin_tha_lower = 50, p.popsize_origin_tha_upper = 1000;
        p.popsize_present_tha_lower = 1000, p.popsize_present_tha_upper = 10000;
        p.popsize_origin_sue_lower = 2, p.popsize_origin_sue_upper = 100;
        p.popsize_present_sue_lower = 100, p.popsize_present_sue_upper = 10000;
    }
}

// The digest of a sequence of repeats made as the rejection loop makes them:
// prior draw, then per locus the full genealogy, its origin count and its
// alleles, then the statistics of the repeat. With `reuse` the locus steps
// share one workspace, as in the loop; without, each makes fresh records.
uint64_t pipelineDigest(const PipelineCase& c, unsigned long seed, bool reuse) {
    params p;
    p.number_of_sue_lines = c.sueLines;
    p.number_of_tha_lines = c.thaLines;
    p.number_of_loci = c.loci;
    p.alpha = c.alpha;
    p.conditional_number_of_origins = c.origins;
    p.unequal_founding_fractions = c.fraction;
    setPriors(p, c.log10Priors);

    TestRng rng(seed);
    Digest digest;
    LocusWorkspace work;
    StepMutationBuffers mutation;
    AlleleMatrix alleles(static_cast<size_t>(c.loci));
    for (int rep = 0; rep < c.repeats; ++rep) {
        const PriorDraw draw = c.log10Priors ? simulateParamsLog10(p) : simulateParams(p);
        for (int locus = 0; locus < c.loci; ++locus) {
            LocusHistory fresh;
            int numbOrigins;
            if (reuse) {
                numbOrigins = simulateLocusInto(work, p, draw, c.version);
            } else {
                fresh = simulateLocusHistory(p, draw, c.version);
                numbOrigins = fresh.numbOrigins;
            }
            const Genealogy& g = reuse ? work.full : *fresh.full;
            digest.add(g.startLines), digest.add(g.endLines), digest.add(g.numbEvents);
            for (const auto& e : g.events) digest.add(e);
            for (double t : g.eventTimes) digest.add(t);
            digest.add(numbOrigins);
            if (reuse)
                generateStepMutInto(g, draw[My], alleles[locus], mutation);
            else
                alleles[locus] = generateStepMut(g, draw[My]);
            for (int32_t a : alleles[locus]) digest.add(a);
        }
        const auto S = computeSD(alleles, c.sueLines + c.thaLines, c.sueLines, c.loci);
        digest.add(S[0]), digest.add(S[1]);
    }
    return digest.value();
}

}  // namespace

TEST(Golden, LocusPipelineReproducesRecordedBits) {
    struct Expected {
        PipelineCase c;
        uint64_t digest;
    };
    const Expected cases[] = {
        {{6, 8, 5, 40, 0.5, 0, 0.0, false, ModelVersion::legacy}, 3142850521666825576ull},
        {{30, 25, 4, 20, 0.5, 0, 0.0, true, ModelVersion::legacy}, 9681984816000053090ull},
        {{12, 10, 5, 30, 0.5, 1, 0.0, false, ModelVersion::legacy}, 2576454544583255536ull},
        {{20, 15, 5, 30, 1.5, 3, 0.0, true, ModelVersion::legacy}, 8985664607444655098ull},
        {{9, 11, 5, 30, 1.0, 2, 0.3, false, ModelVersion::legacy}, 7701175782726260727ull},
        {{1, 7, 3, 20, 0.5, 0, 0.0, false, ModelVersion::legacy}, 14153797862231753854ull},
        {{2, 2, 3, 20, 2.0, 2, 0.0, true, ModelVersion::legacy}, 7042470535712530148ull},
        {{120, 80, 2, 4, 0.5, 5, 0.0, false, ModelVersion::legacy}, 4183313010918186186ull},
        {{6, 8, 5, 40, 0.5, 0, 0.0, false, ModelVersion::current}, 18248775336815194284ull},
        {{30, 25, 4, 20, 0.5, 0, 0.0, true, ModelVersion::current}, 1088401557289743985ull},
        {{12, 10, 5, 30, 0.5, 1, 0.0, false, ModelVersion::current}, 11471104270473349292ull},
        {{20, 15, 5, 30, 1.5, 3, 0.0, true, ModelVersion::current}, 8066889877404140145ull},
        {{9, 11, 5, 30, 1.0, 2, 0.3, false, ModelVersion::current}, 10497180457483047207ull},
        {{1, 7, 3, 20, 0.5, 0, 0.0, false, ModelVersion::current}, 17202170265811565279ull},
        {{2, 2, 3, 20, 2.0, 2, 0.0, true, ModelVersion::current}, 12026154846375808939ull},
        {{120, 80, 2, 4, 0.5, 5, 0.0, false, ModelVersion::current}, 10545440781011942871ull},
    };
    for (const Expected& e : cases) {
        for (bool reuse : {false, true}) {
            EXPECT_EQ(pipelineDigest(e.c, 20240101, reuse), e.digest)
                << "case with " << e.c.sueLines << " sue and " << e.c.thaLines
                << " tha lines, origins " << e.c.origins << (reuse ? ", reused workspace" : "")
                << (e.c.version == ModelVersion::legacy ? ", legacy model" : "");
        }
    }
}
