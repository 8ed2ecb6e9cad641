// The wrapping of --help text at word boundaries.
#include <gtest/gtest.h>

#include "base/HelpFormat.h"

TEST(HelpFormat, WrapsAtBlanksAndKeepsLongWordsWhole) {
    struct Case {
        std::string text;
        std::size_t columns;
        std::string continuation, wrapped;
    };
    const std::vector<Case> cases = {
        {"aaa bbb ccc", 7, "", "aaa bbb\nccc"},
        {"  --redo STEP:{import,tables,choice} x", 12, "    ", "  --redo\n    STEP:{import,tables,choice}\n    x"},
        {"  averyveryverylongword", 8, "      ", "  averyveryverylongword"},
    };
    for (const Case& c : cases) EXPECT_EQ(WrappedHelp::wrap(c.text, c.columns, c.continuation), c.wrapped);
}
