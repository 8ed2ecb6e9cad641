#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "io/ObservedFile.h"
#include "io/PriorsFile.h"
#include "io/ReferenceTable.h"
#include "support/ChildProcess.h"
#include "support/ReferenceTableText.h"

namespace {

constexpr double inf_ = std::numeric_limits<double>::infinity();

// Three rows whose values need every digit, and statistics that are undefined.
std::vector<TableRow> awkwardRows() {
    std::vector<TableRow> rows(3);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        for (std::size_t c = 0; c < 7; ++c) rows[i].params[c] = 0.1 * (c + 1) + 1e-3 * i;
        for (std::size_t j = 0; j < 12; ++j) rows[i].stats[j] = 1.0 / 3 + j + 10.0 * i;
    }
    rows[0].params[0] = 1e-300;
    rows[1].stats[11] = std::numeric_limits<double>::quiet_NaN();
    rows[2].stats[10] = inf_;
    rows[2].stats[9] = -inf_;
    rows[2].stats[0] = 5e-324;  // the smallest subnormal
    return rows;
}

void expectSameRows(const ReferenceTable& t, const std::vector<TableRow>& rows) {
    ASSERT_EQ(t.rows(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        for (std::size_t c = 0; c < 7; ++c) EXPECT_EQ(t.params[c][i], rows[i].params[c]);
        for (std::size_t j = 0; j < 12; ++j) {
            if (std::isnan(rows[i].stats[j])) {
                EXPECT_TRUE(std::isnan(t.stats[j][i]));
            } else {
                EXPECT_EQ(t.stats[j][i], rows[i].stats[j]) << i << " " << j;
            }
        }
    }
}

}  // namespace

TEST(ReferenceTable, ReadsPlainAndGzippedTablesToTheLastBit) {
    TempDir dir;
    std::vector<TableRow> rows = awkwardRows();
    std::string text = tableText(rows);
    ASSERT_TRUE(writeGzip(dir.file("ref.tsv.gz"), text));
    for (std::string path :
         {dir.write("ref.tsv", text), dir.file("ref.tsv.gz"),
          dir.write("crlf.tsv", std::string(text).replace(text.find('\n'), 1, "\r\n"))}) {
        TableRead read = readReferenceTable(path);
        EXPECT_EQ(read.error, "") << path;
        EXPECT_TRUE(read.warnings.empty()) << path;
        expectSameRows(read.table, rows);
    }
}

TEST(ReferenceTable, ObservedFileSitsBesideTheTable) {
    struct Case {
        std::string table, observed;
    };
    for (const Case& c : std::vector<Case>{{"ref.tsv", "ref.tsv.observed.tsv"},
                                           {"ref.tsv.gz", "ref.tsv.observed.tsv"},
                                           {"dir/t.gz.gz", "dir/t.gz.observed.tsv"},
                                           {"gz", "gz.observed.tsv"},
                                           {"a.txt", "a.txt.observed.tsv"}})
        EXPECT_EQ(observedStatisticsPath(c.table), c.observed);

    TempDir dir;
    std::array<double, 12> values;
    for (std::size_t j = 0; j < 12; ++j) values[j] = 0.1 * j;
    values[5] = std::numeric_limits<double>::quiet_NaN();
    ObservedRead read = readObservedStats(dir.write("o.tsv", observedText(values)));
    ASSERT_EQ(read.error, "");
    EXPECT_EQ(read.values[11], 0.1 * 11);
    EXPECT_TRUE(std::isnan(read.values[5]));
    EXPECT_EQ(read.note, "");
    // A UTF-8 byte-order mark, as spreadsheets write, is skipped with a note.
    ObservedRead marked =
        readObservedStats(dir.write("bom.tsv", "\xEF\xBB\xBF" + observedText(values)));
    ASSERT_EQ(marked.error, "");
    EXPECT_EQ(marked.values[11], 0.1 * 11);
    EXPECT_EQ(marked.note,
              dir.file("bom.tsv") + " starts with a UTF-8 byte-order mark, which is skipped");
}

