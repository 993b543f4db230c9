#include <gtest/gtest.h>

#include <algorithm>

#include "engine/ignores.h"
#include "modules/protection/orphans.h"
#include "support/test_env.h"

using testing_support::allocateFile;
using testing_support::makeFolders;
using testing_support::writeFile;

TEST(OrphanCandidates, NamesTable) {
    struct Case {
        const char* name;
        const char* candidate;  // nullptr: none
    } cases[] = {
        {"com.example.Editor.plist", "com.example.Editor"},
        {"com.example.Editor", "com.example.Editor"},
        {"com.example.Editor.savedState", "com.example.Editor"},
        {"com.example.Editor.2", "com.example.Editor"},           // a version number ends the walk
        {"com.example.Editor.binarycookies", "com.example.Editor"},
        {"com.example.Editor.db.sqlite", "com.example.Editor"},
        {"com.example.Editor.Helper", "com.example.Editor.Helper"},
        {"com.example.log", nullptr},            // the extension word only ends a walk after two pieces
        {"com.example.Log.Viewer", nullptr},
        {"a.example.Editor", nullptr},           // one-character first piece
        {"Editor.app", nullptr},
        {".com.example.Editor", nullptr},
        {"com.example..Editor", nullptr},
        {"com.example.My App", nullptr},         // a space ends the walk
        {"com.my-co.Edit_or.plist", "com.my-co.Edit_or"},
        {"com.exämple.Éditor.plist", "com.exämple.Éditor"},  // letters beyond ASCII
        {"1.2.3", nullptr},                      // no letters at all
        {"com.example", nullptr},
        {"", nullptr},
        {"group.com.example.notes", "group.com.example.notes"},
    };
    for (const auto& c : cases) {
        auto got = Orphans::bundleIDCandidate(c.name);
        if (c.candidate) {
            ASSERT_TRUE(got.has_value()) << c.name;
            EXPECT_EQ(*got, c.candidate) << c.name;
        } else {
            EXPECT_FALSE(got.has_value()) << c.name << " gave " << got.value_or("");
        }
    }
}

TEST(OrphanCandidates, IgnoredVendorsAndHelpers) {
    struct Case {
        const char* candidate;
        bool ignored;
    } cases[] = {
        {"com.apple.Safari", true},        {"com.google.keystone.agent", true}, {"com.acme.updater", true},
        {"com.acme.Installer", true},      {"com.acme.HELPER", true},           {"com.github.tool", true},
        {"io.github.tool", true},          {"org.sparkle-project.Sparkle", true}, {"COM.APPLE.Safari", false},
        {"com.example.Editor", false},     {"com.applesauce.x", false},
    };
    for (const auto& c : cases) EXPECT_EQ(Orphans::isIgnored(c.candidate), c.ignored) << c.candidate;
}

class OrphanScan : public TestEnv {
protected:
    std::filesystem::path lib(std::string_view sub) const { return home() / "Library" / sub; }

    static const ScanCategory* find(const std::vector<ScanCategory>& cats, const std::string& id) {
        for (const auto& c : cats)
            if (c.id == id) return &c;
        return nullptr;
    }
    static std::vector<std::string> names(const ScanCategory& c) {
        std::vector<std::string> out;
        for (const auto& item : c.items) out.push_back(item.name);
        return out;
    }
};

