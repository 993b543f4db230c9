#include <gtest/gtest.h>

#include <algorithm>

#include "modules/system/uninstaller.h"
#include "support/app_bundle.h"
#include "support/recording_runner.h"
#include "support/test_env.h"

using namespace testing_support;
using SpotlightSearch::Sensitivity;

namespace {

InstalledApp makeApp(const std::filesystem::path& url, std::string bundleID) {
    InstalledApp app;
    app.url = url;
    app.id = url.string();
    app.name = url.stem().string();
    app.bundleID = std::move(bundleID);
    return app;
}

struct Found {
    std::string path;  // relative to the home or to the test root ("/Library/...")
    std::string origin;
    bool selected;
    std::string reason = {};
    bool operator==(const Found&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Found& f) {
    os << f.path << " [" << f.origin << (f.selected ? ", selected" : "");
    if (!f.reason.empty()) os << ", " << f.reason;
    return os << "]";
}

class LeftoversTest : public TestEnv {
protected:
    std::vector<Found> found(const InstalledApp& app, bool spotlight = false) {
        std::vector<Found> out;
        for (const auto& l : Uninstaller::leftovers(app, Sensitivity::enhanced, spotlight)) {
            std::string p = l.url.string();
            const std::string h = home().string() + "/";
            const std::string r = root().string();
            if (p.rfind(h, 0) == 0) p = "~/" + p.substr(h.size());
            else if (p.rfind(r, 0) == 0) p = p.substr(r.size());
            out.push_back({p, l.origin, l.isSelected, l.reason});
        }
        return out;
    }
    void file(const std::string& homeRelative, int64_t bytes = 0) { allocateFile(home() / homeRelative, bytes); }
};

}  // namespace

TEST(LeftoverRules, StateLikeTable) {
    struct Case {
        std::string path;
        bool stateLike;
    };
    const std::vector<Case> cases = {
        {"/Users/me/Library/Preferences/com.example.notes.plist", true},
        {"/Volumes/Data/Library/anything.txt", true},
        {"/Users/me/Downloads/notes.sqlite", true},
        {"/Users/me/Downloads/notes.SQLITE3", true},
        {"/Users/me/notes.binarycookies", true},
        {"/opt/Caches/x", true},
        {"/opt/PrivilegedHelperTools/x", true},
        {"/Users/me/Documents/Notes.txt", false},
        {"/Users/me/Documents/library/notes.txt", false},  // fragments keep their case
        {"/Users/me/Documents/notes", false},
        {"/Users/me/Documents/plist", false},
    };
    for (const auto& c : cases) EXPECT_EQ(Uninstaller::isStateLike(c.path), c.stateLike) << c.path;
}

TEST_F(LeftoversTest, MatchesByIdentifierNameAndGroupContainers) {
    const auto app = makeApp(sys("/Applications/Notes.app"), "com.example.notes");
    file("Library/Caches/com.example.notes/Cache.db", 256 * 1024);
    file("Library/Preferences/com.example.notes.plist");
    file("Library/Preferences/com.other.app.plist");
    file("Library/Application Support/Notes Backup/a", 64 * 1024);
    file("Library/Group Containers/ABCDE12345.com.example.notes/x", 128 * 1024);
    file("Library/Containers/com.example.Notes.Share/x", 32 * 1024);
    file("Library/Saved Application State/com.example.notes.savedState/x", 16 * 1024);
    file("Library/Application Support/CrashReporter/Notes_2024.plist", 8 * 1024);
    file("Library/Caches/com.1password.notes/x", 512 * 1024);  // a protected name is never offered
    allocateFile(sys("/Library/Caches/com.example.notes/x"), 4 * 1024);
    file("Library/Application Support/com.apple.sharedfilelist/"
         "com.apple.LSSharedFileList.ApplicationRecentDocuments/com.example.notes.sfl2");

    EXPECT_EQ(found(app), (std::vector<Found>{
                              {"~/Library/Caches/com.example.notes", "Caches", true},
                              {"~/Library/Group Containers/ABCDE12345.com.example.notes", "Group Containers", true},
                              // Only part of its name is the application's: offered, not ticked.
                              {"~/Library/Application Support/Notes Backup", "Application Support", false,
                               "Its name only contains \u201CNotes\u201D"},
                              {"~/Library/Containers/com.example.Notes.Share", "Containers", true},
                              {"~/Library/Saved Application State/com.example.notes.savedState", "Saved State", true},
                              {"~/Library/Application Support/CrashReporter/Notes_2024.plist", "Crash Reports", true},
                              {"/Library/Caches/com.example.notes", "System Caches", true},
                              {"~/Library/Preferences/com.example.notes.plist", "Preferences", true},
                              {"~/Library/Application Support/com.apple.sharedfilelist/"
                               "com.apple.LSSharedFileList.ApplicationRecentDocuments/com.example.notes.sfl2",
                               "Recent Documents", true},
                          }));
}

TEST_F(LeftoversTest, IdentifiersThatNameNoSingleApplicationMatchNothing) {
    for (const char* name : {"com.apple.Safari.plist", "com.example.tool.plist", "go.plist", "io.go.plist", "igo.db"})
        file(std::string("Library/Preferences/") + name);
    file("Library/Caches/com.example.tool");
    file("Library/Application Support/Notes");
    struct Case {
        std::string appFile, bundleID;
        std::vector<std::string> names;
    };
    const std::vector<Case> cases = {
        {"Go.app", "", {}},                     // empty: would be a prefix of every entry
        {"Go.app", "com", {}},                  // one word: a prefix of every com.* entry
        {"Go.app", "io.go", {"io.go.plist"}},   // short tokens drop; the prefix test still holds
        {"Notes.app", "", {"Notes"}},           // the name still matches
    };
    for (const auto& c : cases) {
        std::vector<std::string> names;
        for (const auto& l : Uninstaller::leftovers(makeApp(sys("/Applications") / c.appFile, c.bundleID),
                                                    Sensitivity::strict, false))
            names.push_back(l.url.filename().string());
        EXPECT_EQ(names, c.names) << c.appFile << " / '" << c.bundleID << "'";
    }
}

TEST_F(LeftoversTest, AnApplicationIsNotItsOwnLeftover) {
    const auto bundle = home() / "Library/Application Support/Notes.app";
    makeFolders(bundle / "Contents");
    file("Library/Application Support/Notes/data");
    auto app = makeApp(bundle, "com.example.notes");
    EXPECT_EQ(found(app), (std::vector<Found>{{"~/Library/Application Support/Notes", "Application Support", true}}));
}

TEST_F(LeftoversTest, SpotlightWidensTheSearchWithStateLikeHitsOnly) {
    const auto app = makeApp(sys("/Applications/Notes.app"), "com.example.notes");
    file("Library/Caches/com.example.notes/x", 64 * 1024);
    file("Documents/Notes.txt", 1024 * 1024);
    file("Downloads/notes.sqlite", 8 * 1024);
    RecordingRunner runner;
    const std::string h = home().string();
    runner.answer(systemTool("/usr/bin/mdfind"), true,
                  h + "/Library/Caches/com.example.notes\n" + h + "/Documents/Notes.txt\n" + h +
                      "/Downloads/notes.sqlite\n" + app.url.string() + "\n");

    EXPECT_TRUE(found(app, false).size() == 1 && runner.commands().empty());
    EXPECT_EQ(found(app, true), (std::vector<Found>{
                                    {"~/Library/Caches/com.example.notes", "Caches", true},
                                    {"~/Downloads/notes.sqlite", "Spotlight", false},
                                }));
    ASSERT_EQ(runner.commands().size(), 1u);
    EXPECT_NE(runner.commands()[0].find("| /usr/bin/head -n 400"), std::string::npos);
}

TEST_F(LeftoversTest, WhatBelongsToAnotherApplicationIsNeverTicked) {
    // The installed applications the names are weighed against.
    writeAppBundle(sys("/Applications/Line.app"), "jp.naver.line.mac", "1");
    writeAppBundle(sys("/Applications/A.app"), "com.a", "1");
    writeAppBundle(sys("/Applications/Google Chrome.app"), "com.google.Chrome", "1");
    writeAppBundle(sys("/Applications/Google Chrome Canary.app"), "com.google.Chrome.canary", "1");
    for (const char* path : {
             "Library/Application Support/Offline Maps/x", "Library/Caches/com.example.pipeline/x",
             "Library/Application Support/Line/x", "Library/Preferences/jp.naver.line.mac.plist",
             "Library/Logs/Line Helper/x", "Library/Caches/com.apple.Safari/x", "Library/Containers/com.apple.mail/x",
             "Library/Caches/com.adobe.Acrobat/x", "Library/Preferences/com.a.plist", "Library/Caches/com.google.Chrome/x",
             "Library/Caches/com.google.Chrome.canary/x", "Library/Preferences/com.google.Chrome.plist",
             "Library/Preferences/com.google.Chrome.canary.plist", "Library/Application Support/Google Chrome/x",
             "Library/Application Support/Google Chrome Canary/x"})
        file(path);

    struct Case {
        const char* app;
        std::string bundleID;
        std::vector<Found> leftovers;
    };
    const std::vector<Case> cases = {
        {"Line.app", "jp.naver.line.mac",
         {{"~/Library/Application Support/Line", "Application Support", true},
          {"~/Library/Logs/Line Helper", "Logs", false, "Its name only contains \u201CLine\u201D"},
          {"~/Library/Preferences/jp.naver.line.mac.plist", "Preferences", true}}},
        {"A.app", "com.a", {{"~/Library/Preferences/com.a.plist", "Preferences", true}}},
        {"Google Chrome.app", "com.google.Chrome",
         {{"~/Library/Application Support/Google Chrome", "Application Support", true},
          {"~/Library/Caches/com.google.Chrome", "Caches", true},
          {"~/Library/Preferences/com.google.Chrome.plist", "Preferences", true}}},
        {"Google Chrome Canary.app", "com.google.Chrome.canary",
         {{"~/Library/Application Support/Google Chrome Canary", "Application Support", true},
          {"~/Library/Caches/com.google.Chrome.canary", "Caches", true},
          {"~/Library/Preferences/com.google.Chrome.canary.plist", "Preferences", true}}},
    };
    for (const auto& c : cases) {
        auto got = found(makeApp(sys("/Applications") / c.app, c.bundleID));
        std::sort(got.begin(), got.end(), [](const Found& a, const Found& b) { return a.path < b.path; });
        EXPECT_EQ(got, c.leftovers) << c.app;
    }
}

TEST_F(LeftoversTest, AnotherCopyOfTheApplicationSharesItsFiles) {
    writeAppBundle(sys("/Applications/Notes.app"), "com.example.notes", "1");
    writeAppBundle(home() / "Applications/Notes.app", "com.example.notes", "1");
    file("Library/Preferences/com.example.notes.plist");
    EXPECT_EQ(found(makeApp(sys("/Applications/Notes.app"), "com.example.notes")),
              (std::vector<Found>{{"~/Library/Preferences/com.example.notes.plist", "Preferences", false,
                                   "Also matches Notes (~/Applications/Notes.app)"}}));
}
