#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>

#include "engine/fs.h"
#include "support/test_env.h"
#include "support/unprivileged.h"

using namespace testing_support;
namespace fs = std::filesystem;

class FSExpand : public TestEnv {
protected:
    std::vector<std::string> names(const std::string& pattern) {
        std::vector<std::string> out;
        for (const auto& p : FS::expand(pattern)) out.push_back(p.lexically_relative(tmp()).string());
        std::sort(out.begin(), out.end());
        return out;
    }
};

TEST_F(FSExpand, Table) {
    writeFile(tmp() / "a/b/x", "x");
    writeFile(tmp() / "a/b/.hidden", "h");
    writeFile(tmp() / "a/b/.DS_Store", "d");
    writeFile(tmp() / "a/file", "f");
    writeFile(tmp() / "dl/Setup.dmg", "1");
    writeFile(tmp() / "dl/.Secret.dmg", "2");
    writeFile(tmp() / "dl/notes.txt", "3");
    writeFile(tmp() / "Mail/V10/MailData/Attachments/1/a.pdf", "p");
    writeFile(tmp() / "Mail/V9/MailData/Attachments/2/b.pdf", "p");
    writeFile(tmp() / "Mail/.Hidden/MailData/Attachments/3/c.pdf", "p");
    writeFile(tmp() / "Mail/.DS_Store", "d");
    writeFile(tmp() / "outside/MailData/Attachments/evil/keep.pdf", "k");
    makeSymlink(tmp() / "outside", tmp() / "Mail/Linked");

    const std::string t = tmp().string();
    struct Case {
        std::string pattern;
        std::vector<std::string> expected;
    } cases[] = {
        {t + "/a/b/*", {"a/b/.hidden", "a/b/x"}},
        {t + "/a/b", {"a/b"}},
        {t + "/a/file", {"a/file"}},
        {t + "/a/file/*", {}},
        {t + "/missing/*", {}},
        {t + "/missing", {}},
        {t + "/dl/*.dmg", {"dl/Setup.dmg"}},
        {t + "/dl/.*.dmg", {"dl/.Secret.dmg"}},
        {t + "/dl/*.iso", {}},
        {t + "/Mail/*/MailData/Attachments/*", {"Mail/V10/MailData/Attachments/1", "Mail/V9/MailData/Attachments/2"}},
        {t + "/Mail/*/MailData", {"Mail/V10/MailData", "Mail/V9/MailData"}},
        {t + "/Mail/*", {"Mail/.Hidden", "Mail/Linked", "Mail/V10", "Mail/V9"}},
    };
    for (const auto& c : cases) {
        auto expected = c.expected;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(names(c.pattern), expected) << c.pattern;
    }
}

TEST_F(FSExpand, UnlistableBaseExpandsToNothing) {
    writeFile(tmp() / "locked/inside", "x");
    ::chmod((tmp() / "locked").c_str(), 0);
    std::string base = (tmp() / "locked").string();
    std::string failure = inUnprivilegedChild([&]() -> std::string {
        if (!FS::expand(base + "/*").empty()) return "listed a folder it may not read";
        if (FS::canList(base)) return "canList was true for an unreadable folder";
        if (!FS::expand(base + "/*.txt").empty()) return "globbed inside an unreadable folder";
        return "";
    });
    EXPECT_EQ(failure, "");
}

TEST(FSPatternBase, FixedLeadingFolder) {
    EXPECT_EQ(FS::patternBase("/h/Library/Caches/*"), "/h/Library/Caches");
    EXPECT_EQ(FS::patternBase("/h/Downloads/*.dmg"), "/h/Downloads");
    EXPECT_EQ(FS::patternBase("/h/Library/Mail/*/MailData/Attachments/*"), "/h/Library/Mail");
    EXPECT_EQ(FS::patternBase("/h/Library/Safari/History.db"), "/h/Library/Safari/History.db");
}
