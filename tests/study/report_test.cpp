// The study's report: its one number format, the rules of its sentences, the
// escapes, and a whole report written from a small study (two models, seven
// parameters, a warning, a missing value, a name full of HTML's characters)
// whose page, Markdown and TSV files must show the same numbers.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "plot/ImportancePlot.h"
#include "plot/Plot.h"
#include "sim/Columns.h"
#include "study/ReportEscape.h"
#include "study/ReportFigures.h"
#include "study/ReportText.h"
#include "study/ReportWriter.h"
#include "support/ChildProcess.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// An importance picture as the programs draw it, or a small SVG with the same
// prolog where gnuplot is missing.
std::string pictureSvg(const TempDir& dir, const std::string& name) {
    std::vector<std::string> statistics(tableStatNames.begin(), tableStatNames.begin() + 4);
    auto script = [&](const std::string& output) {
        return importancePlotScript({"My", "TimeToOri"}, {{4, 3, 2, 1}, {1, 2, 3, 4}}, statistics,
                                    output, "importance", PlotFormat::svg);
    };
    std::string why;
    if (drawPlot(script, dir.file(name), "gnuplot", why) == PlotOutcome::drawn)
        return dir.read(name);
    return "<?xml version=\"1.0\"?>\n<!DOCTYPE svg>\n<svg viewBox=\"0 0 80 40\" "
           "xmlns=\"http://www.w3.org/2000/svg\"><defs><clipPath id=\"c\"><rect width=\"80\" "
           "height=\"40\"/></clipPath></defs><rect clip-path=\"url(#c)\" width=\"80\" "
           "height=\"40\" fill=\"#4a76a8\"/></svg>\n";
}

StudyReport fixture(const TempDir& dir) {
    StudyReport r;
    r.title = "lab-study";
    r.data = {"lab.gen", "INT <A&B>", "SRC", 24, 30, 10, 7, {}, {}};
    for (std::size_t s = 0; s < numbTableStats; ++s) {
        r.data.statNames.push_back(tableStatNames[s]);
        r.data.statValues.push_back(0.25 + 1.5 * static_cast<double>(s));
    }
    const std::string models[2] = {"plain", "k2 \"two\""};
    for (int m = 0; m < 2; ++m) {
        ModelSection section{models[m],
                             {{"CONDITIONAL_NUMBER_OF_ORIGINS", m ? "2" : "0"}},
                             {},
                             2000,
                             m ? "fnv1a:9b1c" : "fnv1a:07aa"};
        for (std::size_t c = 0; c < numbEstimatedColumns; ++c)
            section.priors.push_back({paramColumnNames[c], c == 0 ? "log-uniform" : "uniform",
                                      c == 0 ? 1e-5 : 1.0, c == 0 ? 0.01 : 1000.0 * double(c)});
        r.models.push_back(section);
    }
    r.choice = {true,
                {models[0], models[1]},
                {312, 688},
                {0.5, 0.5},
                {kNaN, 0.83},
                models[1],
                0.83,
                0.21,
                {{820, 180}, {240, 760}},
                "",
                pictureSvg(dir, "lda.svg")};
    EstimateSection e{
        models[1], {}, {{"HET_sue", 0.31}, {"FST", 0.2}}, pictureSvg(dir, "post.svg"), ""};
    const double errors[7] = {0.31, 0.62, 0.91, 0.45, 0.7, 0.85, kNaN};
    for (std::size_t c = 0; c < numbEstimatedColumns; ++c) {
        const double x = 10.0 * double(c + 1) + 0.123456;
        e.lines.push_back({paramColumnNames[c], x, x / 2, x * 2, x * 0.8, x * 1.3, x * 1.05,
                           errors[c], c == 6 ? "fixed" : ""});
    }
    r.estimates.push_back(e);
    CalibrationSection cal{models[1], {}};
    for (std::size_t c = 0; c < numbEstimatedColumns; ++c)
        cal.lines.push_back({paramColumnNames[c], 2000, 0.5 - 0.01 * double(c),
                             0.95 - 0.01 * double(c), errors[c], c == 6 ? "fixed" : ""});
    r.calibration.push_back(cal);
    EnoughSection en{models[1], 1000, 2000, {}, 2000, ""};
    en.lines.push_back({"My", 0.0031, 0.0030, 0.004, 0.31, 0.30, false, false});
    en.lines.push_back({"TimeToOri", 120, 90, 200, 0.62, 0.66, true, true});
    r.enough.push_back(en);
    FitSection f{models[1], 1.23, 0.41, 1000, "", {}, "", pictureSvg(dir, "ppc.svg"),
                 31.5, 0.02, 100, {{"NAL_sue", 3.41}, {"HET_sue", -1.2}}, pictureSvg(dir, "check.svg")};
    for (std::size_t s = 0; s < 4; ++s)
        f.ppc.push_back(
            {tableStatNames[s], 1.0 + double(s), 0.5, s == 2 ? 2.5 : 4.0, s == 2 ? 0.01 : 0.4});
    r.fit.push_back(f);
    r.warnings.push_back(
        {"choice", "the statistic DM2 is constant among the rows of k2 & was left out"});
    for (const char* step :
         {"import", "tables", "choice", "estimate", "calibration", "enough", "fit", "report"})
        r.steps.push_back({step, true});
    r.provenance = {"foundabc-study 1.0",
                    "study.toml",
                    "[data]\ngenepop = \"lab.gen\"\n",
                    2026,
                    {{"tables/plain", 11}, {"tables/k2", 12}},
                    {{"lab.gen", "fnv1a:5e5e"}},
                    "foundabc-study study.toml"};
    return r;
}

