// The layout of src/ (docs/architecture.md): each room includes only the
// rooms below it, the inference methods touch no file, stream or picture, and
// no two source files share a base name, so that a name says where a file is.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace {

const fs::path kSource = fs::path(FOUNDABC_SOURCE_DIR) / "src";

// Each room and the rooms it may include besides itself.
const std::map<std::string, std::set<std::string>> kAllowed = {
    {"base", {}},
    {"sim", {"base"}},
    {"io", {"base", "sim"}},
    {"abc", {"sim"}},
    {"plot", {"base", "sim", "io", "abc"}},
    {"run", {"base", "sim", "io"}},
    {"cluster", {"base", "sim", "io", "run"}},
    {"foundabc", {"base", "sim", "io", "run", "cluster"}},
    {"summary", {"base", "sim", "io", "abc", "plot"}},
    {"import", {"base", "sim", "io"}},
    {"study", {"base", "sim", "io", "abc", "plot", "run", "cluster"}},
};

std::string textOf(const fs::path& file) {
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

TEST(Layout, EveryRoomIncludesOnlyTheRoomsBelowIt) {
    const std::regex include("#include \"([a-z]+)/[^\"]+\"");
    for (const auto& room : fs::directory_iterator(kSource)) {
        const std::string name = room.path().filename().string();
        ASSERT_TRUE(kAllowed.count(name))
            << "a room that docs/architecture.md does not name: " << name;
        for (const auto& file : fs::directory_iterator(room.path())) {
            const std::string text = textOf(file.path());
            for (std::sregex_iterator m(text.begin(), text.end(), include), end; m != end; ++m) {
                const std::string target = (*m)[1];
                EXPECT_TRUE(target == name || kAllowed.at(name).count(target))
                    << file.path() << " includes " << (*m)[0];
            }
        }
    }
}

TEST(Layout, MethodsTouchNoFileStreamOrPicture) {
    for (const auto& file : fs::directory_iterator(kSource / "abc")) {
        const std::string text = textOf(file.path());
        for (const char* word : {"<fstream>", "<iostream>", "fopen", "popen", "gnuplot", "zlib"})
            EXPECT_EQ(text.find(word), std::string::npos) << file.path() << " uses " << word;
    }
}

TEST(Layout, NoTwoSourceFilesShareABaseName) {
    std::map<std::string, fs::path> seen;
    for (const auto& file : fs::recursive_directory_iterator(kSource)) {
        if (!file.is_regular_file()) continue;
        const auto [at, fresh] = seen.emplace(file.path().filename().string(), file.path());
        EXPECT_TRUE(fresh) << file.path() << " and " << at->second;
    }
}