TEST_F(OrphanScan, LeftoversOfAnUninstalledAppAndWhatIsNotReported) {
    // Leftovers of com.gone.Sketcher, which is no longer installed.
    allocateFile(lib("Preferences/com.gone.Sketcher.plist"), 4096);
    allocateFile(lib("Caches/com.gone.Sketcher/cache.db"), 64 * 1024);
    allocateFile(lib("Saved Application State/com.gone.Sketcher.savedState/data.data"), 4096);
    allocateFile(lib("Containers/com.gone.Sketcher.ShareExtension/Data/x"), 4096);
    allocateFile(sys("/Library/LaunchDaemons/com.gone.Sketcher.daemon.plist"), 4096);
    // An installed application's files, its extension container and its vendor folder.
    allocateFile(lib("Preferences/com.example.Editor.plist"), 4096);
    allocateFile(lib("Containers/com.example.Editor.ShareExtension/Data/x"), 4096);
    makeFolders(lib("Application Support/com.example"));
    allocateFile(lib("Preferences/com.example.Editor.Helper.plist"), 4096);
    // A group container of a system application, one of the installed app, and
    // the team-prefixed group of the installed app.
    makeFolders(lib("Group Containers/group.com.apple.notes"));
    makeFolders(lib("Group Containers/group.com.example.Editor"));
    makeFolders(lib("Group Containers/ABCDE12345.com.example.Editor.shared"));
    // Vendors never reported, names that are no identifier, and a protected name.
    allocateFile(lib("Preferences/com.apple.Safari.plist"), 4096);
    allocateFile(lib("Preferences/com.google.keystone.agent.plist"), 4096);
    allocateFile(lib("Preferences/.GlobalPreferences.plist"), 4096);
    makeFolders(lib("Application Support/Editor"));
    makeFolders(lib("Application Support/com.nordvpn.client"));
    // An installed identifier that differs in case does not protect the entry.
    allocateFile(lib("Logs/com.Gone.Viewer.log"), 4096);

    std::set<std::string> installed = {"com.example.Editor", "com.gone.viewer"};
    std::vector<std::pair<double, std::string>> reports;
    auto cats = Orphans::scan(installed, {"editor"}, std::make_shared<ScanToken>(),
                              [&](double f, const std::string& m) { reports.emplace_back(f, m); });

    std::vector<std::string> ids;
    for (const auto& c : cats) ids.push_back(c.id);
    std::vector<std::string> expected = {"orphans-Caches", "orphans-Saved State", "orphans-Containers",
                                         "orphans-Preferences", "orphans-Logs", "orphans-System Launch Daemons"};
    std::vector<std::string> sortedIds = ids, sortedExpected = expected;
    std::sort(sortedIds.begin(), sortedIds.end());
    std::sort(sortedExpected.begin(), sortedExpected.end());
    EXPECT_EQ(sortedIds, sortedExpected);
    EXPECT_EQ(cats.front().id, "orphans-Caches");  // the largest total comes first

    auto* prefs = find(cats, "orphans-Preferences");
    ASSERT_NE(prefs, nullptr);
    EXPECT_EQ(names(*prefs), std::vector<std::string>{"com.gone.Sketcher.plist"});
    const auto& item = prefs->items.front();
    EXPECT_EQ(prefs->title, "Leftovers in Preferences");
    EXPECT_EQ(prefs->detail, "Files naming an application that is no longer installed.");
    EXPECT_EQ(item.detail, "Preferences \u00B7 no installed app owns com.gone.Sketcher");
    EXPECT_EQ(item.url, lib("Preferences/com.gone.Sketcher.plist"));
    EXPECT_EQ(item.size, 4096);
    EXPECT_EQ(item.safety, Safety::review);
    EXPECT_FALSE(item.isSelected);

    auto* containers = find(cats, "orphans-Containers");
    ASSERT_NE(containers, nullptr);
    EXPECT_EQ(names(*containers), std::vector<std::string>{"com.gone.Sketcher.ShareExtension"});
    EXPECT_EQ(find(cats, "orphans-Group Containers"), nullptr);
    EXPECT_EQ(find(cats, "orphans-Application Support"), nullptr);
    auto* daemons = find(cats, "orphans-System Launch Daemons");
    ASSERT_NE(daemons, nullptr);
    EXPECT_EQ(daemons->items.front().url, sys("/Library/LaunchDaemons/com.gone.Sketcher.daemon.plist"));
    auto* caches = find(cats, "orphans-Caches");
    ASSERT_NE(caches, nullptr);
    EXPECT_EQ(caches->items.front().size, 64 * 1024);  // measured as a whole folder

    // Progress: one report per folder, i/16, never 1.
    ASSERT_EQ(reports.size(), 16u);
    EXPECT_EQ(reports.front(), (std::pair<double, std::string>{0.0, "Checking Application Support\u2026"}));
    EXPECT_EQ(reports.back(), (std::pair<double, std::string>{15.0 / 16.0, "Checking Privileged Helpers\u2026"}));
}

TEST_F(OrphanScan, ItemsLargestFirstAndIgnoredPathsLeftOut) {
    allocateFile(lib("Caches/com.gone.Small/a"), 4096);
    allocateFile(lib("Caches/com.gone.Large/a"), 256 * 1024);
    allocateFile(lib("Caches/com.gone.Ignored/a"), 512 * 1024);
    ASSERT_EQ(Ignores::add(lib("Caches/com.gone.Ignored").string()), Ignores::Edit::changed);
    auto cats = Orphans::scan({}, {}, nullptr, nullptr);
    ASSERT_EQ(cats.size(), 1u);
    EXPECT_EQ(names(cats[0]), (std::vector<std::string>{"com.gone.Large", "com.gone.Small"}));
}

TEST_F(OrphanScan, CancelledAndEmpty) {
    allocateFile(lib("Preferences/com.gone.Sketcher.plist"), 4096);
    auto token = std::make_shared<ScanToken>();
    token->cancel();
    int reports = 0;
    EXPECT_TRUE(Orphans::scan({}, {}, token, [&](double, const std::string&) { ++reports; }).empty());
    EXPECT_EQ(reports, 0);
    // Nothing orphaned: an empty list.
    EXPECT_TRUE(Orphans::scan({"com.gone.Sketcher"}, {}, nullptr, nullptr).empty());
}
