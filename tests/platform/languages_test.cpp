#include "platform/languages.h"

#include <gtest/gtest.h>

using Strings = std::vector<std::string>;

TEST(Languages, LocaleVariablesInPrecedenceOrder) {
    struct Case {
        const char *language, *lcAll, *lcMessages, *lang;
        Strings expected;
    } cases[] = {
        {"", "", "", "", {}},
        {"", "", "", "de_DE.UTF-8", {"de-DE"}},
        {"", "", "fr_CA.UTF-8", "de_DE.UTF-8", {"fr-CA"}},
        {"", "pt_BR.utf8", "fr_CA", "de_DE", {"pt-BR"}},
        {"sv:nb_NO", "", "", "de_DE.UTF-8", {"sv", "nb-NO", "de-DE"}},
        {"de_DE:en", "", "", "de_DE.UTF-8", {"de-DE", "en"}},  // each language once
        {"", "", "", "ca_ES.UTF-8@valencia", {"ca-ES"}},
        {"", "C.UTF-8", "", "de_DE.UTF-8", {}},  // LC_ALL=C wins: no language
        {"", "", "", "POSIX", {}},
        {"::zh_CN:", "", "", "", {"zh-CN"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Languages::fromLocaleVariables(c.language, c.lcAll, c.lcMessages, c.lang), c.expected)
            << c.language << "|" << c.lcAll << "|" << c.lcMessages << "|" << c.lang;
}

TEST(Languages, TestsMayReplaceTheAnswer) {
    Languages::setForTesting(Strings{"ja-JP"});
    EXPECT_EQ(Languages::preferred(), Strings{"ja-JP"});
    Languages::setForTesting(Strings{});
    EXPECT_TRUE(Languages::preferred().empty());
    Languages::setForTesting(std::nullopt);
}
