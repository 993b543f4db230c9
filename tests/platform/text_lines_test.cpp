#include "platform/text_lines.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::vector<std::string> copy(const std::vector<std::string_view>& views) { return {views.begin(), views.end()}; }

}  // namespace

TEST(TextLines, SplittingWithAndWithoutEmptyPieces) {
    using V = std::vector<std::string>;
    EXPECT_EQ(copy(TextLines::nonEmpty("a\n\nb\n")), (V{"a", "b"}));
    EXPECT_EQ(copy(TextLines::nonEmpty("\n\n")), V{});
    EXPECT_EQ(copy(TextLines::nonEmpty("  12   1,5  x y ", ' ')), (V{"12", "1,5", "x", "y"}));
    EXPECT_EQ(copy(TextLines::fields("a||b|", '|')), (V{"a", "", "b", ""}));
    EXPECT_EQ(copy(TextLines::fields("", '|')), V{""});
    EXPECT_EQ(copy(TextLines::fields("no bar", '|')), V{"no bar"});
}