// The field `column` of the row whose first fields are `key`, in a TSV text.
std::string tsvValue(const std::string& tsv, const std::vector<std::string>& key,
                     const std::string& column) {
    std::istringstream in(tsv);
    std::string line;
    std::getline(in, line);
    auto fields = [](const std::string& text) {
        std::vector<std::string> out;
        std::istringstream s(text);
        for (std::string f; std::getline(s, f, '\t');) out.push_back(f);
        return out;
    };
    const std::vector<std::string> header = fields(line);
    while (std::getline(in, line)) {
        const std::vector<std::string> row = fields(line);
        if (!std::equal(key.begin(), key.end(), row.begin())) continue;
        for (std::size_t i = 0; i < header.size(); ++i)
            if (header[i] == column) return row.at(i);
    }
    return "(missing)";
}

}  // namespace

TEST(StudyReport, NumbersAndVerdictsFollowOneRule) {
    struct Case {
        std::string got, want;
    };
    const std::vector<Case> cases = {
        {reportNumber(kNaN), "NA"},
        {reportNumber(-0.0), "0"},
        {reportNumber(0.30999999), "0.31"},
        {reportNumber(1234567), "1.235e+06"},
        {reportNumber(-std::numeric_limits<double>::infinity()), "-Inf"},
        {informationWord(information("", 0.49)), "informed"},
        {informationWord(information("", 0.5)), "weakly informed"},
        {informationWord(information("", 0.8)), "not informed"},
        {informationWord(information("fixed", 0.1)), "fixed"},
        {informationWord(information("informed", kNaN)), "not measured"},
        // 2 se of a 95 % interval over 400 rows: 0.0218.
        {coverageWord(coverage(0.93, 0.95, 400)), "as stated"},
        {coverageWord(coverage(0.92, 0.95, 400)), "too narrow"},
        {coverageWord(coverage(0.99, 0.95, 400)), "too wide"},
        {coverageWord(coverage(0.9, 0.95, 0)), "not measured"},
        {movedWord(medianMoved({"My", 1.0, 1.09, 1.0, 0, 0, false, false})), "steady"},
        {movedWord(medianMoved({"My", 1.0, 1.11, 1.0, 0, 0, false, false})), "moved"},
        {movedWord(errorMoved({"My", 0, 0, 1, 0.5, 0.53, false, false})), "moved"},
        {ppcWord({"FST", 0.6, 0.1, 0.5, 0.01}), "outside"},
        {ppcWord({"FST", 0.5, 0.1, 0.5, 0.04}), "inside"},
        {gfitWord(0.049), "rejected"},
        // The fit check names a statistic from 3 standard deviations, either side.
        {checkSentence({"m", 0, 0, 0, "", {}, "", "", 12.5, 0.5, 200, {{"FST", -3.0}, {"DM2", 2.99}}, ""}),
         "Of 200 simulations of m, a share p = 0.5 lie as far from the mean of their nearest "
         "simulations (in the squared Mahalanobis distance) as the data do, so the model is not "
         "rejected at the 5 % level. At least 3 standard deviations from what the other "
         "statistics predict near the data: FST (-3.00)."},
        {checkSentence({"m", 0, 0, 0, "", {}, "", "", 40, 0.01, 200, {{"FST", kNaN}}, ""}),
         "Of 200 simulations of m, a share p = 0.01 lie as far from the mean of their nearest "
         "simulations (in the squared Mahalanobis distance) as the data do, so the model is "
         "rejected at the 5 % level: the observed statistics do not keep the relations that its "
         "simulations keep among them."},
        {checkSentence({"m", 0, 0, 0, "", {}, "", "", kNaN, kNaN, 0, {}, ""}),
         "The fit check of m was not measured."},
        {calibrationSentences({"My", 400, 0.5, 0.92, 0.3, ""}).at(0),
         "The 95 % intervals of My held the true value in 0.92 of 400 predictions, below 0.95 by "
         "more than 0.02179: too narrow, they claim more certainty than the data give."},
        {informationSentence({"My", 0, 0, 0, 0, 0, 0, 0.31, ""}),
         "My is informed by the data: its out-of-bag error, 0.31, is below 0.5."},
    };
    for (const Case& c : cases) EXPECT_EQ(c.got, c.want);
}