TEST(ReferenceTable, TablesAndObservedFilesWithOrWithoutTheSpreadAndShapeStatistics) {
    // A table as a run writes it now, and one written before the last six
    // statistics existed: both read, the older with those not a number.
    std::array<double, numbTableStats> values;
    for (std::size_t j = 0; j < numbTableStats; ++j) values[j] = 0.5 + j;
    TableStatistics stats;
    double* slots[] = {&stats.S_sue,     &stats.S_tha,     &stats.NAL_sue,   &stats.NAL_tha,
                       &stats.HET_sue,   &stats.HET_tha,   &stats.VAR_sue,   &stats.VAR_tha,
                       &stats.MGW_sue,   &stats.MGW_tha,   &stats.DM2,       &stats.FST,
                       &stats.SDHET_sue, &stats.SDHET_tha, &stats.SDVAR_sue, &stats.SDVAR_tha,
                       &stats.GAP_sue,   &stats.GAP_tha};
    for (std::size_t j = 0; j < numbTableStats; ++j) *slots[j] = values[j];
    const std::string current =
        tableHeader() + formatTableRow(1, {0.1, 2, 3, 4, 5, 6}, 0.5, stats, 0.25, true);
    TableRow row;
    row.params = {0.1, 2, 3, 4, 5, 6, 0.5};
    std::copy(values.begin(), values.begin() + numbCoreStats, row.stats.begin());
    std::array<double, numbCoreStats> core;
    std::copy(values.begin(), values.begin() + numbCoreStats, core.begin());
    struct Case {
        const char* name;
        std::string table, observed;
        std::size_t numbStats;
    };
    TempDir dir;
    writeObservedStatistics(dir.file("current"), stats);
    for (const Case& c : std::vector<Case>{
             {"current", current, dir.read("current.observed.tsv"), numbTableStats},
             {"older", tableText({row}), observedText(core), numbCoreStats}}) {
        const TableRead t = readReferenceTable(dir.write(std::string(c.name) + ".tsv", c.table));
        ASSERT_EQ(t.error, "") << c.name;
        const ObservedRead o = readObservedStats(dir.write(std::string(c.name) + ".obs", c.observed));
        ASSERT_EQ(o.error, "") << c.name;
        EXPECT_EQ(t.table.numbStats, c.numbStats) << c.name;
        EXPECT_EQ(o.numbStats, c.numbStats) << c.name;
        for (std::size_t j = 0; j < numbTableStats; ++j) {
            ASSERT_EQ(t.table.stats[j].size(), 1u) << c.name << " " << j;
            if (j < c.numbStats) {
                EXPECT_EQ(t.table.stats[j][0], values[j]) << c.name << " " << j;
                EXPECT_EQ(o.values[j], values[j]) << c.name << " " << j;
            } else {
                EXPECT_TRUE(std::isnan(t.table.stats[j][0])) << c.name << " " << j;
                EXPECT_TRUE(std::isnan(o.values[j])) << c.name << " " << j;
            }
        }
        // The record of the data names the same data in both layouts.
        EXPECT_EQ(dataFingerprintOf(o.values), dataFingerprintOf(values)) << c.name;
    }
}

TEST(ReferenceTable, MalformedTablesAreErrorsNamingTheLine) {
    const std::string good = tableText(awkwardRows());
    const std::string header = good.substr(0, good.find('\n') + 1);
    const std::string row =
        good.substr(header.size(), good.find('\n', header.size()) + 1 - header.size());
    auto withField = [&](std::size_t field, const std::string& value) {
        std::string r = row;
        std::size_t start = 0;
        for (std::size_t f = 0; f < field; ++f) start = r.find('\t', start) + 1;
        std::size_t end = r.find_first_of("\t\n", start);
        return header + r.replace(start, end - start, value);
    };
    auto renamed = [&](const std::string& from, const std::string& to) {
        std::string h = header;
        return h.replace(h.find(from), from.size(), to) + row;
    };
    struct Case {
        std::string text, message;
    };
    for (const Case& c : std::vector<Case>{
             {"", "t: empty file (no header)"},
             {renamed("\tFST", ""),
              "t:1: not the header of a reference table: column 'FST' missing"},
             {renamed("FST", "Fst"),
              "t:1: not the header of a reference table: column 'FST' missing"},
             // Naming one later statistic makes it the newer layout, which
             // then lacks the others; rows must have that layout's width.
             {renamed("\tFST", "\tFST\tGAP_tha"),
              "t:1: not the header of a reference table: column 'SDHET_sue' missing"},
             {renamed("\tFST", "\tFST\tSDHET_sue\tSDHET_tha\tSDVAR_sue\tSDVAR_tha\tGAP_sue\tGAP_tha"),
              "t:2: row has 22 of 28 fields"},
             {renamed("\taccepted", "\taccepted\textra"),
              "t:1: not the header of a reference table: unknown column 'extra'"},
             {renamed("S_sue\tS_tha", "S_tha\tS_sue"),
              "t:1: not the header of a reference table: columns out of order: column 9 is "
              "'S_tha', expected 'S_sue'"},
             {renamed("\tS_tha", "\tS_sue"),
              "t:1: not the header of a reference table: column 'S_sue' appears twice (columns 9 "
              "and 10)"},
             {header + row + "1\t2\n", "t:3: row has 2 of 22 fields"},
             {withField(3, "1,5"), "t:2: column 'PopSizeOriTha' is not a number: '1,5'"},
             {withField(10, ""), "t:2: column 'NAL_sue' is not a number: ''"},
             {withField(1, "NaN"), "t:2: parameter 'My' is not finite"},
             {withField(7, "-Inf"), "t:2: parameter 'FracSueMono' is not finite"},
             {withField(0, "0"), "t:2: 'sim' is not a positive whole number: '0'"},
             {withField(0, "1.0"), "t:2: 'sim' is not a positive whole number: '1.0'"},
             {withField(21, "yes"), "t:2: 'accepted' is neither 0 nor 1: 'yes'"}}) {
        TempDir dir;
        std::string path = dir.write("t", c.text);
        TableRead read = readReferenceTable(path);
        EXPECT_EQ(read.error, dir.path() + "/" + c.message);
        EXPECT_EQ(read.table.rows(), 0u);
    }
    TempDir dir;
    EXPECT_EQ(readReferenceTable(dir.path()).error, dir.path() + ": is a directory");
    std::string gz = (writeGzip(dir.file("t.gz"), good), dir.read("t.gz"));
    gz[gz.size() / 2] ^= 0x55;  // damaged compressed data
    EXPECT_NE(readReferenceTable(dir.write("bad.gz", gz)).error.find("bad.gz: cannot read: "),
              std::string::npos);
    EXPECT_EQ(readReferenceTable(dir.file("none")).error,
              "cannot open reference table '" + dir.file("none") + "': No such file or directory");
}

