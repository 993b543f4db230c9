#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>

#include <algorithm>
#include <functional>

#include "engine/ignores.h"
#include "platform/locations.h"
#include "platform/file_facts.h"
#include "support/test_env.h"
#include "support/unprivileged.h"

using namespace testing_support;

class IgnoreList : public TestEnv {};

TEST_F(IgnoreList, NoFileMeansEmptyAndNothingCreated) {
    EXPECT_TRUE(Ignores::paths().empty());
    EXPECT_FALSE(Ignores::isIgnored(home() / "x"));
    EXPECT_FALSE(std::filesystem::exists(Locations::supportFolder()));
}

TEST_F(IgnoreList, FileIsWrittenByteForByte) {
    ASSERT_EQ(Ignores::add("/b"), Ignores::Edit::changed);
    ASSERT_EQ(Ignores::add("/a"), Ignores::Edit::changed);
    const std::string expected =
        "# Vessiltane ignore list.\n"
        "# One absolute path per line. Anything listed here \xE2\x80\x94 and everything\n"
        "# inside it \xE2\x80\x94 is never scanned and never removed.\n"
        "#\n"
        "/a\n/b\n";
    EXPECT_EQ(Ignores::header.size(), 150u);
    EXPECT_EQ(readFile(Ignores::fileURL()), expected);
    // The process keeps insertion order; the file is sorted.
    EXPECT_EQ(Ignores::paths(), (std::vector<std::string>{"/b", "/a"}));
    ASSERT_EQ(Ignores::remove("/b"), Ignores::Edit::changed);
    ASSERT_EQ(Ignores::remove("/a"), Ignores::Edit::changed);
    EXPECT_EQ(readFile(Ignores::fileURL()), std::string(Ignores::header) + "\n");
}

TEST_F(IgnoreList, TildeExpansionOnAddButNotOnRemove) {
    const std::string projects = home().string() + "/Projects";
    EXPECT_EQ(Ignores::add("~/Projects"), Ignores::Edit::changed);
    EXPECT_EQ(Ignores::paths(), std::vector<std::string>{projects});
    EXPECT_EQ(Ignores::add("~/Projects"), Ignores::Edit::unchanged);
    EXPECT_EQ(Ignores::add(projects), Ignores::Edit::unchanged);
    EXPECT_EQ(Ignores::remove("~/Projects"), Ignores::Edit::unchanged);
    EXPECT_EQ(Ignores::remove(projects), Ignores::Edit::changed);

    // "~name" is that user's home folder.
    passwd* pw = ::getpwnam("root");
    ASSERT_NE(pw, nullptr);
    EXPECT_EQ(Locations::expandTilde("~root/Keep"), std::string(pw->pw_dir) + "/Keep");
    EXPECT_EQ(Locations::expandTilde("~no-such-user-here/x"), "~no-such-user-here/x");
}

TEST_F(IgnoreList, HandEditedFileAndMatching) {
    writeFile(Ignores::fileURL(),
              "# my list\n"
              "   /Volumes/Archive  \n"
              "\n"
              "   # a note\n"
              "/Users/me/Keep\r\n"
              "/Users/me/Keep\n"
              "/Users/me/Folder/\n"
              "relative/path\n"
              "/with#hash\n"
              "/Users/me/Docs/../Kept\n"
              "/Users/me//Doubled/./here\n");
    EXPECT_EQ(Ignores::paths(), (std::vector<std::string>{"/Volumes/Archive", "/Users/me/Keep", "/Users/me/Keep",
                                                         "/Users/me/Folder/", "relative/path", "/with#hash",
                                                         "/Users/me/Docs/../Kept", "/Users/me//Doubled/./here"}));
    struct Case {
        const char* path;
        bool ignored;
    } cases[] = {
        {"/Users/me/Keep", true},         {"/Users/me/Keep/a/b.txt", true},
        {"/Users/me/Keeper", false},      {"/Users/me/Other/../Keep/x", true},
        {"/Users/me/Folder", true},       {"/Users/me/Folder/inside", true},
        {"/Volumes/Archive/x", true},     {"/relative/path", false},
        {"/with#hash", true},             {"/Users/me", false},
        // An entry written with "..", "." or doubled slashes keeps the place it names.
        {"/Users/me/Kept/x", true},       {"/Users/me/Doubled/here", true},
        {"/Users/me/Docs", false},
    };
    for (const auto& c : cases) EXPECT_EQ(Ignores::isIgnored(c.path), c.ignored) << c.path;
    // One remove drops both copies.
    EXPECT_EQ(Ignores::remove("/Users/me/Keep"), Ignores::Edit::changed);
    EXPECT_FALSE(Ignores::isIgnored("/Users/me/Keep"));
}

