#include <gtest/gtest.h>
#include <sys/resource.h>
#include <zlib.h>

#include <cfloat>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "io/ObservedFile.h"
#include "io/PriorsFile.h"
#include "io/ReferenceTable.h"
#include "sim/PriorBounds.h"
#include "support/ChildProcess.h"

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

const char* const kHeader =
    "sim\tMy\tTimeToOri\tPopSizeOriTha\tPopSizePreTha\tPopSizeOriSue\tPopSizePreSue\t"
    "FracSueMono\tS_sue\tS_tha\tNAL_sue\tNAL_tha\tHET_sue\tHET_tha\tVAR_sue\tVAR_tha\t"
    "MGW_sue\tMGW_tha\tDM2\tFST\tSDHET_sue\tSDHET_tha\tSDVAR_sue\tSDVAR_tha\tGAP_sue\t"
    "GAP_tha\tDS\taccepted\n";

std::vector<std::string> fieldsOf(const std::string& line) {
    std::vector<std::string> fields;
    std::stringstream in(line);
    std::string field;
    while (std::getline(in, field, '\t')) fields.push_back(field);
    return fields;
}

TableStatistics statsFrom(const std::array<double, TableStatistics::kCount>& v) {
    TableStatistics t;
    double* slots[] = {&t.S_sue,     &t.S_tha,     &t.NAL_sue,   &t.NAL_tha,   &t.HET_sue,
                       &t.HET_tha,   &t.VAR_sue,   &t.VAR_tha,   &t.MGW_sue,   &t.MGW_tha,
                       &t.DM2,       &t.FST,       &t.SDHET_sue, &t.SDHET_tha, &t.SDVAR_sue,
                       &t.SDVAR_tha, &t.GAP_sue,   &t.GAP_tha};
    for (int i = 0; i < TableStatistics::kCount; ++i) *slots[i] = v[i];
    return t;
}

// Row `i` of a test table: every value different, so that a shifted column shows.
std::string testRow(int64_t i) {
    std::array<double, TableStatistics::kCount> s;
    for (int k = 0; k < TableStatistics::kCount; ++k) s[k] = i + k / 16.0;
    return formatTableRow(i, {1e-4 * i, 2.5, 3, 4, 5, 6.125}, 0.25, statsFrom(s), 0.1 * i, i % 3);
}

// Decodes gzip data as far as it goes: a stream cut after a sync point gives
// everything up to it.
std::string gunzip(const std::string& data) {
    z_stream z{};
    EXPECT_EQ(inflateInit2(&z, 16 + MAX_WBITS), Z_OK);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    std::string out;
    char buf[4096];
    int ret;
    do {
        z.next_out = reinterpret_cast<Bytef*>(buf);
        z.avail_out = sizeof buf;
        ret = inflate(&z, Z_NO_FLUSH);
        out.append(buf, sizeof buf - z.avail_out);
    } while (ret == Z_OK);
    EXPECT_TRUE(ret == Z_STREAM_END || ret == Z_BUF_ERROR) << ret;
    inflateEnd(&z);
    return out;
}

