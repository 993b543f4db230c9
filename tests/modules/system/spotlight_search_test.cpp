#include <gtest/gtest.h>

#include "engine/ignores.h"
#include "modules/system/spotlight_search.h"
#include "support/recording_runner.h"
#include "support/test_env.h"

using namespace testing_support;
using SpotlightSearch::Sensitivity;

TEST(SpotlightQuery, PredicateTable) {
    struct Case {
        std::string name, bundleID;
        Sensitivity sensitivity;
        std::optional<std::string> query;
    };
    const std::vector<Case> cases = {
        {"Notes", "com.example.notes", Sensitivity::strict,
         R"((kMDItemDisplayName == "Notes"cd || kMDItemDisplayName == "com.example.notes"cd))"},
        {"", "com.example.notes", Sensitivity::strict, R"(kMDItemDisplayName == "com.example.notes"cd)"},
        {"Notes", "com.example.notes", Sensitivity::enhanced,
         R"((kMDItemDisplayName == "*Notes*"cd || kMDItemPath == "*Notes*"cd || )"
         R"(kMDItemDisplayName == "*com.example.notes*"cd || kMDItemPath == "*com.example.notes*"cd))"},
        {"Notes", "", Sensitivity::deep,
         R"(((kMDItemDisplayName == "*Notes*"cd || kMDItemPath == "*Notes*"cd) || kMDItemCreator == "Notes"cd || )"
         R"(kMDItemCopyright == "*Notes*"cd || kMDItemComment == "*Notes*"cd))"},
        {"Notes", "com.x", Sensitivity::deep,
         R"(((kMDItemDisplayName == "*Notes*"cd || kMDItemPath == "*Notes*"cd || kMDItemDisplayName == "*com.x*"cd || )"
         R"(kMDItemPath == "*com.x*"cd) || kMDItemCreator == "Notes"cd || kMDItemCopyright == "*Notes*"cd || )"
         R"(kMDItemComment == "*Notes*"cd || kMDItemCopyright == "*com.x*"cd || kMDItemComment == "*com.x*"cd))"},
        // Query syntax is dropped, blanks trimmed, nothing else touched.
        {"  \"No*tes\\(x)\n", "", Sensitivity::strict, R"(kMDItemDisplayName == "Notesx"cd)"},
        {"It's", "", Sensitivity::strict, R"(kMDItemDisplayName == "It's"cd)"},
        {"\"*()", " ", Sensitivity::deep, std::nullopt},
        {"", "", Sensitivity::enhanced, std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SpotlightSearch::predicate(c.name, c.bundleID, c.sensitivity), c.query) << c.name << "|" << c.bundleID;
}

TEST(SpotlightQuery, SensitivityRawValues) {
    for (auto s : {Sensitivity::strict, Sensitivity::enhanced, Sensitivity::deep})
        EXPECT_EQ(SpotlightSearch::fromRawValue(SpotlightSearch::rawValue(s)), s);
    EXPECT_EQ(SpotlightSearch::rawValue(Sensitivity::enhanced), "enhanced");
    EXPECT_EQ(SpotlightSearch::fromRawValue("Deep"), std::nullopt);
    EXPECT_EQ(SpotlightSearch::fromRawValue(""), std::nullopt);
}

class SpotlightSearchTest : public TestEnv {};

TEST_F(SpotlightSearchTest, CommandLineKeepsTheQueryOneQuotedWord) {
    RecordingRunner runner;
    runner.answer(systemTool("/usr/bin/mdfind"), true, "");
    EXPECT_TRUE(SpotlightSearch::paths("It's", "", Sensitivity::strict, 400).empty());
    ASSERT_EQ(runner.commands().size(), 1u);
    EXPECT_EQ(runner.commands()[0],
              systemTool("/usr/bin/mdfind") + R"( 'kMDItemDisplayName == "It'\''s"cd' 2>/dev/null | /usr/bin/head -n 400)");

    // Nothing to ask for: no run at all.
    EXPECT_TRUE(SpotlightSearch::paths("", "", Sensitivity::deep, 400).empty());
    EXPECT_TRUE(SpotlightSearch::paths("*()", "\"", Sensitivity::deep, 400).empty());
    EXPECT_EQ(runner.commands().size(), 1u);
}

TEST_F(SpotlightSearchTest, KeepsOnlyHitsThatMayBeShown) {
    const std::string h = home().string();
    Ignores::add(h + "/Library/Ignored");
    RecordingRunner runner;
    runner.answer(systemTool("/usr/bin/mdfind"), true,
                  h + "/Library/Preferences/com.example.notes.plist\n"
                      "\n"
                      "/System/Library/notes.plist\n"
                      "/private/var/notes.db\n" +
                      sys("/System/Library/Caches/notes").string() + "\n" +
                      "/Applications/Notes.app/Contents/Info.plist\n" +
                      h + "/Library/Ignored/notes.db\n" +
                      h + "/Library/Preferences/com.1password.notes.plist\n" +
                      "/usr/lib/notes.dylib\n" +
                      "relative/notes.db\n" +
                      h + "/Documents/../../../../System/notes.db\n" +
                      h + "/Downloads/notes.sqlite\n");
    auto hits = SpotlightSearch::paths("Notes", "com.example.notes", Sensitivity::enhanced, 400);
    EXPECT_EQ(hits, (std::vector<std::filesystem::path>{h + "/Library/Preferences/com.example.notes.plist",
                                                         h + "/Downloads/notes.sqlite"}));
}

TEST_F(SpotlightSearchTest, FailingOrMissingToolGivesNothing) {
    {
        RecordingRunner runner;  // every command answers as a missing program
        EXPECT_TRUE(SpotlightSearch::paths("Notes", "com.example.notes", Sensitivity::deep, 5).empty());
        ASSERT_EQ(runner.commands().size(), 1u);
        EXPECT_NE(runner.commands()[0].find("| /usr/bin/head -n 5"), std::string::npos);
    }
    // The real shell on a machine without Spotlight: the pipeline runs, mdfind
    // is missing, nothing is found.
    EXPECT_TRUE(SpotlightSearch::paths("Notes", "com.example.notes", Sensitivity::strict, 400).empty());
}

TEST_F(SpotlightSearchTest, StandInToolRunsThroughTheRealPipelineAndItsCap) {
    // The search tool under the test root: it notes its arguments and answers
    // with hits that may not be shown first, then far more than the cap.
    const std::string h = home().string();
    const std::filesystem::path arguments = tmp() / "arguments.txt";
    writeFile(sys("/usr/bin/mdfind"),
              "#!/bin/sh\n"
              "printf '%s\\n' \"$#\" \"$@\" > '" + arguments.string() + "'\n"
              "echo /System/Library/notes.plist\n"
              "echo '" + h + "/Applications/Notes.app/Contents/Info.plist'\n"
              "i=0\n"
              "while [ $i -lt 1000 ]; do echo \"" + h + "/Library/Caches/notes.$i\"; i=$((i+1)); done\n");
    std::filesystem::permissions(sys("/usr/bin/mdfind"), std::filesystem::perms::owner_all);

    auto hits = SpotlightSearch::paths("It's", "com.example.notes", Sensitivity::strict, 400);
    // The cap counts lines before the filter, as the tool's answer is cut.
    ASSERT_EQ(hits.size(), 398u);
    EXPECT_EQ(hits.front(), h + "/Library/Caches/notes.0");
    EXPECT_EQ(hits.back(), h + "/Library/Caches/notes.397");
    // The query reached the tool as one argument, the apostrophe intact.
    EXPECT_EQ(readFile(arguments),
              "1\n(kMDItemDisplayName == \"It's\"cd || kMDItemDisplayName == \"com.example.notes\"cd)\n");
}