TEST_F(IgnoreList, CanonicallyEquivalentPathsMatch) {
    ASSERT_EQ(Ignores::add("/Users/me/Caf\xC3\xA9"), Ignores::Edit::changed);  // composed é
    EXPECT_TRUE(Ignores::isIgnored("/Users/me/Cafe\xCC\x81/menu.txt"));       // decomposed é
    EXPECT_EQ(Ignores::add("/Users/me/Cafe\xCC\x81"), Ignores::Edit::unchanged);
}

TEST_F(IgnoreList, FailedWriteIsReportedAndForgotten) {
    // A file standing where the support folder should be: even root cannot write.
    writeFile(home() / "Library/Application Support/Vessiltane", "not a folder");
    EXPECT_EQ(Ignores::add("/Users/me/Projects"), Ignores::Edit::writeFailed);
    EXPECT_TRUE(Ignores::paths().empty());
    EXPECT_FALSE(Ignores::isIgnored("/Users/me/Projects"));
}

// Whatever add() accepts reads back from the file as exactly that entry;
// whatever would read back as another entry (or none) is refused.
TEST_F(IgnoreList, AnEntryIsStoredOnlyWhenItReadsBackExactly) {
    const std::string h = home().string();
    struct Case {
        std::string entry;
        bool stored;
    } cases[] = {
        {"/Users/me/Keep", true},
        {"/Users/me/two  spaces inside", true},
        {"/Users/me/with#hash", true},
        {"/Users/me/Caf\xC3\xA9", true},
        {"/Users/me/not utf-8 \xFF\xFE", true},
        {"~/Projects", true},
        {"/Users/me/trailing ", false},
        {"/Users/me/trailing\t", false},
        {"/Users/me/no-break\xC2\xA0", false},
        {" /Users/me/leading", false},
        {"/Users/me/cr\r", false},
        {"/Users/me/lf\n/Users/me/Other", false},
        {"/Users/me/tab\tinside", false},
        {"/Users/me/bell\x07", false},
        {"", false},
        {"# a comment", false},
        {"relative/path", false},
        {"~no-such-user-here/x", false},
    };
    std::vector<std::string> stored;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.entry);
        const std::string value = c.entry.rfind("~/", 0) == 0 ? h + c.entry.substr(1) : c.entry;
        EXPECT_EQ(Ignores::add(c.entry), c.stored ? Ignores::Edit::changed : Ignores::Edit::refused);
        EXPECT_EQ(Ignores::unstorable(value).has_value(), !c.stored);
        if (c.stored) stored.push_back(value);
    }
    Ignores::resetCache();
    auto reread = Ignores::paths();
    std::sort(reread.begin(), reread.end());
    std::sort(stored.begin(), stored.end());
    EXPECT_EQ(reread, stored);
    EXPECT_FALSE(Ignores::isIgnored("/Users/me/Other"));
}

