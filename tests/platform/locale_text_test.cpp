#include "platform/locale_text.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

TEST(LocaleText, NumbersAndDatesAsEachLocaleWritesThem) {
    struct Case {
        const char* locale;
        int64_t number;
        const char* grouped;
        const char* date;  // 11 December 2026
    } cases[] = {
        {"en_US", 1234567, "1,234,567", "Dec 11, 2026"},
        {"de_DE", 1234567, "1.234.567", "11. Dez. 2026"},
        {"fr_FR", 1234567, "1\u202F234\u202F567", "11 d\u00E9c. 2026"},
        {"en_IN", 1234567, "12,34,567", "11 Dec 2026"},
        {"ja_JP", 2000, "2,000", "2026\u5E7412\u670811\u65E5"},
        // None, or the POSIX locale: as English writes them.
        {"", -1234567, "-1,234,567", "Dec 11, 2026"},
        {"C", 999, "999", "Dec 11, 2026"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(LocaleText::grouped(c.number, c.locale), c.grouped) << c.locale;
        EXPECT_EQ(LocaleText::abbreviatedDate(2026, 12, 11, c.locale), c.date) << c.locale;
    }
    // The Gregorian day given, in the locale's own calendar's years.
    EXPECT_EQ(LocaleText::abbreviatedDate(2026, 1, 2, "th_TH"), "2 \u0E21.\u0E04. 2569");
}

TEST(LocaleText, TheUsersLocaleComesFromTheLocaleVariables) {
#ifndef __APPLE__
    LocaleText::setForTesting(std::nullopt);
    std::vector<std::pair<const char*, std::optional<std::string>>> saved;
    for (const char* name : {"LC_ALL", "LC_NUMERIC", "LANG"}) {
        const char* value = std::getenv(name);
        saved.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
    }
    struct Case {
        const char* lcAll;
        const char* lcNumeric;
        const char* lang;
        const char* locale;
    } cases[] = {
        {"de_DE.UTF-8", "fr_FR.UTF-8", "en_US.UTF-8", "de_DE"},
        {nullptr, "fr_FR.UTF-8@euro", "en_US.UTF-8", "fr_FR"},
        {nullptr, nullptr, "pt_BR.UTF-8", "pt_BR"},
        {"C.UTF-8", nullptr, "pt_BR.UTF-8", ""},
        {nullptr, nullptr, nullptr, ""},
    };
    for (const Case& c : cases) {
        for (auto [name, value] : {std::pair{"LC_ALL", c.lcAll}, std::pair{"LC_NUMERIC", c.lcNumeric},
                                   std::pair{"LANG", c.lang}}) {
            if (value) ::setenv(name, value, 1);
            else ::unsetenv(name);
        }
        EXPECT_EQ(LocaleText::user(), c.locale) << c.locale;
    }
    for (const auto& [name, value] : saved) {
        if (value) ::setenv(name, value->c_str(), 1);
        else ::unsetenv(name);
    }
#endif
    LocaleText::setForTesting(std::string("de_DE"));
    EXPECT_EQ(LocaleText::user(), "de_DE");
    LocaleText::setForTesting(std::string());
}
