// Documents that must not drift from what they show: a fenced block of a
// document that is said to be a shipped file must be that file, byte for byte.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

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

}  // namespace

TEST(Documents, ShownFilesAreTheShippedOnes) {
    struct Case {
        const char* document;
        const char* lead;  // start of the line that introduces the block
        const char* file;
    };
    const Case cases[] = {
        {"README.md", "A complete example", "examples/params.txt"},
    };
    for (const Case& c : cases) {
        const std::string shipped = readSource(c.file);
        ASSERT_FALSE(shipped.empty()) << c.file;
        EXPECT_EQ(fencedBlockAfter(readSource(c.document), c.lead), shipped)
            << c.document << " shows a different " << c.file;
    }
}