TEST(StudyReport, EscapesKeepEveryCharacterAsWritten) {
    const std::string name = "a<b & \"c\"|d_e\tf";
    EXPECT_EQ(htmlText(name), "a&lt;b &amp; &quot;c&quot;|d_e\tf");
    EXPECT_EQ(markdownText(name), "a&lt;b &amp; \"c\"\\|d\\_e f");
    EXPECT_EQ(tsvField(name), "\"a<b & \"\"c\"\"|d_e f\"");
    EXPECT_EQ(tsvField("plain"), "plain");
}

TEST(StudyReport, InlinePicturesLoseTheirPrologAndShareNoId) {
    const std::string svg =
        "<?xml version=\"1.0\"?>\n<!DOCTYPE svg PUBLIC \"-//W3C//DTD SVG 1.1//EN\">\n"
        "<svg><g id=\"gnuplot_canvas\"><use xlink:href='#gpPt1'/>"
        "<g clip-path=\"url(#gpclip1)\" grid=\"1\"/></g></svg>";
    EXPECT_EQ(inlineSvg(svg, "fig2-"),
              "<svg><g id=\"fig2-gnuplot_canvas\"><use xlink:href='#fig2-gpPt1'/>"
              "<g clip-path=\"url(#fig2-gpclip1)\" grid=\"1\"/></g></svg>");
    EXPECT_EQ(inlineSvg("<?xml?>no picture", "x"), "");
}

