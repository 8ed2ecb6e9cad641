// The study file: what it reads, and that every problem names the file, the
// table and the key.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "study/SavedResult.h"
#include "study/StudyData.h"
#include "study/StudyFile.h"

namespace {

const std::string kGood =
    "[data]\ngenepop = \"lab.gen\"\nsue = \"INT\"\ntha = 2\nrepeat_unit = 2\n"
    "[model]\nparameters = \"base.txt\"\nsimulations = 500\nALPHA = 0.25\n"
    "[models.plain]\nCONDITIONAL_NUMBER_OF_ORIGINS = 0\n"
    "[models.k2]\nCONDITIONAL_NUMBER_OF_ORIGINS = 2\nmy_upper = 1e-3\n"
    "[run]\nseed = 7\nestimate = \"all\"\n";

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    text.replace(text.find(from), from.size(), to);
    return text;
}

TEST(StudyFile, ReadsTheShippedShape) {
    StudySettings s;
    ASSERT_EQ(parseStudyText(kGood, "/s/study.toml", s), "");
    EXPECT_EQ(s.genepop, "/s/lab.gen");
    EXPECT_EQ(s.tha, "2");
    EXPECT_EQ(s.parameters, "/s/base.txt");
    EXPECT_EQ(s.simulations, 500);
    ASSERT_EQ(s.shared.size(), 1u);
    EXPECT_EQ(s.shared[0].second, "0.25");
    // The models in the file's order, not by name; keys upper-cased.
    ASSERT_EQ(s.models.size(), 2u);
    EXPECT_EQ(s.models[0].name, "plain");
    EXPECT_EQ(s.models[1].settings[1], (SettingOverride{"MY_UPPER", "0.001"}));
    EXPECT_EQ(s.seed, 7u);
    EXPECT_TRUE(s.estimateAll);
    EXPECT_EQ(s.slurm.tasks, 0);
    ASSERT_EQ(parseStudyText(kGood + "[slurm]\ntasks = 12\nsbatch = [\"-p\", \"short\"]\n", "s.toml", s), "");
    EXPECT_EQ(s.slurm.tasks, 12);
    EXPECT_EQ(s.slurm.sbatch, (std::vector<std::string>{"-p", "short"}));
}

TEST(StudyFile, EachProblemNamesTheFileTableAndKey) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {replaced(kGood, "[run]", "[runs]"), "s.toml: [runs]: not a table of a study file (did you mean run?)"},
        {replaced(kGood, "ALPHA", "ALPA"), "s.toml: [model] ALPA: not a key of a parameter file (did you mean ALPHA?)"},
        {replaced(kGood, "seed = 7", "sede = 7"), "s.toml: [run] sede: not a key of [run] (did you mean seed?)"},
        {replaced(kGood, "seed = 7", "seed = -1"), "s.toml: [run] seed: give a whole number from 0"},
        {replaced(kGood, "\"all\"", "\"best\""), "s.toml: [run] estimate: give \"chosen\" or \"all\""},
        {replaced(kGood, "simulations = 500", "REPEATS = 500"), "s.toml: [model] REPEATS: set by the study itself"},
        {replaced(kGood, "ALPHA = 0.25", "ALPHA = [1]"), "s.toml: [model] ALPHA: give a number or a single word"},
        {replaced(kGood, "genepop = \"lab.gen\"", "data = \"d.txt\""), "s.toml: [data] sue: only with genepop"},
        {replaced(kGood, "genepop = \"lab.gen\"\n", ""), "s.toml: [data] genepop: give either genepop or data, not neither"},
        {replaced(kGood, "parameters = \"base.txt\"\n", ""), "s.toml: [model] parameters: missing"},
        {replaced(kGood, "[models.k2]", "[models.\"k 2\"]"), "s.toml: [models.k 2]: a model's name is 1 to 16"},
        {kGood.substr(0, kGood.find("[models.plain]")), "s.toml: [models]: give at least one model"},
        {replaced(kGood, "tha = 2", "tha = "), "s.toml line 4:"},
        {kGood + "[slurm]\ntask = 4\n", "s.toml: [slurm] task: not a key of [slurm] (did you mean tasks?)"},
        {kGood + "[slurm]\ntasks = 0\n", "s.toml: [slurm] tasks: give a whole number from 1 to 1000000"},
        {kGood + "[slurm]\nsbatch = \"-p x\"\n", "s.toml: [slurm] sbatch: give a list of texts"},
        {kGood + "[slurm]\nsbatch = [\"-p\", 2]\n", "s.toml: [slurm] sbatch: give a list of texts"},
    };
    for (const auto& [text, message] : cases) {
        StudySettings s;
        const std::string problem = parseStudyText(text, "s.toml", s);
        EXPECT_EQ(problem.substr(0, message.size()), message) << problem;
    }
}