bool bitIdentical(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

TEST(ReferenceTable, HeaderAndRowLayout) {
    EXPECT_EQ(tableHeader(), kHeader);
    const TableStatistics stats =
        statsFrom({12.5, 3, 2, 4, 0.5, 0.75, 1.25, 2, 0.5, 1, 0.0625, kNaN, 0.125, 0.25, 1.5, kNaN,
                   0.375, 0});
    EXPECT_EQ(formatTableRow(7, {0.001, 150, 1000, 20000, 10, 300}, 0.25, stats, 2.5, true),
              "7\t0.001\t150\t1000\t20000\t10\t300\t0.25\t12.5\t3\t2\t4\t0.5\t0.75\t1.25\t2\t0.5"
              "\t1\t0.0625\tNaN\t0.125\t0.25\t1.5\tNaN\t0.375\t0\t2.5\t1\n");
    const std::string row = formatTableRow(12345678901, {}, 0, stats, 0, false);
    EXPECT_EQ(fieldsOf(row).size(), fieldsOf(kHeader).size());
    EXPECT_EQ(row.substr(0, 12), "12345678901\t");
    EXPECT_EQ(row.substr(row.size() - 3), "\t0\n");
}

// A run that draws P: GsmP between the six drawn parameters and FracSueMono,
// in the header, the rows, the priors file, and read back by name.
TEST(ReferenceTable, GsmPStandsAfterTheDrawnParametersAndReadsBack) {
    const std::string header = tableHeader(true);
    std::string expected = kHeader;
    expected.replace(expected.find("FracSueMono"), 0, "GsmP\t");
    EXPECT_EQ(header, expected);
    const TableStatistics stats =
        statsFrom({12.5, 3, 2, 4, 0.5, 0.75, 1.25, 2, 0.5, 1, 0.0625, kNaN});
    const double gsmP = 0.3125;
    std::string row;
    appendTableRow(row, 7, {0.001, 150, 1000, 20000, 10, 300}, 0.25, stats, 2.5, true, &gsmP);
    EXPECT_EQ(row,
              "7\t0.001\t150\t1000\t20000\t10\t300\t0.3125\t0.25\t12.5\t3\t2\t4\t0.5\t0.75\t1.25"
              "\t2\t0.5\t1\t0.0625\tNaN\t0\t0\t0\t0\t0\t0\t2.5\t1\n");
    TempDir dir;
    struct Case {
        std::string text, error;  // error "": read, with GsmP when the header names it
    };
    std::string noP = row;
    noP.erase(noP.find("\t0.3125"), 7);
    const Case cases[] = {
        {header + row, ""},
        {kHeader + noP, ""},
        {header + noP, "t:2: row has 28 of 29 fields"},
        {kHeader + row, "t:2: row has 29 of 28 fields"},
        {std::string(kHeader).replace(std::string(kHeader).find("\tDS\t"), 0, "\tGsmP") + row,
         "t:1: not the header of a reference table: columns out of order: column 8 is "
         "'FracSueMono', expected 'GsmP'"},
    };
    for (const Case& c : cases) {
        const TableRead read = readReferenceTable(dir.write("t", c.text));
        if (!c.error.empty()) {
            EXPECT_EQ(read.error, dir.path() + "/" + c.error);
            continue;
        }
        ASSERT_EQ(read.error, "");
        const bool withP = c.text.rfind(header, 0) == 0;
        EXPECT_EQ(read.table.hasGsmP, withP);
        EXPECT_EQ(read.table.params[gsmPSlot], withP ? std::vector<double>{0.3125} : std::vector<double>{});
        EXPECT_EQ(read.table.params[5], std::vector<double>{300});
        EXPECT_EQ(read.table.params[6], std::vector<double>{0.25});
        EXPECT_EQ(read.table.stats[0], std::vector<double>{12.5});
    }

    params p;
    p.prior_distribution = 1;
    p.my_lower = -4, p.my_upper = -2, p.time_to_origin_lower = 1, p.time_to_origin_upper = 3;
    p.popsize_origin_tha_lower = p.popsize_origin_sue_lower = 1;
    p.popsize_origin_tha_upper = p.popsize_origin_sue_upper = 2;
    p.popsize_present_tha_lower = p.popsize_present_sue_lower = 2;
    p.popsize_present_tha_upper = p.popsize_present_sue_upper = 4;
    p.gsm_p_lower = p.gsm_p_upper = 0.25;  // a fixed P: equal bounds
    p.gsm_p_lower_set = p.gsm_p_upper_set = true;
    writePriors(dir.file("t"), p, {});
    const std::string priors = dir.read("t.priors.tsv");
    EXPECT_NE(priors.find("PopSizePreSue\tlog-uniform\t100\t10000\nGsmP\tuniform\t0.25\t0.25\n"),
              std::string::npos)
        << priors;
    PriorsFile back;
    std::string error;
    ASSERT_TRUE(parsePriors(priors, back, error)) << error;
    EXPECT_TRUE(back.hasGsmP);
    EXPECT_EQ(back.gsmP.lower, 0.25);
    EXPECT_FALSE(back.gsmP.logUniform);
    for (const char* bad :
         {"GsmP\tlog-uniform\t0.1\t0.2\n", "GsmP\tuniform\t0.3\t0.2\n", "GsmP\tuniform\t0\t1\n"}) {
        PriorsFile wrong;
        EXPECT_FALSE(parsePriors(priors.substr(0, priors.find("GsmP")) + bad, wrong, error)) << bad;
    }
    // Settings without the keys keep the fingerprint they always had.
    params strict;
    const uint64_t before = settingsFingerprint(strict, ModelVersion::current);
    strict.locus_rate_shape_set = true;
    EXPECT_NE(settingsFingerprint(strict, ModelVersion::current), before);
}

TEST(ReferenceTable, NumbersReadBackAsTheSameDouble) {
    std::vector<double> values = {0.1,
                                  1e300,
                                  -1e-300,
                                  5e-324,                   // smallest subnormal
                                  2.2250738585072009e-308,  // largest subnormal
                                  DBL_MIN,
                                  DBL_MAX,
                                  -0.0,
                                  1.0 / 3,
                                  123456789012345678.0,
                                  9007199254740993.0};
    std::mt19937_64 gen(5);
    while (values.size() < 2000) {
        const uint64_t bits = gen();
        double v;
        std::memcpy(&v, &bits, sizeof v);
        if (std::isfinite(v)) values.push_back(v);
    }
    for (double v : values) {
        std::string text;
        appendTableNumber(text, v);
        char* end = nullptr;
        const double back = std::strtod(text.c_str(), &end);
        EXPECT_TRUE(bitIdentical(back, v)) << text;
        EXPECT_EQ(*end, '\0') << text;
    }
    // Shortest form: no digits beyond what the round trip needs.
    const struct {
        double value;
        const char* text;
    } spelt[] = {{0.1, "0.1"},  {1e300, "1e+300"}, {5e-324, "5e-324"}, {-0.0, "-0"},
                 {0.0, "0"},    {100, "100"},      {kNaN, "NaN"},      {-kNaN, "NaN"},
                 {kInf, "Inf"}, {-kInf, "-Inf"}};
    for (const auto& s : spelt) {
        std::string text;
        appendTableNumber(text, s.value);
        EXPECT_EQ(text, s.text);
    }
}

TEST(ReferenceTable, CompressedFileHoldsThePlainText) {
    TempDir dir;
    std::string expected = kHeader;
    {
        ReferenceTableWriter plain(dir.file("t.tsv"), 1000);
        ReferenceTableWriter packed(dir.file("t.tsv.gz"), 1000);
        for (int64_t i = 1; i <= 300; ++i) {
            const std::string row = testRow(i);
            expected += row;
            plain.writeRows(row);
            packed.writeRows(row);
        }
    }
    EXPECT_EQ(dir.read("t.tsv"), expected);
    const std::string packed = dir.read("t.tsv.gz");
    ASSERT_GE(packed.size(), 2u);
    EXPECT_EQ(static_cast<unsigned char>(packed[0]), 0x1f);  // gzip magic
    EXPECT_EQ(static_cast<unsigned char>(packed[1]), 0x8b);
    EXPECT_LT(packed.size(), expected.size() / 2);
    EXPECT_EQ(gunzip(packed), expected);
    ChildResult zcat = runProgram({"gzip", "-dc", dir.file("t.tsv.gz")});
    EXPECT_EQ(zcat.exitStatus, 0);
    EXPECT_EQ(zcat.out, expected);
}

TEST(ReferenceTable, RowsWrittenOneByOneOrInBlocksGiveTheSameFile) {
    TempDir dir;
    std::string block;
    {
        ReferenceTableWriter single(dir.file("single.tsv"), 700);
        ReferenceTableWriter blocks(dir.file("blocks.tsv"), 700);
        std::array<double, TableStatistics::kCount> s{};
        for (int64_t i = 1; i <= 50; ++i) {
            s[0] = 0.5 * i;
            const TableStatistics stats = statsFrom(s);
            single.writeRow(i, {1, 2, 3, 4, 5, 6}, 0.5, stats, 1.5, i % 2 == 0);
            appendTableRow(block, i, {1, 2, 3, 4, 5, 6}, 0.5, stats, 1.5, i % 2 == 0);
            // Pieces smaller and larger than a block.
            if (i == 3 || i == 40 || i == 50) {
                blocks.writeRows(block);
                block.clear();
            }
        }
    }
    EXPECT_EQ(dir.read("single.tsv"), dir.read("blocks.tsv"));
    EXPECT_EQ(dir.read("single.tsv").substr(0, std::strlen(kHeader)), kHeader);
}

TEST(ReferenceTable, AfterAKillEveryRowUpToTheLastBlockReadsBack) {
    // The writer hands on a block once 2000 bytes wait; the process then dies
    // without closing anything. Both files must hold whole rows only, and all
    // rows but those of the unfinished block.
    for (const char* name : {"killed.tsv", "killed.tsv.gz"}) {
        TempDir dir;
        const std::string path = dir.file(name);
        const size_t block = 2000;
        std::string all = kHeader;
        for (int64_t i = 1; i <= 100; ++i) all += testRow(i);
        ChildResult r = runInChild([&] {
            ReferenceTableWriter writer(path, block);
            for (int64_t i = 1; i <= 100; ++i) writer.writeRows(testRow(i));
            std::raise(SIGKILL);
        });
        EXPECT_EQ(r.exitStatus, -1);
        const std::string raw = dir.read(name);
        std::string text = raw;
        if (std::string(name).find(".gz") != std::string::npos) {
            ChildResult zcat = runProgram({"gzip", "-dc", path});
            text = zcat.out;  // gzip reports the missing end, but gives the rows
            EXPECT_EQ(gunzip(raw), text);
        }
        ASSERT_FALSE(text.empty()) << name;
        EXPECT_EQ(text.back(), '\n') << name;
        EXPECT_EQ(all.compare(0, text.size(), text), 0) << name;
        EXPECT_GT(text.size() + block + testRow(100).size(), all.size()) << name;
        EXPECT_LT(text.size(), all.size()) << name;
    }
}

TEST(ReferenceTable, SyncedCompressedFileReadsBackWhileStillOpen) {
    TempDir dir;
    const std::string path = dir.file("open.tsv.gz");
    ReferenceTableWriter writer(path);
    std::string expected = kHeader;
    for (int64_t i = 1; i <= 20; ++i) {
        writer.writeRows(testRow(i));
        expected += testRow(i);
    }
    EXPECT_EQ(gunzip(dir.read("open.tsv.gz")), kHeader);  // rows still wait in memory
    writer.flush();
    const std::string copy = dir.read("open.tsv.gz");  // the bytes as they stand, not closed
    EXPECT_EQ(gunzip(copy), expected);
    writer.writeRows(testRow(21));
    writer.close();
    EXPECT_EQ(gunzip(dir.read("open.tsv.gz")), expected + testRow(21));
}

TEST(ReferenceTable, MovedWriterKeepsTheFileAndClosesItOnce) {
    TempDir dir;
    {
        ReferenceTableWriter first(dir.file("m.tsv.gz"));
        first.writeRows(testRow(1));
        ReferenceTableWriter second(std::move(first));
        second.writeRows(testRow(2));
        ReferenceTableWriter third(dir.file("other.tsv"));
        third = std::move(second);  // closes other.tsv, takes m.tsv.gz
        third.writeRows(testRow(3));
        EXPECT_EQ(third.path(), dir.file("m.tsv.gz"));
    }
    EXPECT_EQ(gunzip(dir.read("m.tsv.gz")), kHeader + testRow(1) + testRow(2) + testRow(3));
    EXPECT_EQ(dir.read("other.tsv"), kHeader);
}

TEST(ReferenceTable, ObservedStatisticsAndPriorsBesideTheTable) {
    const struct {
        const char* table;
        const char* observed;
        const char* priors;
    } paths[] = {{"ref.tsv", "ref.tsv.observed.tsv", "ref.tsv.priors.tsv"},
                 {"ref.tsv.gz", "ref.tsv.observed.tsv", "ref.tsv.priors.tsv"},
                 {"out/ref.gz", "out/ref.observed.tsv", "out/ref.priors.tsv"},
                 {"ref.gzip", "ref.gzip.observed.tsv", "ref.gzip.priors.tsv"},
                 {"ref.gz.txt", "ref.gz.txt.observed.tsv", "ref.gz.txt.priors.tsv"}};
    for (const auto& p : paths) {
        EXPECT_EQ(observedStatisticsPath(p.table), p.observed);
        EXPECT_EQ(priorsPath(p.table), p.priors);
    }

    TempDir dir;
    dir.write("ref.tsv.observed.tsv", "old content that is longer than the new one\n");
    writeObservedStatistics(dir.file("ref.tsv.gz"),
                            statsFrom({1.5, 2, 3, 4, 0.1, 0.2, -0.0, 8, 1, kInf, 1e-300, kNaN,
                                       0.5, 0.25, 2, 3, kNaN, 0.125}));
    EXPECT_EQ(dir.read("ref.tsv.observed.tsv"),
              "S_sue\tS_tha\tNAL_sue\tNAL_tha\tHET_sue\tHET_tha\tVAR_sue\tVAR_tha\tMGW_sue\t"
              "MGW_tha\tDM2\tFST\tSDHET_sue\tSDHET_tha\tSDVAR_sue\tSDVAR_tha\tGAP_sue\tGAP_tha\n"
              "1.5\t2\t3\t4\t0.1\t0.2\t-0\t8\t1\tInf\t1e-300\tNaN\t0.5\t0.25\t2\t3\tNaN\t0.125\n");
    EXPECT_FALSE(dir.exists("ref.tsv.gz"));

    // The priors as the draws make them: a log10 bound b becomes exactly
    // pow(10, b), the value a draw at that bound takes.
    for (int distribution : {0, 1}) {
        params p;
        p.prior_distribution = distribution;
        p.my_lower = -4, p.my_upper = -1.3, p.time_to_origin_lower = 1, p.time_to_origin_upper = 3;
        p.popsize_origin_tha_lower = p.popsize_origin_sue_lower = 0.5;
        p.popsize_origin_tha_upper = p.popsize_origin_sue_upper = 2;
        p.popsize_present_tha_lower = p.popsize_present_sue_lower = 2;
        p.popsize_present_tha_upper = p.popsize_present_sue_upper = 4.5;
        TableProvenance made;
        made.source = distribution ? TableSource::sample : TableSource::prior;
        made.sample = distribution ? 0xabull : 0;
        made.known = true;
        made.settings = 0x0123456789abcdefull;
        made.data = 0xfedcba9876543210ull;
        writePriors(dir.file("ref.tsv.gz"), p, made);
        const std::string text = dir.read("ref.tsv.priors.tsv");
        PriorsFile file;
        std::string error;
        ASSERT_TRUE(parsePriors(text, file, error)) << error;
        EXPECT_FALSE(file.complete);
        EXPECT_EQ(file.provenance.source, made.source);
        EXPECT_EQ(file.provenance.sample, made.sample);
        EXPECT_TRUE(file.provenance.known);
        EXPECT_EQ(file.provenance.settings, made.settings);
        EXPECT_EQ(file.provenance.data, made.data);
        EXPECT_NE(text.find(distribution ? "# made from: sample 00000000000000ab\n"
                                         : "# made from: prior\n"),
                  std::string::npos);
        const TablePriors& read = file.priors;
        EXPECT_EQ(read[0].lower, distribution ? std::pow(10.0, -4) : -4);
        EXPECT_EQ(read[5].upper, distribution ? std::pow(10.0, 4.5) : 4.5);
        EXPECT_EQ(text.substr(0, text.find('\n', text.find('\n') + 1)),
                  distribution ? "parameter\tdistribution\tlower\tupper\n"
                                 "My\tlog-uniform\t1e-04\t0.05011872336272722"
                               : "parameter\tdistribution\tlower\tupper\nMy\tuniform\t-4\t-1.3");
    }
}

// The record of what made a table is read when whole; comments it does not
// know are skipped, and a damaged record line is an error.
TEST(ReferenceTable, PriorsFileRecordsWhatMadeTheTable) {
    params p;
    p.prior_distribution = 0;
    p.my_lower = 1, p.my_upper = 2, p.time_to_origin_lower = 1, p.time_to_origin_upper = 3;
    p.popsize_origin_tha_lower = p.popsize_origin_sue_lower = 1;
    p.popsize_origin_tha_upper = p.popsize_origin_sue_upper = 2;
    p.popsize_present_tha_lower = p.popsize_present_sue_lower = 2;
    p.popsize_present_tha_upper = p.popsize_present_sue_upper = 4;
    PriorsFile plain;
    plain.priors = tablePriors(p);
    const std::string rows = formatPriors(plain);
    const std::string settings = "# settings: 0123456789abcdef\n",
                      data = "# data: 00000000000000ff\n";
    struct Case {
        std::string text, error;  // error "": read
        TableSource source;
        bool known;
        bool warns;  // a warning about the record
    };
    const std::string sample = "# made from: sample 00000000000000ab\n";
    const Case cases[] = {
        {rows, "", TableSource::unknown, false, false},
        {"# a note\n" + rows + "# made by hand\n", "", TableSource::unknown, false, false},
        {rows + "# made from: prior\n" + settings + data + "# complete: 3 simulations\n", "",
         TableSource::prior, true, false},
        {rows + sample + settings + data, "", TableSource::sample, true, false},
        // An incomplete or edited record keeps a predictive table predictive,
        // and one that cannot be read never passes for a prior one.
        {rows + "# made from: prior\n" + settings, "", TableSource::prior, false, true},
        {rows + sample + settings, "", TableSource::sample, false, true},
        {rows + sample + data, "", TableSource::sample, false, true},
        {rows + "# Made from: sample 00000000000000ab\n" + settings + data, "",
         TableSource::unclear, true, true},
        {rows + settings + data, "", TableSource::unclear, true, true},
        {rows + "# made from: posterior\n" + settings + data, "", TableSource::unclear, true,
         true},
        {rows + "# made from: prior\n" + sample + settings + data, "", TableSource::sample, true,
         true},
        {rows + sample + "# made from: prior\n" + settings + data, "", TableSource::sample, true,
         true},
        {rows + "#made from prior\n# made from: prior\n" + settings + data, "",
         TableSource::unclear, true, true},
        {rows + "# settings: 12ab\n", "line 8: a line '# settings:' without its 16 hex digits",
         TableSource::unknown, false, false},
    };
    for (const Case& c : cases) {
        PriorsFile file;
        std::string error;
        EXPECT_EQ(parsePriors(c.text, file, error), c.error.empty()) << c.text;
        EXPECT_EQ(error.rfind(c.error, 0), 0u) << error;
        if (!c.error.empty()) continue;
        EXPECT_EQ(file.provenance.source, c.source) << c.text;
        EXPECT_EQ(file.provenance.known, c.known) << c.text;
        EXPECT_EQ(file.warnings.empty(), !c.warns) << c.text;
        EXPECT_EQ(drawnFromPriors(file.provenance),
                  c.source == TableSource::prior || c.source == TableSource::unknown);
        EXPECT_EQ(file.priors[1].upper, 3) << c.text;
    }
    // What decides the rows changes the settings' fingerprint; names, REPEATS and EPSILON do not.
    const uint64_t base = settingsFingerprint(p, ModelVersion::current);
    EXPECT_NE(settingsFingerprint(p, ModelVersion::legacy), base);
    p.repeats = 7, p.epsilon = 0.3, p.outfile_name[0] = 'x';
    EXPECT_EQ(settingsFingerprint(p, ModelVersion::current), base);
    p.alpha = 0.25;
    EXPECT_NE(settingsFingerprint(p, ModelVersion::current), base);
}

TEST(ReferenceTable, UnwritableFilesEndTheRunWithAMessage) {
    TempDir dir;
    const std::string folder = dir.path();
    const std::string noFolder = dir.file("missing/t.tsv");
    const struct {
        std::string table;
        std::string message;
    } cases[] = {
        {"/dev/full", "error: table: cannot write /dev/full (No space left on device)\n"},
        {folder, "error: table: cannot write " + folder + " (Is a directory)\n"},
        {noFolder, "error: table: cannot write " + noFolder + " (No such file or directory)\n"},
        {noFolder + ".gz",
         "error: table: cannot write " + noFolder + ".gz (No such file or directory)\n"},
    };
    for (const auto& c : cases) {
        ChildResult r = runInChild([&] { ReferenceTableWriter writer(c.table); });
        EXPECT_EQ(r.exitStatus, 1) << c.table;
        EXPECT_EQ(r.out, c.message);
    }
    ChildResult obs = runInChild([&] { writeObservedStatistics(noFolder, TableStatistics{}); });
    EXPECT_EQ(obs.exitStatus, 1);
    EXPECT_EQ(obs.out, "error: table: cannot write " + noFolder +
                           ".observed.tsv (No such file or directory)\n");
}

TEST(ReferenceTable, APartlyWrittenBlockIsTakenBack) {
    TempDir dir;
    const std::string path = dir.file("t.tsv");
    const std::string firstBlock = kHeader + testRow(1) + testRow(2);
    // The file may grow by only part of the second block, as on a nearly full disk.
    ChildResult r = runInChild([&] {
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        limit.rlim_cur = limit.rlim_max = firstBlock.size() + 40;
        setrlimit(RLIMIT_FSIZE, &limit);
        ReferenceTableWriter writer(path, 1);  // every row is a block
        writer.writeRows(testRow(1) + testRow(2));
        writer.writeRows(testRow(3));
    });
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(r.out, "error: table: cannot write " + path + " (File too large)\n");
    EXPECT_EQ(dir.read("t.tsv"), firstBlock);
}
