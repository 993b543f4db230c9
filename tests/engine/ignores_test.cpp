#include <gtest/gtest.h>
#include <pwd.h>

#include "engine/ignores.h"
#include "platform/locations.h"
#include "support/test_env.h"

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

TEST_F(IgnoreList, InvalidUtf8FileReadsAsEmpty) {
    writeFile(Ignores::fileURL(), "/ok\n/bad\xFF\n");
    EXPECT_TRUE(Ignores::paths().empty());
}

TEST_F(IgnoreList, APathThatIsNotUtf8IsRefusedAndTheListKeepsWorking) {
    ASSERT_EQ(Ignores::add("/Users/me/Keep"), Ignores::Edit::changed);
    // Written to the file, it would make the whole file read as an empty list.
    EXPECT_EQ(Ignores::add("/Users/me/bad\xFF"), Ignores::Edit::notUtf8);
    Ignores::resetCache();
    EXPECT_EQ(Ignores::paths(), std::vector<std::string>{"/Users/me/Keep"});
    EXPECT_TRUE(Ignores::isIgnored("/Users/me/Keep/file"));
}