TEST(StudyFile, OverridesKeepTheCommentAndNameAMissingKey) {
    const std::string base = "title line\nMY_UPPER 0.05 # rate\nmy_lower 0.001 # rate\n";
    std::string out;
    EXPECT_EQ(overrideSettings(base, {{"MY_LOWER", "1e-4"}}, out), "");
    EXPECT_EQ(out, "title line\nMY_UPPER 0.05 # rate\nMY_LOWER                  1e-4          # rate\n");
    EXPECT_EQ(overrideSettings(base, {{"ALPHA", "1"}}, out), "the parameter file has no line for ALPHA");
    EXPECT_EQ(overrideSettings(base, {{"GSM_P_UPPER", "0.5"}}, out), "");
    EXPECT_EQ(out, base + "GSM_P_UPPER               0.5           # set by the study's model\n");
}

TEST(StudyFile, SavedResultsReadBackToTheSameBits) {
    SavedResult r;
    r.choice.present = true;
    r.choice.models = {"a", "b"};
    r.choice.confusion = {{3, 1}, {0, 4}};
    r.choice.chosenProbability = 0.1 + 0.2;
    r.choice.ldaSvg = "<svg>\nline\n</svg>";
    EstimateSection e;
    e.model = "a";
    e.lines.push_back({"My", 1.0 / 3, 0, 1, 0.25, 0.75, 0.5, std::nan(""), "fixed"});
    e.importance = {{"S_sue", 2.5}};
    r.estimates.push_back(e);
    FitSection f;
    f.checkPValue = 0.1 + 0.2;
    f.checkResiduals = {{"FST", std::nan("")}, {"DM2", -3.25}};
    r.fit.push_back(f);
    r.warnings.push_back({"fit", "w"});
    r.chosen = 1;
    SavedResult back;
    ASSERT_TRUE(readSavedResult(formatSavedResult(r), back));
    EXPECT_EQ(formatSavedResult(back), formatSavedResult(r));
    EXPECT_EQ(back.choice.chosenProbability, r.choice.chosenProbability);
    EXPECT_EQ(back.estimates[0].lines[0].median, 1.0 / 3);
    EXPECT_TRUE(std::isnan(back.estimates[0].lines[0].oobError));
    EXPECT_EQ(back.fit[0].checkPValue, 0.1 + 0.2);
    EXPECT_EQ(back.fit[0].checkResiduals[1], f.checkResiduals[1]);
    const std::string text = formatSavedResult(r);
    EXPECT_FALSE(readSavedResult(text.substr(0, text.size() - 2), back));  // cut short
}

}  // namespace

#include <filesystem>
#include <fstream>

#include <gsl/gsl_rng.h>

#include "study/ForestAnalysis.h"
#include "study/StepKeys.h"
#include "support/ChildProcess.h"

