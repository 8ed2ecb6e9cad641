#include <dirent.h>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "io/Conversion.h"
#include "io/DataFile.h"
#include "io/GenepopFile.h"
#include "support/ChildProcess.h"
#include "support/ParamsFileText.h"

namespace {

struct ImportRun {
    int status;
    std::string out, err, data;
};

// Runs foundabc-import in `dir` on `genepop` (written as in.gen) with `args`;
// `units`, when given, is written as units.txt.
ImportRun runImport(const TempDir& dir, const std::string& genepop, std::vector<std::string> args,
                    const std::string& units = "") {
    dir.write("in.gen", genepop);
    if (!units.empty()) dir.write("units.txt", units);
    args.insert(args.begin(), {FOUNDABC_IMPORT_BIN, "in.gen"});
    ChildResult r = runProgram(args, dir.path(), dir.file("err.txt"));
    return {r.exitStatus, r.out, dir.read("err.txt"), dir.read("data.txt")};
}

std::string shipped(const std::string& name) {
    std::ifstream in(std::string(FOUNDABC_SOURCE_DIR) + "/examples/" + name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> filesIn(const std::string& path) {
    std::vector<std::string> names;
    DIR* d = opendir(path.c_str());
    while (dirent* e = readdir(d))
        if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
            names.push_back(e->d_name);
    closedir(d);
    return names;
}

}  // namespace

TEST(GenepopImport, EachFileGivesItsDataFile) {
    struct Case {
        const char *name, *genepop;
        std::vector<std::string> args;
        const char *units, *data, *said;  // `said`: on stdout, or on stderr when warned
    };
    const std::vector<Case> cases = {
        {"diploid 6 digits, names on one line, half missing, by number",
         "title\nL1, L2\nPop\na1 , 150152 154154\na2 , 152152 000154\nPop\nb1 , 150150 158158\n",
         {"--sue", "2", "--tha", "1"},
         "",
         "locus sue1..sue2 tha1..tha4\n150 150 150 152 152 152\n158 158 154 154 -9 154\n",
         "NUMBER_OF_SUE_LINES       2             # population 2, 1 individual, 2 lines each\n"
         "NUMBER_OF_THA_LINES       4             # population 1, 2 individuals, 2 lines each\n"
         "NUMBER_OF_LOCI            2             #"},
        {"diploid 4 digits, names on several lines, whole missing, by name, CRLF and tabs",
         "title\r\nL1\r\n\r\nL2,L3,\r\nPOP\r\nx1,\t1011 0000 1212\r\n pop \r\ny1 , 0910 1111 "
         "0012\r\n",
         {"--sue", "y1", "--tha", "x1"},
         "",
         "locus sue1..sue2 tha1..tha2\n9 10 10 11\n11 11 -9 -9\n-9 12 12 12\n",
         "tha: population 1 (Pop line 5, first individual x1): 1 individual, 2 lines, 33.3 % "
         "missing"},
        {"haploid 3 digits, a population left out",
         "sim\nL1\nL2\nPop\ns1 , 019 021\ns2 , 000 022\nPop\nt1 , 020 020\nPop\nu1 , 020 020\n",
         {"--sue", "1", "--tha", "2"},
         "",
         "locus sue1..sue2 tha1..tha1\n19 -9 20\n21 22 20\n",
         "left out: population 3 (Pop line 9, first individual u1), 1 individual"},
        {"repeat units per locus, one off-ladder allele",
         "t\nL1,L2\nPop\na , 100102 200204\nPop\nb , 104103 208208\n",
         {"--sue", "1", "--tha", "2", "--repeat-units", "units.txt"},
         "# bp\nL1 2\n\nL2\t4\n",
         "locus sue1..sue2 tha1..tha2\n50 51 52 52\n50 51 52 52\n",
         "warning: 1 code off the repeat ladder (not the most common remainder modulo the "
         "unit at its locus), rounded to the nearest count:\n  locus L1: 103 -> 52 (1 copy)\n"},
        {"odd flanking lengths: the ladder is the odd lengths, a 1-bp variant moves half up",
         "odd\nL1\nPop\nM1 , 171175\nM2 , 177179\nPop\nI1 , 177178\nI2 , 177177\n",
         {"--sue", "2", "--tha", "1", "--repeat-unit", "2"},
         "",
         "locus sue1..sue4 tha1..tha4\n88 89 88 88 85 87 88 89\n",
         "rounded to the nearest count:\n  locus L1: 178 -> 89 (1 copy)\n"},
        {"a tie of remainders takes the smallest; a code below the first rung goes to rung 0",
         "t\nL1\nL2\nPop\na , 100 005\nb , 101 011\nPop\nc , 102 017\nd , 103 001\n",
         {"--sue", "1", "--tha", "2", "--repeat-units", "units.txt"},
         "L1 2\nL2 6\n",
         "locus sue1..sue2 tha1..tha2\n50 51 51 52\n0 1 2 0\n",
         "codes divided by the repeat unit (--repeat-units units.txt); each locus's ladder is its "
         "most common remainder modulo the unit, taken off before dividing: L2 (5); 3 copies off "
         "the ladder rounded to the nearest count.\n"},
        {"Pop lines that name their population",
         "t\nL1\nPOP island\na , 0101\npop\tmain land\nb , 0202\n",
         {"--sue", "1", "--tha", "2"},
         "",
         "locus sue1..sue2 tha1..tha2\n1 1 2 2\n",
         "tha: population 2 (Pop line 5, first individual b)"},
        {"populations chosen by the names on their Pop lines",
         "t\nL1\nPOP island\na , 0101\npop\tmain land\nb , 0202\n",
         {"--sue", "main land", "--tha", "island"},
         "",
         "locus sue1..sue2 tha1..tha2\n2 2 1 1\n",
         "sue: population 2 (Pop line 5, first individual b)"},
        {"one copy, one heterozygote, the second copy where the first is missing",
         "t\nL1\nL2\nPop\na , 150150 000152\nb , 150154 152152\nPop\nc , 148148 152152\n",
         {"--sue", "1", "--tha", "2", "--copies", "first"},
         "",
         "locus sue1..sue2 tha1..tha1\n150 150 148\n152 152 152\n",
         "(1 genotype).\n  Heterozygous at one locus or more, only their first copy kept: 1 of 2 "
         "sue and 0 of 1 tha individuals."},
        {"codes as counts, monomorphic locus named",
         "t\nL1\nL2\nPop\na , 0303 0404\nPop\nb , 0505 0404\n",
         {"--sue", "1", "--tha", "2"},
         "",
         "locus sue1..sue2 tha1..tha2\n3 3 5 5\n4 4 4 4\n",
         "codes taken as repeat counts already (no --repeat-unit or --repeat-units).\nMissing "
         "copies (00, 000) written as -9.\nMonomorphic in both populations: L1, L2\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        ImportRun r = runImport(dir, c.genepop, c.args, c.units);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.data, c.data);
        EXPECT_NE((r.out + r.err).find(c.said), std::string::npos) << r.out << r.err;
    }
    // The shipped Genepop example, by the names of its populations, gives the
    // shipped data file.
    TempDir dir;
    ImportRun example = runImport(
        dir, shipped("field.gen"),
        {"--sue", "ISL01", "--tha", "MAI01", "--repeat-units", "units.txt"}, shipped("units.txt"));
    EXPECT_EQ(example.data, shipped("data.txt"));
    // The shipped example of odd flanking lengths, one allele off its ladder.
    TempDir flanking;
    ImportRun odd = runImport(flanking, shipped("genepop/flanking.gen"),
                              {"--sue", "2", "--tha", "1", "--repeat-unit", "2"});
    EXPECT_EQ(odd.status, 0) << odd.err;
    EXPECT_EQ(odd.data, shipped("genepop/flanking.data.txt"));
    EXPECT_NE(odd.err.find("locus fl01: 178 -> 89 (1 copy)"), std::string::npos) << odd.err;

    // Lengths in base pairs taken as counts are warned of; counts, even large
    // ones off any ladder, and lengths given their unit are not.
    struct Lengths {
        std::string genepop;
        std::vector<std::string> args;
        std::string warning;  // "": none
    };
    const std::string large = "t\nL1\nPop\na , 060061\nb , 063064\nPop\nc , 065062\n";
    for (const Lengths& c : std::vector<Lengths>{
             {shipped("genepop/flanking.gen"),
              {"--sue", "2", "--tha", "1"},
              "foundabc-import: warning: the codes look like fragment lengths in base pairs, not "
              "repeat counts: at 4 of 4 polymorphic loci every code is 50 or more and 90 % of the "
              "copies or more are on one ladder of 2 to 6 base pairs (fl01 171-189, fl02 201-213, "
              "fl03 143-155, fl04 229-239). Taken as counts, each step of U base pairs counts as U "
              "mutations: give the repeat unit with --repeat-unit U or --repeat-units FILE.\n"},
             {shipped("genepop/flanking.gen"),
              {"--sue", "2", "--tha", "1", "--repeat-unit", "2"},
              ""},
             {large, {"--sue", "1", "--tha", "2"}, ""}}) {
        TempDir d;
        ImportRun r = runImport(d, c.genepop, c.args);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err.find("look like fragment lengths") != std::string::npos, !c.warning.empty())
            << r.err;
        if (!c.warning.empty()) {
            EXPECT_NE(r.err.find(c.warning), std::string::npos) << r.err;
        }
    }
}

TEST(GenepopImport, BadInputIsNamedByLineAndWritesNothing) {
    const std::string two = "t\nL1\nPop\na , 0101\nPop\nb , 0202\n";
    struct Case {
        std::string genepop;
        std::vector<std::string> args;
        std::string units, message;
    };
    const std::vector<std::string> pops = {"--sue", "1", "--tha", "2"};
    auto with = [&](std::vector<std::string> more) {
        more.insert(more.begin(), pops.begin(), pops.end());
        return more;
    };
    const std::vector<Case> cases = {
        {"t\nL1\nPop\na 0101\n", pops, "",
         "in.gen line 4: no comma between the individual's name and its genotypes"},
        {"t\nL1\nPop\na , 01012\n", pops, "",
         "line 4: genotype \"01012\" of locus L1 has 5 digits; a genotype has 2 or 3 (haploid), "
         "4 or 6 (diploid)"},
        {"t\nL1\nL2\nPop\na , 0101 01\n", pops, "",
         "line 5: genotype \"01\" of locus L2 is haploid but the file's first genotype is diploid"},
        {"t\nL1\nPop\na , 0101\nb , 001001\n", pops, "",
         "line 5: genotype \"001001\" of locus L1 has 3-digit codes, but line 4 gave this locus "
         "2-digit codes"},
        {"t\nL1\nPop\na1, 1212\na2, 1313\nPop\nb1, 120120\nb2, 130130\n", pops, "",
         "line 7: genotype \"120120\" of locus L1 has 3-digit codes, but line 4 gave this locus "
         "2-digit codes"},
        {"t\nL1\nL2\nPop\na , 0101\n", pops, "", "line 5: 1 genotype for 2 loci"},
        {"t\n" + std::string((1 << 20) + 1, '1') + "\nPop\n", pops, "",
         "in.gen line 2: line longer than 1048576 characters: this is no Genepop file"},
        {"t\nL1\nPop\na , 01x1\n", pops, "",
         "line 4: genotype \"01x1\" of locus L1 is not a number"},
        {"t\nL1\n\n", pops, "", "line 3: no Pop line"},
        {two,
         {"--sue", "3", "--tha", "1"},
         "",
         "--sue 3: no population number 3; the file has 2 populations"},
        {two,
         {"--sue", "1", "--tha", "zz"},
         "",
         "--tha zz: no population is named \"zz\" on its Pop line or starts with an individual "
         "of that name; the file has 2 populations: 1 (first individual a), 2 (first "
         "individual b)\n"},
        {"t\nL1\nPOP island\na , 0101\nPop\nb , 0202\n",
         {"--sue", "iland", "--tha", "1"},
         "",
         "--sue iland: no population is named \"iland\" on its Pop line or starts with an "
         "individual of that name; the file has 2 populations: 1 \"island\" (first individual "
         "a), 2 (first individual b)\n"},
        {two,
         {"--sue", "1", "--tha", "a"},
         "",
         "--sue 1 and --tha a both choose population 1 (Pop line 3)"},
        {"t\nL1\nPop\na , 0101\nPop\na , 0202\nPop\nc , 0101\n",
         {"--sue", "a", "--tha", "3"},
         "",
         "--sue a: populations 1 and 2 (Pop lines 3 and 5) both answer to this name"},
        {"t\nL1\nL2\nPop\na , 0101 0202\nPop\nb , 0202 0101\n",
         with({"--repeat-units", "units.txt"}), "L1 2\n", "units.txt: no unit for locus L2"},
        {two, with({"--repeat-units", "units.txt"}), "L1 2\nL9 2\n",
         "units.txt line 2: \"L9\" is no locus of the Genepop file"},
        {two, with({"--repeat-units", "units.txt"}), "L1 2\nL1 2\n",
         "units.txt line 2: locus L1 given twice (first on line 1)"},
        {two, with({"--repeat-units", "units.txt"}), "L1 two\n",
         "units.txt line 1: repeat unit \"two\" is no whole number of 1 or more"},
        {two, with({"--repeat-unit", "0"}), "",
         "--repeat-unit 0: the repeat unit must be a whole number from 1 to 999999\n"},
        {two, with({"--repeat-unit", "1073741824"}), "", "--repeat-unit 1073741824: the repeat"},
        {two, with({"--repeat-unit", "1000000"}), "", "--repeat-unit 1000000: the repeat"},
        {two, with({"--repeat-unit", "2.5"}), "", "--repeat-unit 2.5: the repeat"},
        {two, with({"--ot", "x.txt"}), "", "unknown option '--ot'; did you mean --out?\n"},
        // --force replaces an output, never an input.
        {two, with({"--out", "./in.gen", "--force"}), "",
         "--out ./in.gen is the Genepop file in.gen; give the output another name"},
        {two, with({"--repeat-units", "units.txt", "--out", "units.txt", "--force"}), "L1 2\n",
         "--out units.txt is the repeat-units file units.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        TempDir dir;
        ImportRun r = runImport(dir, c.genepop, c.args, c.units);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err.rfind("foundabc-import: ", 0), 0u);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_FALSE(dir.exists("data.txt"));
        EXPECT_EQ(dir.read("in.gen"), c.genepop);
        if (!c.units.empty()) {
            EXPECT_EQ(dir.read("units.txt"), c.units);
        }
        EXPECT_EQ(filesIn(dir.path()).size(), 2u + !c.units.empty()) << "a temporary file stayed";
    }

    // An existing output is kept unless --force replaces it.
    TempDir dir;
    dir.write("data.txt", "mine\n");
    ImportRun kept = runImport(dir, two, pops);
    EXPECT_EQ(kept.status, 1);
    EXPECT_EQ(kept.err, "foundabc-import: data.txt already exists; give --force to replace it\n");
    EXPECT_EQ(kept.data, "mine\n");
    // A bad input is named even when the output exists.
    ImportRun both = runImport(dir, "t\nL1\nPop\na 0101\n", pops);
    EXPECT_EQ(both.status, 1);
    EXPECT_NE(both.err.find("in.gen line 4: no comma"), std::string::npos) << both.err;
    EXPECT_EQ(both.data, "mine\n");
    EXPECT_EQ(runImport(dir, two, with({"--force"})).data,
              "locus sue1..sue2 tha1..tha2\n1 1 2 2\n");
}

// A device that delivers endless bytes without a line end is refused at the
// first MiB, not read into the memory.
TEST(GenepopImport, EndlessLineIsRefusedAtItsCap) {
    TempDir dir;
    ChildResult r = runProgram({FOUNDABC_IMPORT_BIN, "/dev/zero", "--sue", "1", "--tha", "2"},
                               dir.path(), dir.file("err.txt"));
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(dir.read("err.txt"),
              "foundabc-import: /dev/zero line 1: line longer than 1048576 characters: this is no "
              "Genepop file\n");
}

// Simulated values written as Genepop and imported back give the data file of
// the same values, and the printed settings lines make a parameter file that
// the run accepts with it.
TEST(GenepopImport, SimulatedLinesRoundTripThroughGenepop) {
    const AlleleMatrix values = {{1, 12, -9, 14, 15}, {999, 998, 997, -9, 3}, {7, 7, 7, 7, 7}};
    TempDir dir;
    writeGenepopFile(dir.file("sim.gen"), values, 2, 3, false);
    ChildResult r =
        runProgram({FOUNDABC_IMPORT_BIN, "sim.gen", "--sue", "sue1", "--tha", "2"}, dir.path());
    ASSERT_EQ(r.exitStatus, 0);
    EXPECT_EQ(dir.read("data.txt"), formatDataFile(values, 2, 3));
    EXPECT_EQ(readDataFile(dir.file("data.txt").c_str(), 3, 5), values);

    const std::string settings = r.out.substr(0, r.out.find("\n\n") + 1);
    dir.write("params.txt", ParamsFileText()
                                    .drop("NUMBER_OF_SUE_LINES")
                                    .drop("NUMBER_OF_THA_LINES")
                                    .drop("NUMBER_OF_LOCI")
                                    .str() +
                                settings);
    EXPECT_EQ(runProgram({FOUNDABC_BIN, "--check", "params.txt"}, dir.path()).exitStatus, 0);

    // foundabc --simulate-data --format genepop, imported back, gives the
    // values it writes as a data file.
    dir.write("data.txt", formatDataFile(values, 2, 3));
    for (const char* format : {"data", "genepop"})
        ASSERT_EQ(runProgram({FOUNDABC_BIN, "--simulate-data", std::string("pseudo.") + format,
                              "--format", format, "--seed", "5", "--at",
                              "My=0.01,TimeToOri=100,PopSizeOriTha=500,PopSizePreTha=5000,"
                              "PopSizeOriSue=10,PopSizePreSue=1000",
                              "params.txt"},
                             dir.path())
                      .exitStatus,
                  0)
            << format;
    ASSERT_EQ(runProgram({FOUNDABC_IMPORT_BIN, "pseudo.genepop", "--sue", "1", "--tha", "2",
                          "--out", "back.txt"},
                         dir.path())
                  .exitStatus,
              0);
    const std::string simulated = dir.read("pseudo.data"), back = dir.read("back.txt");
    EXPECT_EQ(back.substr(back.find('\n')), simulated.substr(simulated.find('\n')));

    std::string text, error;
    for (int32_t bad : {0, 1000, -1}) {
        EXPECT_FALSE(formatGenepop({{bad}}, 1, 0, text, error));
        EXPECT_NE(error.find("is no 3-digit code"), std::string::npos);
    }
    EXPECT_FALSE(formatGenepop({}, 1, 1, text, error));
    EXPECT_NE(error.find("no locus"), std::string::npos);
}
