// Documents that must not drift from what they show: a fenced block of a
// document that is said to be a shipped file must be that file, byte for byte;
// the shipped parameter files differ from the example only where the pages say;
// the section-5 man page names every key the reader knows, and both pages
// render without warnings within 80 columns.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "io/ParameterFile.h"

namespace {

std::string readSource(const std::string& relative) {
    std::ifstream in(std::string(FOUNDABC_SOURCE_DIR) + "/" + relative, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The first fenced block (``` ... ```) after the first line of `document` that
// begins with `lead`; "" when there is none.
std::string fencedBlockAfter(const std::string& document, const std::string& lead) {
    const std::size_t at = document.find("\n" + lead);
    if (at == std::string::npos) return "";
    const std::size_t open = document.find("\n```", at);
    if (open == std::string::npos) return "";
    const std::size_t begin = document.find('\n', open + 1) + 1;
    const std::size_t close = document.find("\n```", begin - 1);
    if (close == std::string::npos) return "";
    return document.substr(begin, close + 1 - begin);
}

// Every assignment of a parameter file, by key, as the reader parses it.
std::map<std::string, std::string> settingsOf(const std::string& relative) {
    std::istringstream in(readSource(relative));
    std::map<std::string, std::string> settings;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        const SettingLine s = parseSettingLine(line, number);
        if (s.isSetting) settings[s.key] = s.value;
    }
    return settings;
}

// Standard output and standard error of a shell command, and its status.
struct Ran {
    std::string out;
    int status = -1;
};
Ran runShell(const std::string& command) {
    Ran r;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return r;
    char buffer[4096];
    std::size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) r.out.append(buffer, n);
    r.status = pclose(pipe);
    return r;
}

bool have(const char* program) {
    return runShell(std::string("command -v ") + program + " >/dev/null").status == 0;
}

// Characters (UTF-8 code points) of the widest line.
std::size_t widestLine(const std::string& text) {
    std::size_t widest = 0, width = 0;
    for (unsigned char c : text) {
        if (c == '\n') {
            widest = std::max(widest, width);
            width = 0;
        } else if ((c & 0xC0) != 0x80) {
            ++width;
        }
    }
    return std::max(widest, width);
}

}  // namespace

TEST(Documents, ShownFilesAreTheShippedOnes) {
    struct Case {
        const char* document;
        const char* lead;  // start of the line that introduces the block
        const char* file;
    };
    const Case cases[] = {
        {"docs/files.md", "A complete example", "examples/params.txt"},
    };
    for (const Case& c : cases) {
        const std::string shipped = readSource(c.file);
        ASSERT_FALSE(shipped.empty()) << c.file;
        EXPECT_EQ(fencedBlockAfter(readSource(c.document), c.lead), shipped)
            << c.document << " shows a different " << c.file;
    }
}

// The shipped parameter files of the README's worked example and model choice
// are the example's settings but for the ones the README names: a file that
// drifted (other priors, another sample size) would compare other things.
TEST(Documents, ShippedParameterFilesDifferFromTheExampleOnlyAsTheReadmeSays) {
    struct Case {
        const char* file;
        std::map<std::string, std::string> changed;
    };
    const Case cases[] = {
        {"examples/pod-params.txt",
         {{"DATAFILE_NAME", "pod.txt"}, {"OUTFILE_NAME", "pod-results.txt"}, {"REPEATS", "10000"}}},
        {"examples/models/plain.txt",
         {{"DATAFILE_NAME", "examples/data.txt"}, {"OUTFILE_NAME", "plain-results.txt"},
          {"REPEATS", "10000"}}},
        {"examples/models/k2.txt",
         {{"DATAFILE_NAME", "examples/data.txt"}, {"OUTFILE_NAME", "k2-results.txt"},
          {"REPEATS", "10000"}, {"CONDITIONAL_NUMBER_OF_ORIGINS", "2"}}},
        {"examples/models/two.txt",
         {{"DATAFILE_NAME", "examples/data.txt"}, {"OUTFILE_NAME", "two-results.txt"},
          {"REPEATS", "10000"}, {"CONDITIONAL_NUMBER_OF_ORIGINS", "2"},
          {"UNEQUAL_FOUNDING_FRACTIONS", "0.2"}}},
    };
    const std::map<std::string, std::string> example = settingsOf("examples/params.txt");
    ASSERT_EQ(example.size(), settingKeys().size());
    for (const Case& c : cases) {
        std::map<std::string, std::string> expected = example;
        for (const auto& [key, value] : c.changed) expected[key] = value;
        EXPECT_EQ(settingsOf(c.file), expected) << c.file;
    }
}