// A line that is not UTF-8 is an entry like any other: matched byte for byte,
// kept on every rewrite, and the other entries stand.
TEST_F(IgnoreList, ALineThatIsNotUtf8IsKeptAndMatchedByteForByte) {
    writeFile(Ignores::fileURL(), std::string(Ignores::header) + "/Users/me/ok\n/Users/me/bad\xFF\n");
    EXPECT_EQ(Ignores::paths(), (std::vector<std::string>{"/Users/me/ok", "/Users/me/bad\xFF"}));
    EXPECT_TRUE(Ignores::isIgnored("/Users/me/ok/file"));
    EXPECT_TRUE(Ignores::isIgnored("/Users/me/bad\xFF/file"));
    EXPECT_FALSE(Ignores::isIgnored("/Users/me/bad\xFE/file"));

    ASSERT_EQ(Ignores::add("/Users/me/new"), Ignores::Edit::changed);
    ASSERT_EQ(Ignores::remove("/Users/me/ok"), Ignores::Edit::changed);
    EXPECT_EQ(readFile(Ignores::fileURL()), std::string(Ignores::header) + "/Users/me/bad\xFF\n/Users/me/new\n");
    Ignores::resetCache();
    EXPECT_TRUE(Ignores::isIgnored("/Users/me/bad\xFF"));
    EXPECT_TRUE(Ignores::isIgnored("/Users/me/new"));
}

// An entry names a place; a link on the way to it does not let the place
// itself, reached by its real path, slip out of the list.
TEST_F(IgnoreList, AnEntryCoversTheRealPathOfThePlaceItNames) {
    const std::filesystem::path real = tmp() / "data/Documents";
    writeFile(real / "thesis.pdf", "precious");
    makeSymlink(tmp() / "data", home() / "Data");
    ASSERT_EQ(Ignores::add("~/Data/Documents"), Ignores::Edit::changed);
    EXPECT_TRUE(Ignores::isIgnored(home() / "Data/Documents/thesis.pdf"));
    EXPECT_TRUE(Ignores::isIgnored(real / "thesis.pdf"));
    EXPECT_TRUE(Ignores::holdsIgnored(tmp() / "data"));
    EXPECT_FALSE(Ignores::isIgnored(tmp() / "data/Other"));
}

// A list that is there but cannot be read fails closed: nothing says what it
// protects, so it is never rewritten without its entries, and every removal
// stops (the removal roads' own tests check that).
TEST_F(IgnoreList, AListThatCannotBeReadIsNeverRewrittenAndSaysWhy) {
    const auto file = Ignores::fileURL();
    makeFolders(file.parent_path());
    struct Case {
        const char* name;
        std::function<void()> make;
        std::string reason;
    } cases[] = {
        {"fifo", [&] { ASSERT_EQ(::mkfifo(file.c_str(), 0644), 0); }, "it is not a regular file"},
        {"folder", [&] { makeFolders(file / "inside"); }, "it is not a regular file"},
        {"link", [&] {
             writeFile(tmp() / "elsewhere.txt", "/Users/me/Keep\n");
             makeSymlink(tmp() / "elsewhere.txt", file);
         }, "a symbolic link stands in its place"},
        {"too large", [&] { allocateFile(file, 17 * 1024 * 1024); }, "it is larger than 16 MB"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(file);
        c.make();
        Ignores::resetCache();
        EXPECT_EQ(Ignores::unreadable(), c.reason);
        EXPECT_TRUE(Ignores::paths().empty());
        EXPECT_EQ(Ignores::add("/Users/me/New"), Ignores::Edit::unreadable);
        EXPECT_EQ(Ignores::remove("/Users/me/Keep"), Ignores::Edit::unreadable);
        EXPECT_TRUE(existsItself(file));
    }
    std::filesystem::remove_all(file);
    Ignores::resetCache();
    EXPECT_EQ(Ignores::unreadable(), std::nullopt);
}

TEST_F(IgnoreList, AListOnlyRootMayReadIsUnreadableToTheUser) {
    writeFile(Ignores::fileURL(), "/Users/me/Keep\n");
    ::chmod(Ignores::fileURL().c_str(), 0600);
    std::string failure = inUnprivilegedChild([&]() -> std::string {
        Ignores::resetCache();
        if (Ignores::unreadable() != std::optional<std::string>("Permission denied")) return "not reported unreadable";
        if (Ignores::add("/Users/me/New") != Ignores::Edit::unreadable) return "the list was rewritten";
        return "";
    });
    EXPECT_EQ(failure, "");
    EXPECT_EQ(readFile(Ignores::fileURL()), "/Users/me/Keep\n");
}
