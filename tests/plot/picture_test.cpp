// Every kind of picture, drawn by the programs from a small seeded run of
// the shipped example and read back from the SVG that gnuplot writes: the
// rules a reader checks by eye, checked by a program. Tick labels and other
// texts on one baseline keep apart, each axis says what it measures and in
// what unit, and the PDF's text is at least 9 pt at the PDF's own size.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "support/ChildProcess.h"

namespace {

// One text of an SVG: where gnuplot anchored it, how, and its characters.
struct SvgText {
    double x = 0.0, y = 0.0, size = 0.0;
    std::string anchor, text;
    bool rotated = false;
};

std::string decoded(std::string s) {
    s = std::regex_replace(s, std::regex("<[^>]*>"), "");
    for (const auto& [entity, c] : std::vector<std::pair<std::string, std::string>>{
             {"&lt;", "<"}, {"&gt;", ">"}, {"&apos;", "'"}, {"&quot;", "\""}, {"&amp;", "&"}})
        for (std::size_t at; (at = s.find(entity)) != std::string::npos;) s.replace(at, entity.size(), c);
    return s;
}

// Characters, not bytes: ² and δ take two bytes of UTF-8 each.
std::size_t characters(const std::string& s) {
    std::size_t n = 0;
    for (unsigned char c : s) n += (c & 0xC0) != 0x80;
    return n;
}

// gnuplot's svg terminal writes each text as
// <g transform="translate(X,Y)[ rotate(A)]" ... font-size="F" text-anchor="A"> <text>...</text>.
std::vector<SvgText> svgTexts(const std::string& svg) {
    static const std::regex text(
        "<g transform=\"translate\\(([-0-9.]+),([-0-9.]+)\\)( rotate\\([-0-9.]+\\))?\"[^>]*"
        "font-size=\"([0-9.]+)\"[^>]*text-anchor=\"([a-z]+)\">\\s*<text[^>]*>(.*?)</text>");
    std::vector<SvgText> texts;
    for (std::sregex_iterator m(svg.begin(), svg.end(), text), end; m != end; ++m) {
        SvgText t;
        t.x = std::stod((*m)[1]);
        t.y = std::stod((*m)[2]);
        t.rotated = (*m)[3].matched;
        t.size = std::stod((*m)[4]);
        t.anchor = (*m)[5];
        t.text = decoded((*m)[6]);
        if (!t.text.empty()) texts.push_back(t);
    }
    return texts;
}

// Left and right end of a text, at 0.6 em a character.
std::pair<double, double> extent(const SvgText& t) {
    const double width = characters(t.text) * 0.6 * t.size;
    const double left = t.anchor == "end" ? t.x - width : t.anchor == "middle" ? t.x - width / 2 : t.x;
    return {left, left + width};
}

// The pairs of level texts on one baseline that overlap, described.
std::vector<std::string> overlaps(const std::vector<SvgText>& texts) {
    std::vector<std::string> found;
    for (std::size_t i = 0; i < texts.size(); ++i)
        for (std::size_t j = i + 1; j < texts.size(); ++j) {
            const SvgText &a = texts[i], &b = texts[j];
            if (a.rotated || b.rotated || std::fabs(a.y - b.y) > 0.5 * a.size) continue;
            const auto [al, ar] = extent(a);
            const auto [bl, br] = extent(b);
            if (al < br && bl < ar) found.push_back("'" + a.text + "' and '" + b.text + "'");
        }
    return found;
}

std::string fileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The example's parameter file with `changes` (KEY VALUE) made.
std::string exampleParams(const std::vector<std::pair<std::string, std::string>>& changes) {
    std::istringstream in(fileText(std::string(FOUNDABC_SOURCE_DIR) + "/examples/params.txt"));
    std::string out;
    for (std::string line; std::getline(in, line);) {
        for (const auto& [key, value] : changes)
            if (line.rfind(key + " ", 0) == 0) line = key + " " + value + " #";
        out += line + "\n";
    }
    return out;
}

// What a PDF prints: its page in points and the size of each text, read
// from the text matrices ("s 0 0 -s x y Tm", cairo's way of sizing text) of
// its deflated content streams.
struct PdfText {
    double width = 0.0, height = 0.0;
    std::vector<double> sizes;
};
PdfText pdfText(const std::string& pdf) {
    PdfText p;
    std::smatch box;
    if (std::regex_search(pdf, box, std::regex("MediaBox \\[ *0 0 ([0-9.]+) ([0-9.]+) *\\]")))
        p.width = std::stod(box[1]), p.height = std::stod(box[2]);
    static const std::regex matrix("([0-9.]+) 0 0 -?([0-9.]+) [-0-9.]+ [-0-9.]+ Tm");
    for (std::size_t at = 0; (at = pdf.find("stream", at)) != std::string::npos;) {
        const std::size_t begin = pdf.find('\n', at) + 1, end = pdf.find("endstream", begin);
        if (begin == 0 || end == std::string::npos) break;
        at = end + 9;
        std::string text(16 * (end - begin) + 4096, '\0');
        uLongf size = text.size();
        if (uncompress(reinterpret_cast<Bytef*>(text.data()), &size,
                       reinterpret_cast<const Bytef*>(pdf.data() + begin), end - begin) != Z_OK)
            continue;
        text.resize(size);
        for (std::sregex_iterator m(text.begin(), text.end(), matrix), e; m != e; ++m)
            p.sizes.push_back(std::stod((*m)[1]));
    }
    return p;
}

bool gnuplotHasSvg() {
    return std::system("command -v gnuplot >/dev/null 2>&1") == 0 &&
           std::system("echo \"print GPVAL_TERMINALS\" | gnuplot 2>&1 | grep -q ' svg '") == 0;
}

}  // namespace