// Every key of the reader has an entry of its own in foundabc-params(5), and
// that entry gives its default (the reader has none, so "none, required").
TEST(Documents, ManPageOfTheParameterFileListsEveryKey) {
    const std::string page = readSource("man/foundabc-params.5");
    ASSERT_FALSE(page.empty());
    for (const char* key : settingKeys()) {
        // The entry: the .TP paragraph whose .BI line names the key.
        std::size_t at = page.find(std::string(".BI ") + key + " ");
        if (at == std::string::npos) at = page.find(std::string("\\fR, \" ") + key + " ");
        ASSERT_NE(at, std::string::npos) << key << " has no entry in man/foundabc-params.5";
        const std::size_t next = page.find("\n.TP", at);
        const std::size_t section = page.find("\n.S", at);
        const std::string entry = page.substr(at, std::min(next, section) - at);
        EXPECT_NE(entry.find("Default: none, required."), std::string::npos)
            << key << ": its entry gives no default";
    }
}

// Both section-5 pages render without a warning, and within 80 columns on an
// 80-column terminal (skipped where groff or man is not installed).
TEST(Documents, ManPagesRenderCleanlyWithin80Columns) {
    if (!have("groff") || !have("man")) GTEST_SKIP() << "groff or man not installed";
    for (const char* page : {"man/foundabc-params.5", "man/foundabc-data.5"}) {
        const std::string path = std::string(FOUNDABC_SOURCE_DIR) + "/" + page;
        const Ran lint = runShell("groff -man -ww -z '" + path + "'");
        EXPECT_EQ(lint.status, 0) << page;
        EXPECT_EQ(lint.out, "") << page << ": groff warns";
        const Ran shown = runShell("MANWIDTH=80 MAN_KEEP_FORMATTING= LC_ALL=C.UTF-8 man -l '" +
                                   path + "' | col -b");
        EXPECT_EQ(shown.status, 0) << page << shown.out;
        EXPECT_GT(shown.out.size(), 1000u) << page;
        EXPECT_LE(widestLine(shown.out), 80u) << page << shown.out;
    }
}

// The anchor a heading line ("## Seeded runs, options") gets on the web
// page: lower case, letters, digits, '-' and '_' kept, blanks made '-'.
std::string anchorOf(const std::string& heading) {
    std::string anchor;
    for (char c : heading.substr(heading.find_first_not_of('#'))) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (std::isalnum(u) || c == '-' || c == '_') anchor += static_cast<char>(std::tolower(u));
        else if (c == ' ') anchor += '-';
    }
    return anchor.substr(anchor.find_first_not_of('-'));
}

// Whether `text` has a heading (outside fenced blocks) whose anchor is `anchor`.
bool hasAnchor(const std::string& text, const std::string& anchor) {
    std::istringstream in(text);
    bool fenced = false;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("```", 0) == 0) fenced = !fenced;
        if (!fenced && line.rfind("#", 0) == 0 && anchorOf(line) == anchor) return true;
    }
    return false;
}

// The README's map of the documentation names every page under docs/, and
// every link of the README and the pages leads to a file that exists and,
// where it names a section, to a heading of that file.
TEST(Documents, ReadmeMapsEveryPageAndEveryLinkLeadsToOne) {
    namespace fs = std::filesystem;
    const fs::path root(FOUNDABC_SOURCE_DIR);
    const std::string readme = readSource("README.md");
    std::vector<std::string> pages = {"README.md"};
    for (const auto& entry : fs::directory_iterator(root / "docs")) {
        if (entry.path().extension() != ".md") continue;
        const std::string name = "docs/" + entry.path().filename().string();
        pages.push_back(name);
        EXPECT_NE(readme.find("](" + name + ")"), std::string::npos)
            << "the README's map does not name " << name;
    }
    const std::regex link(R"(\]\(([^)#:\s]*)(#([^)\s]*))?\))");
    for (const std::string& page : pages) {
        const std::string text = readSource(page);
        const fs::path folder = (root / page).parent_path();
        for (std::sregex_iterator m(text.begin(), text.end(), link), end; m != end; ++m) {
            const std::string file = (*m)[1].str(), anchor = (*m)[3].str();
            if (file.empty() && anchor.empty()) continue;
            const fs::path target = file.empty() ? root / page : folder / file;
            ASSERT_TRUE(fs::exists(target)) << page << " links to " << file << ", which does not exist";
            if (!anchor.empty() && target.extension() == ".md") {
                EXPECT_TRUE(hasAnchor(readSource(fs::relative(target, root).string()), anchor))
                    << page << " links to " << file << "#" << anchor << ", a section it lacks";
            }
        }
    }
}
