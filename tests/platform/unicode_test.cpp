#include <gtest/gtest.h>

#include "platform/unicode.h"

TEST(UnicodeText, EquivalencePrefixesAndCase) {
    const std::string composed = "Caf\xC3\xA9";
    const std::string decomposed = "Cafe\xCC\x81";
    EXPECT_TRUE(Unicode::equal(composed, decomposed));
    EXPECT_EQ(Unicode::nfc(decomposed), composed);
    EXPECT_TRUE(Unicode::hasPrefix(decomposed + "/x", composed + "/"));
    EXPECT_FALSE(Unicode::hasPrefix(decomposed, "Cafe"));  // "e" is only part of "é"
    EXPECT_TRUE(Unicode::hasSuffix("Report.PDF", ".PDF"));
    EXPECT_EQ(Unicode::lower("\xC3\x89T\xC3\x89"), "\xC3\xA9t\xC3\xA9");
    EXPECT_EQ(Unicode::lower("ABC"), "abc");
    EXPECT_TRUE(Unicode::contains("my dropbox folder", "dropbox"));
    EXPECT_FALSE(Unicode::isValidUtf8("a\xFF"));
    EXPECT_EQ(Unicode::sanitizeUtf8("a\xFF" "b"), "a\xEF\xBF\xBD" "b");
}

TEST(UnicodeText, CharactersAreGraphemeClusters) {
    const std::string flag = "\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7";  // one character, two code points
    const std::string decomposed = "e\xCC\x81";                    // é as e + combining accent
    EXPECT_EQ(Unicode::characterCount("abc"), 3u);
    EXPECT_EQ(Unicode::characterCount(flag + decomposed + "x"), 3u);
    EXPECT_EQ(Unicode::prefixCharacters(flag + decomposed + "x", 2), flag + "\xC3\xA9");
    EXPECT_EQ(Unicode::prefixCharacters("short", 31), "short");
    EXPECT_EQ(Unicode::prefixCharacters("abcdef", 0), "");
}