TEST(ReferenceTable, RowsCutShortByAKilledRunAreLeftOutWithAWarning) {
    TempDir dir;
    std::vector<TableRow> rows = awkwardRows();
    std::string text = tableText(rows);
    std::string cut = text.substr(0, text.size() - 9);  // the last row loses its end
    TableRead plain = readReferenceTable(dir.write("cut.tsv", cut));
    EXPECT_EQ(plain.error, "");
    ASSERT_EQ(plain.warnings.size(), 1u);
    EXPECT_EQ(plain.warnings[0],
              dir.file("cut.tsv") + ":4: last line has no line end (cut short?); line skipped");
    expectSameRows(plain.table, {rows[0], rows[1]});

    // A gzip stream that stops half-way: the whole rows before are kept.
    std::string big = tableText(toyRows(3000, 1));
    ASSERT_TRUE(writeGzip(dir.file("full.gz"), big));
    std::string gz = dir.read("full.gz");
    TableRead early = readReferenceTable(dir.write("early.gz", gz.substr(0, gz.size() / 2)));
    EXPECT_EQ(early.error, "");
    EXPECT_GT(early.table.rows(), 100u);
    EXPECT_LT(early.table.rows(), 3000u);
    ASSERT_FALSE(early.warnings.empty());
    EXPECT_EQ(early.warnings[0],
              dir.file("early.gz") +
                  ": compressed data end early (cut short?); the rows before are used");
}

TEST(ReferenceTable, MalformedObservedFilesAreErrors) {
    std::array<double, 12> values{};
    const std::string good = observedText(values);
    const std::string header = good.substr(0, good.find('\n') + 1);
    struct Case {
        std::string text, message;
    };
    for (const Case& c : std::vector<Case>{
             {"", "o: empty file (no header)"},
             {header, "o: no line of observed values"},
             {good + good.substr(header.size()), "o:3: more than one line of observed values"},
             {header + "1\t2\n", "o:2: line has 2 of 12 values"},
             {header.substr(0, header.size() - 1) +
                  "\tSDHET_sue\tSDHET_tha\tSDVAR_sue\tSDVAR_tha\tGAP_sue\tGAP_tha\n" +
                  good.substr(header.size()),
              "o:2: line has 12 of 18 values"},
             {header.substr(0, header.size() - 1) + "\tGAP_sue\n" + good.substr(header.size()),
              "o:1: not the header of observed statistics: column 'SDHET_sue' missing"},
             {"S_sue\n0\n", "o:1: not the header of observed statistics: column 'S_tha' missing"},
             {"S_sue\tS_sue" + header.substr(header.find("\tNAL_sue")) + good.substr(header.size()),
              "o:1: not the header of observed statistics: column 'S_sue' appears twice (columns 1 "
              "and 2)"},
             {std::string("S_sue\0", 6) + good.substr(5),
              "o:1: a NUL byte: this is no text file (a UTF-16 file? save it as UTF-8)"},
             {header.substr(0, header.size() - 1) + "\r" + good.substr(header.size(), 3),
              "o:1: carriage returns alone end its lines (an old Mac text file): save it with line "
              "feeds (LF) or CRLF line ends"},
             {header + std::string(good.substr(header.size())).replace(0, 1, "x"),
              "o:2: 'S_sue' is not a number: 'x'"}}) {
        TempDir dir;
        EXPECT_EQ(readObservedStats(dir.write("o", c.text)).error, dir.path() + "/" + c.message);
    }
}
