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
    r.warnings.push_back({"fit", "w"});
    r.chosen = 1;
    SavedResult back;
    ASSERT_TRUE(readSavedResult(formatSavedResult(r), back));
    EXPECT_EQ(formatSavedResult(back), formatSavedResult(r));
    EXPECT_EQ(back.choice.chosenProbability, r.choice.chosenProbability);
    EXPECT_EQ(back.estimates[0].lines[0].median, 1.0 / 3);
    EXPECT_TRUE(std::isnan(back.estimates[0].lines[0].oobError));
    const std::string text = formatSavedResult(r);
    EXPECT_FALSE(readSavedResult(text.substr(0, text.size() - 2), back));  // cut short
}

}  // namespace