namespace {

TEST(StudyData, ADataFileGivesItsShapeAndEachModelItsOwnKeys) {
    struct Case {
        std::string data;
        int sue, tha, loci;
        long missing;
        std::string problem;
    };
    const std::vector<Case> cases = {
        {"locus sue1..sue2 tha1..tha3\n1 2 -9 4 5\n\n3 -9 -9 1 2\n", 2, 3, 2, 3, ""},
        {"locus 2 sue 1 tha\n1 2 3\n", 2, 1, 1, 0, ""},
        {"lines of both populations\n1 2 3\n", 0, 0, 0, 0, "the header does not name the lines"},
        {"locus sue1..sue2 tha1..tha3\n\n", 0, 0, 0, 0, "no locus after the header"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        runProgram({"mkdir", dir.file("work")});
        dir.write("d.txt", c.data);
        dir.write("base.txt",
                  "DATAFILE_NAME x # f\nOUTFILE_NAME y # f\nNUMBER_OF_SUE_LINES 1 # n\n"
                  "NUMBER_OF_THA_LINES 1 # n\nNUMBER_OF_LOCI 1 # n\nALPHA 0.5 # a\nREPEATS 9 # r\n");
        StudySettings s;
        ASSERT_EQ(parseStudyText("[data]\ndata = \"d.txt\"\n[model]\nparameters = \"base.txt\"\n"
                                 "simulations = 20\nALPHA = 0.1\n[models.a]\n[models.b]\nALPHA = 0.9\n",
                                 dir.file("s.toml"), s),
                  "");
        StudyData data;
        const std::string problem = prepareStudyData(s, dir.file("work"), data);
        if (!c.problem.empty()) {
            EXPECT_NE(problem.find(c.problem), std::string::npos) << problem;
            continue;
        }
        ASSERT_EQ(problem, "");
        EXPECT_EQ(data.sueLines, c.sue);
        EXPECT_EQ(data.thaLines, c.tha);
        EXPECT_EQ(data.loci, c.loci);
        EXPECT_EQ(data.missingValues, c.missing);
        const std::string a = dir.read("work/a.params.txt"), b = dir.read("work/b.params.txt");
        EXPECT_NE(a.find("DATAFILE_NAME             data.txt"), std::string::npos) << a;
        EXPECT_NE(a.find("NUMBER_OF_THA_LINES       " + std::to_string(c.tha) + " "), std::string::npos) << a;
        EXPECT_NE(a.find("REPEATS                   20 "), std::string::npos) << a;
        EXPECT_NE(a.find("ALPHA                     0.1 "), std::string::npos) << a;  // [model]
        EXPECT_NE(b.find("ALPHA                     0.9 "), std::string::npos) << b;  // its own wins
        EXPECT_EQ(dir.read("work/data.txt"), c.data);
        // Written again unchanged, no file changes.
        EXPECT_TRUE(data.changed);
        ASSERT_EQ(prepareStudyData(s, dir.file("work"), data), "");
        EXPECT_FALSE(data.changed);
    }
}

TEST(StudyData, StepKeysHoldOnlyAFinishedStepsKey) {
    TempDir dir;
    const StepKeys keys(dir.path());
    EXPECT_FALSE(keys.unchanged("fit", 42));
    keys.record("fit", 42);
    EXPECT_TRUE(keys.unchanged("fit", 42));
    EXPECT_FALSE(keys.unchanged("fit", 43));
    EXPECT_FALSE(keys.unchanged("choice", 42));
    dir.write("fit.key", "000000000000002a");  // without its line end it still reads
    EXPECT_TRUE(keys.unchanged("fit", 42));
    dir.write("fit.key", "00000000000002a\n");
    EXPECT_FALSE(keys.unchanged("fit", 42));
    keys.forget("fit");
    EXPECT_FALSE(dir.exists("fit.key"));
    EXPECT_NE(fileFingerprint(dir.write("a", "x")), fileFingerprint(dir.write("b", "y")));
}

// A table whose parameter My is told by S_sue up to noise of known spread:
// the out-of-bag intervals of a forest cover the truth about as often as
// they claim, and the half table is the first rows.
TEST(StudyData, OutOfBagCoverageIsNearTheIntervalsClaim) {
    gsl_rng* g = gsl_rng_alloc(gsl_rng_taus);
    gsl_rng_set(g, 11);
    ReferenceTable t;
    t.numbStats = numbCoreStats;  // one informative statistic among eleven of noise
    const std::size_t n = 600;
    for (std::size_t i = 0; i < n; ++i) {
        const double my = gsl_rng_uniform(g);
        for (std::size_t c = 0; c < numbParamColumns; ++c) t.params[c].push_back(c == 0 ? my : 1.0 + i);
        for (std::size_t j = 0; j < numbTableStats; ++j)
            t.stats[j].push_back(j == 0 ? my + 0.1 * gsl_rng_uniform(g) : gsl_rng_uniform(g));
    }
    gsl_rng_free(g);
    std::array<double, numbTableStats> observed{};
    observed.fill(0.5);
    const ForestAnalysis a = analyseByForests(t, nullptr, nullptr, observed, 60, 1, 3, {});
    ASSERT_EQ(a.error, "");
    std::vector<std::size_t> rows(200);
    for (std::size_t i = 0; i < rows.size(); ++i) rows[i] = i;
    const Coverage cover = outOfBagCoverage(a.forests[0], t, 0, rows);
    EXPECT_GT(cover.inside50, 0.3);
    EXPECT_LT(cover.inside50, 0.8);
    EXPECT_GT(cover.inside95, 0.85);
    EXPECT_LE(cover.inside50, cover.inside95);
    EXPECT_EQ(columnVerdict(a.forests[0]), "informed");
    const ReferenceTable half = firstRows(t, n / 2);
    EXPECT_EQ(half.rows(), n / 2);
    EXPECT_EQ(half.params[1].back(), t.params[1][n / 2 - 1]);
}

}  // namespace
