// How plain-text output (the command line's) shows a path.
#include "platform/plain_text.h"

#include <gtest/gtest.h>

TEST(PlainText, PathsAreShownWithTheirControlCharactersEscaped) {
    struct Case {
        std::string text;
        std::string shown;
    } cases[] = {
        {"/Library/Caches/com.example cache/été 日本", "/Library/Caches/com.example cache/été 日本"},
        {"line\nfeed\rreturn\ttab", "line\\nfeed\\rreturn\\ttab"},
        {"\a\b\v\f", "\\a\\b\\v\\f"},
        {"back\\slash", "back\\\\slash"},
        // An escape sequence, DEL and the other C0 controls.
        {"title\x1b]0;owned\x07 clear\x1b[2J", "title\\033]0;owned\\a clear\\033[2J"},
        {std::string("nul\0del\x7f\x01", 9), "nul\\000del\\177\\001"},
        // C1 controls (U+0080 to U+009F), as UTF-8: CSI among them.
        {"csi\xc2\x9b" "2J next\xc2\x85", "csi\\302\\2332J next\\302\\205"},
        {"nbsp\xc2\xa0kept", "nbsp\xc2\xa0kept"},
        // Bytes that are not UTF-8: a lone CSI byte, a cut sequence, an overlong form, a surrogate.
        {"lone\x9b" "cut\xe6\x97" "over\xc0\xaf" "sur\xed\xa0\x80", "lone\\233cut\\346\\227over\\300\\257sur\\355\\240\\200"},
    };
    for (const auto& c : cases) EXPECT_EQ(PlainText::shown(c.text), c.shown) << c.shown;
}