TEST(StudyReport, PageMarkdownAndTablesShowTheSameNumbers) {
    TempDir dir;
    const StudyReport report = fixture(dir);
    writeStudyReport(dir.file("report"), report);
    const std::string html = dir.read("report/report.html"), md = dir.read("report/report.md");
    const std::string estimates = dir.read("report/estimates.tsv");
    const std::string k2 = "k2 \"two\"";
    // TimeToOri's median, 20.123456, everywhere as 20.12.
    EXPECT_EQ(tsvValue(estimates, {"\"k2 \"\"two\"\"\"", "TimeToOri"}, "median"), "20.12");
    EXPECT_NE(html.find(">20.12</td>"), std::string::npos);
    EXPECT_NE(md.find("| 20.12 |"), std::string::npos);
    EXPECT_EQ(tsvValue(estimates, {"\"k2 \"\"two\"\"\"", "FracSueMono"}, "oob_error"), "NA");
    EXPECT_EQ(tsvValue(estimates, {"\"k2 \"\"two\"\"\"", "PopSizeOriTha"}, "verdict"),
              "not informed");
    EXPECT_NE(html.find("data-row=\"k2 &quot;two&quot;/My\" data-col=\"median\""),
              std::string::npos);
    // The population's name escaped, never raw; the picture inline without its prolog.
    EXPECT_NE(html.find("INT &lt;A&amp;B&gt;"), std::string::npos);
    EXPECT_EQ(html.find("INT <A"), std::string::npos);
    EXPECT_NE(md.find("INT &lt;A&amp;B&gt;"), std::string::npos);
    EXPECT_EQ(html.find("<?xml"), std::string::npos);
    EXPECT_NE(md.find("](figures/choice-lda.svg)"), std::string::npos);
    EXPECT_TRUE(dir.exists("report/figures/choice-lda.svg"));
    EXPECT_EQ(tsvValue(dir.read("report/model-choice.tsv"), {"plain"}, "posterior"), "NA");
    EXPECT_EQ(tsvValue(dir.read("report/model-choice.tsv"), {"plain"}, "verdict"), "favoured");
    EXPECT_EQ(
        tsvValue(dir.read("report/fit.tsv"), {"ppc", "\"k2 \"\"two\"\"\"", "NAL_sue"}, "verdict"),
        "outside");
    EXPECT_EQ(tsvValue(dir.read("report/fit.tsv"), {"fit-check", "\"k2 \"\"two\"\"\"", "all"},
                       "p_value"),
              "0.02");
    EXPECT_NE(md.find("near the data: NAL\\_sue (+3.41)."), std::string::npos);
    EXPECT_TRUE(dir.exists("report/figures/fit-check-k2__two_.svg"));
    // The same report, written again, gives the same bytes.
    writeStudyReport(dir.file("again"), report);
    for (const char* file :
         {"report.html", "report.md", "estimates.tsv", "calibration.tsv", "fit.tsv"})
        EXPECT_EQ(dir.read(std::string("again/") + file), dir.read(std::string("report/") + file))
            << file;
}

TEST(StudyReport, AStudyOfOneModelMakesNoChoice) {
    TempDir dir;
    StudyReport report;
    report.models.push_back({"only", {}, {}, 100, ""});
    report.estimates.push_back({"only", {{"My", 1, 0, 2, 0.5, 1.5, 1, kNaN, ""}}, {}, "", ""});
    writeStudyReport(dir.path(), report);
    EXPECT_EQ(dir.read("model-choice.tsv"),
              "model\tvotes\tprior\tposterior\tchosen\toob_as_only\tprior_error_rate\tverdict\n"
              "only\tNA\t1\tNA\t1\tNA\tNA\tno_choice\n");
    EXPECT_NE(dir.read("report.html").find("The study has one model: no model was chosen."),
              std::string::npos);
    EXPECT_FALSE(dir.exists("figures"));
}

TEST(StudyReport, AFolderThatCannotBeMadeIsNamed) {
    TempDir dir;
    dir.write("file", "x");
    try {
        writeStudyReport(dir.file("file/report"), fixture(dir));
        FAIL() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("cannot write '" + dir.file("file/report") + "'"),
                  std::string::npos)
            << e.what();
    }
}

// The fixture's report for tests/study/browser_check.py, written into the
// folder FOUNDABC_STUDY_REPORT_DIR (the ctest entry StudyReport.InBrowser sets it).
TEST(StudyReport, FixtureForTheBrowser) {
    const char* folder = std::getenv("FOUNDABC_STUDY_REPORT_DIR");
    if (folder == nullptr) GTEST_SKIP() << "FOUNDABC_STUDY_REPORT_DIR is not set";
    TempDir dir;
    writeStudyReport(folder, fixture(dir));
}
