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

TEST(UnicodeText, CharactersSplitsTextIntoClusters) {
    EXPECT_EQ(Unicode::characters("a*b"), (std::vector<std::string>{"a", "*", "b"}));
    EXPECT_TRUE(Unicode::characters("").empty());
    // A decomposed "é" is one character, given back composed; so is CR LF.
    EXPECT_EQ(Unicode::characters("e\xCC\x81x"), (std::vector<std::string>{"\xC3\xA9", "x"}));
    EXPECT_EQ(Unicode::characters("a\r\nb"), (std::vector<std::string>{"a", "\r\n", "b"}));
    // A flag is two code points and one character.
    EXPECT_EQ(Unicode::characters("\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7!").size(), 2u);
    // Invalid UTF-8 falls apart into bytes rather than failing.
    EXPECT_EQ(Unicode::characters("a\xFF").size(), 2u);
}

TEST(UnicodeText, TrimmedRemovesWhiteSpaceAtBothEnds) {
    EXPECT_EQ(Unicode::trimmed("  \t a b \r\n"), "a b");
    EXPECT_EQ(Unicode::trimmed("\xC2\xA0x\xE2\x80\x83"), "x");  // no-break space, em space
    EXPECT_EQ(Unicode::trimmed(" \n "), "");
    EXPECT_EQ(Unicode::trimmed("\xFF "), "\xFF");  // invalid bytes are kept, not trimmed
    // Spaces and tabs only: a line break ends the trimming.
    EXPECT_EQ(Unicode::trimmedSpaces(" \t\xC2\xA0" "a b\xE3\x80\x80\t"), "a b");
    EXPECT_EQ(Unicode::trimmedSpaces(" a\r "), "a\r");
    EXPECT_EQ(Unicode::trimmedSpaces("\n a"), "\n a");
}

TEST(UnicodeText, LessIgnoringCaseOrdersNamesAsPeopleExpect) {
    EXPECT_TRUE(Unicode::lessIgnoringCase("apple", "Banana"));
    EXPECT_TRUE(Unicode::lessIgnoringCase("Zebra", "zoo"));
    EXPECT_FALSE(Unicode::lessIgnoringCase("Sync", "sync"));
    EXPECT_FALSE(Unicode::lessIgnoringCase("sync", "Sync"));
    EXPECT_TRUE(Unicode::lessIgnoringCase("cafe", "caf\u00e9"));        // accents still count
    EXPECT_TRUE(Unicode::lessIgnoringCase("\u00c9clair", "Fig"));      // an accented letter sorts with its base
}