TEST(Pictures, LabelsKeepApartAndAxesNameTheirUnits) {
    if (!gnuplotHasSvg()) GTEST_SKIP() << "gnuplot with the svg terminal is not installed";
    TempDir dir;
    const std::string data = fileText(std::string(FOUNDABC_SOURCE_DIR) + "/examples/data.txt");
    struct Model {
        std::string name;
        std::vector<std::pair<std::string, std::string>> changes;
    };
    const std::vector<std::pair<std::string, std::string>> small = {{"REPEATS", "1500"}};
    auto with = [&](std::vector<std::pair<std::string, std::string>> more) {
        more.insert(more.begin(), small.begin(), small.end());
        return more;
    };
    const std::vector<Model> models = {
        {"plain", small},
        {"two", with({{"CONDITIONAL_NUMBER_OF_ORIGINS", "2"}})},
        {"unequal", with({{"CONDITIONAL_NUMBER_OF_ORIGINS", "2"}, {"UNEQUAL_FOUNDING_FRACTIONS", "0.2"}})},
        {"log", with({{"PRIOR_DISTRIBUTION", "1"}, {"MY_LOWER", "-4"}, {"MY_UPPER", "-1.3"},
                      {"TIME_TO_ORIGIN_LOWER", "1.7"}, {"TIME_TO_ORIGIN_UPPER", "2.7"},
                      {"POPSIZE_ORIGIN_THA_LOWER", "2"}, {"POPSIZE_ORIGIN_THA_UPPER", "3"},
                      {"POPSIZE_PRESENT_THA_LOWER", "3.3"}, {"POPSIZE_PRESENT_THA_UPPER", "4"},
                      {"POPSIZE_ORIGIN_SUE_LOWER", "0.3"}, {"POPSIZE_ORIGIN_SUE_UPPER", "1.7"},
                      {"POPSIZE_PRESENT_SUE_LOWER", "2"}, {"POPSIZE_PRESENT_SUE_UPPER", "3.7"},
                      {"EPSILON", "0.3"}})}};
    int seed = 11;
    for (const Model& m : models) {
        const std::string folder = dir.file(m.name);
        ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
        dir.write(m.name + "/params.txt", exampleParams(m.changes));
        dir.write(m.name + "/data.txt", data);
        ASSERT_EQ(runProgram({FOUNDABC_BIN, "--seed", std::to_string(seed++), "--table",
                              "table.tsv", "params.txt"},
                             folder)
                      .exitStatus,
                  0)
            << m.name;
    }
    // A table simulated from a posterior sample, for the predictive check.
    const std::string plain = dir.file("plain");
    ASSERT_EQ(runProgram({FOUNDABC_SUMMARY_BIN, "--table", "table.tsv", "--method", "rejection",
                          "--tol", "0.1", "--sample", "sample.tsv"},
                         plain)
                  .exitStatus,
              0);
    ASSERT_EQ(runProgram({FOUNDABC_BIN, "--seed", "5", "--from-sample", "sample.tsv", "--table",
                          "predictive.tsv", "params.txt"},
                         plain)
                  .exitStatus,
              0);

    struct Case {
        std::string picture;             // its name; the format follows
        std::vector<std::string> args;  // run in plain/, before --plot
        std::vector<std::string> labels;  // texts the picture must hold
    };
    const std::vector<std::string> trees = {"--trees", "30", "--threads", "2"};
    const auto forest = [&](std::vector<std::string> args) {
        args.insert(args.end(), trees.begin(), trees.end());
        return args;
    };
    const std::vector<Case> cases = {
        {"results",
         {"--params", "params.txt", "results.txt"},
         {"mutation rate (per locus and generation)", "time since sue was founded (generations)",
          "present size of sue (gene copies)", "share of rows"}},
        // Log priors: "log scale" in the labels, and both ends of each axis
        // labelled (TimeToOri's prior runs from 10^1.7 to 10^2.7).
        {"results-log",
         {"--params", "../log/params.txt", "../log/results.txt"},
         {"(generations, log scale)", "(gene copies, log scale)", "50.1", "501"}},
        {"forest",
         forest({"--table", "table.tsv"}),
         {"mutation rate (per locus and generation)", "(gene copies)", "density", "(generations)"}},
        {"loclinear",
         {"--table", "table.tsv", "--method", "loclinear"},
         {"(gene copies", "(generations", "median (adjusted)"}},
        {"gfit",
         {"--table", "table.tsv", "--gfit", "30"},
         {"score: mean distance to the accepted simulations (in median absolute deviations)",
          "share of the null scores"}},
        {"ppc",
         {"--ppc", "predictive.tsv"},
         {"expected heterozygosity", "variance in repeat number", "(repeats²)",
          "M ratio (Garza–Williamson)", "(δμ)² distance (repeats²)", "alleles per locus", "p = "}},
        {"choose",
         forest({"--choose", "table.tsv", "../two/table.tsv", "../unequal/table.tsv", "--names",
                 "plain,two,unequal"}),
         {"first linear discriminant axis (LD1)", "second linear discriminant axis (LD2)",
          "in within-model standard deviations"}},
        {"choose-two",
         forest({"--choose", "table.tsv", "../two/table.tsv", "--names", "plain,two"}),
         {"linear discriminant axis (LD1)", "in within-model standard deviations"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> argv = {FOUNDABC_SUMMARY_BIN};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        std::vector<std::string> pictures = {c.picture + ".svg"};
        // The forest estimate draws the importance of its statistics beside.
        if (c.picture == "forest") pictures.push_back("forest-importance.svg");
        std::vector<std::string> svgArgs = argv;
        svgArgs.insert(svgArgs.end(), {"--plot", dir.file(pictures[0])});
        ASSERT_EQ(runProgram(svgArgs, plain, dir.file("err.txt")).exitStatus, 0)
            << c.picture << ": " << fileText(dir.file("err.txt"));
        for (const std::string& picture : pictures) {
            const std::vector<SvgText> texts = svgTexts(fileText(dir.file(picture)));
            ASSERT_GT(texts.size(), 10u) << picture;
            for (const std::string& o : overlaps(texts)) ADD_FAILURE() << picture << ": " << o;
            // Tick labels are plain numbers: no 5e-05 beside 0.0001.
            static const std::regex exponent("-?[0-9.]+e[-+]?[0-9]+");
            for (const SvgText& t : texts)
                EXPECT_FALSE(std::regex_match(t.text, exponent)) << picture << ": " << t.text;
            std::string all;
            for (const SvgText& t : texts) all += t.text + "\n";
            const std::vector<std::string> labels =
                picture == "forest-importance.svg"
                    ? std::vector<std::string>{"variance decrease (share of "
                                               "the largest)"}
                    : c.labels;
            for (const std::string& label : labels)
                EXPECT_NE(all.find(label), std::string::npos) << picture << " lacks " << label;
        }
        // The PDF: no text below 9 pt, on a page that prints unscaled on A4
        // (595 pt wide) and letter paper (792 pt high).
        std::vector<std::string> pdfArgs = argv;
        pdfArgs.insert(pdfArgs.end(), {"--plot", dir.file(c.picture + ".pdf")});
        ASSERT_EQ(runProgram(pdfArgs, plain, dir.file("err.txt")).exitStatus, 0)
            << c.picture << ": " << fileText(dir.file("err.txt"));
        for (const std::string& picture : pictures) {
            const std::string pdfName = picture.substr(0, picture.size() - 3) + "pdf";
            const PdfText pdf = pdfText(fileText(dir.file(pdfName)));
            EXPECT_GT(pdf.width, 0.0) << pdfName;
            EXPECT_LE(pdf.width, 595.0) << pdfName;
            EXPECT_LE(pdf.height, 792.0) << pdfName;
            ASSERT_FALSE(pdf.sizes.empty()) << pdfName;
            EXPECT_GE(*std::min_element(pdf.sizes.begin(), pdf.sizes.end()), 9.0) << pdfName;
        }
    }
}
