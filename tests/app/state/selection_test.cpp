// One selection across screens: a path ticked or cleared in one list holds in
// every list that shows it, a cleared path stays cleared through rescans, and
// whatever a removal took away leaves every list, with the history counting
// only what was really removed.
#include <gtest/gtest.h>

#include <atomic>
#include <map>

#include "engine/clean_history.h"
#include "engine/ignores.h"
#include "platform/file_facts.h"
#include "platform/plist.h"
#include "state_test_env.h"
#include "support/fake_workspace.h"
#include "support/recording_runner.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

class SelectionTest : public StateTest {
protected:
    void SetUp() override {
        StateTest::SetUp();
        // Two log folders old enough to be listed, a cache, and a password
        // manager's cache, which is listed as protected.
        logA = home() / "Library/Logs/com.example.editor";
        oldFile(logA / "editor.log", 24 * 1024, 10);
        age(logA, 10);
        logB = home() / "Library/Logs/com.example.mail";
        oldFile(logB / "mail.log", 12 * 1024, 10);
        age(logB, 10);
        cache = home() / "Library/Caches/com.example.editor";
        oldFile(cache / "cache.db", 64 * 1024, 3);
        age(cache, 3);
        vault = home() / "Library/Caches/com.1password.helper";
        oldFile(vault / "index.db", 8192, 3);
        age(vault, 3);
    }

    // A Smart Scan, then System Junk's own scan: the two reports list the
    // same paths under items of their own.
    void scanBoth() {
        state().smartScanAll();
        settle();
        state().scanSystemJunk();
        settle();
        ASSERT_TRUE(find(ModuleID::systemJunk, logA));
        ASSERT_TRUE(find(ModuleID::smartScan, logA));
        ASSERT_FALSE(find(ModuleID::systemJunk, logA)->id == find(ModuleID::smartScan, logA)->id);
    }

    // The item with that path in the module's report, or null.
    const ScanItem* find(ModuleID module, const fs::path& path) const {
        for (const auto& category : state_->report(module).categories)
            for (const auto& item : category.items)
                if (item.url == path) return &item;
        return nullptr;
    }

    bool ticked(ModuleID module, const fs::path& path) const {
        const ScanItem* item = find(module, path);
        return item && item->isSelected;
    }

    // Toggles the item with that path as its row does, by position.
    void toggleRow(ModuleID module, const fs::path& path) {
        const auto& categories = state().report(module).categories;
        for (size_t c = 0; c < categories.size(); ++c)
            for (size_t i = 0; i < categories[c].items.size(); ++i)
                if (categories[c].items[i].url == path) return state().toggle(module, c, i);
        ADD_FAILURE() << "no row for " << path << " in " << Modules::rawValue(module);
    }

    int64_t selectedBytes(ModuleID module) const {
        int64_t sum = 0;
        for (const auto& category : state_->report(module).categories) sum += category.selectedSize();
        return sum;
    }

    fs::path logA, logB, cache, vault;
};

}  // namespace

TEST_F(SelectionTest, AChoiceMadeInOneReportHoldsWhereverThePathIsListed) {
    scanBoth();
    struct Case {
        ModuleID origin, other;
    };
    for (const Case c : {Case{ModuleID::systemJunk, ModuleID::smartScan}, Case{ModuleID::smartScan, ModuleID::systemJunk}}) {
        SCOPED_TRACE(std::string(Modules::rawValue(c.origin)));
        ASSERT_TRUE(ticked(c.origin, logA));
        ASSERT_TRUE(ticked(c.other, logA));
        QSignalSpy changes(&state(), &AppState::selectionChanged);
        toggleRow(c.origin, logA);
        EXPECT_FALSE(ticked(c.origin, logA));
        EXPECT_FALSE(ticked(c.other, logA));
        EXPECT_TRUE(ticked(c.other, logB));
        // The other list hears of its one changed row.
        ASSERT_EQ(changes.count(), 2);
        EXPECT_EQ(changes[1][0].value<ModuleID>(), c.other);
        const ScanReport& other = state().report(c.other);
        const int category = changes[1][1].toInt(), item = changes[1][2].toInt();
        ASSERT_GE(category, 0);
        ASSERT_GE(item, 0);
        EXPECT_EQ(other.categories[size_t(category)].items[size_t(item)].url, logA);

        // Ticked again in the other screen: ticked in both.
        toggleRow(c.other, logA);
        EXPECT_TRUE(ticked(c.other, logA));
        EXPECT_TRUE(ticked(c.origin, logA));
    }

    // A whole category cleared in one screen is cleared in the other.
    state().setSelection(false, "user-logs", ModuleID::systemJunk);
    EXPECT_FALSE(ticked(ModuleID::smartScan, logA));
    EXPECT_FALSE(ticked(ModuleID::smartScan, logB));
    EXPECT_TRUE(ticked(ModuleID::smartScan, cache));
    state().setSelection(true, "junk.user-logs", ModuleID::smartScan);
    EXPECT_TRUE(ticked(ModuleID::systemJunk, logA));
    EXPECT_TRUE(ticked(ModuleID::systemJunk, logB));

    // A protected item is never ticked by a choice made elsewhere: not by
    // ticking its category, and not when its own row is flipped in another list.
    ASSERT_EQ(find(ModuleID::systemJunk, vault)->safety, Safety::protected_);
    state().setSelection(true, "user-caches", ModuleID::systemJunk);
    EXPECT_FALSE(ticked(ModuleID::systemJunk, vault));
    EXPECT_FALSE(ticked(ModuleID::smartScan, vault));
    state().toggle(find(ModuleID::systemJunk, vault)->id, ModuleID::systemJunk);
    EXPECT_TRUE(ticked(ModuleID::systemJunk, vault));  // flipped whatever its safety, where it was flipped
    EXPECT_FALSE(ticked(ModuleID::smartScan, vault));
}

TEST_F(SelectionTest, AClearedPathStaysClearedThroughEveryRescanUntilTickedAgain) {
    scanBoth();
    toggleRow(ModuleID::systemJunk, logA);

    state().scanSystemJunk();
    settle();
    EXPECT_FALSE(ticked(ModuleID::systemJunk, logA));
    EXPECT_TRUE(ticked(ModuleID::systemJunk, logB));
    state().smartScanAll();
    settle();
    EXPECT_FALSE(ticked(ModuleID::smartScan, logA));
    EXPECT_FALSE(ticked(ModuleID::systemJunk, logA));
    EXPECT_TRUE(ticked(ModuleID::smartScan, logB));

    // A report handed in from elsewhere with the path still ticked does not
    // remove it either.
    ScanReport stale = state().smartScan();
    for (auto& category : stale.categories)
        for (auto& item : category.items) item.isSelected = item.url == logA;
    state().clean(stale, ModuleID::smartScan, false);
    ASSERT_TRUE(state().banner());
    EXPECT_EQ(state().banner()->text, "Nothing is selected.");
    EXPECT_EQ(executor->queuedWork(), 0u);

    // Ticked again on the dashboard: the next scan of the module ticks it as usual.
    toggleRow(ModuleID::smartScan, logA);
    EXPECT_TRUE(ticked(ModuleID::systemJunk, logA));
    state().scanSystemJunk();
    settle();
    EXPECT_TRUE(ticked(ModuleID::systemJunk, logA));
    EXPECT_TRUE(fs::exists(logA / "editor.log"));
}

TEST_F(SelectionTest, AFolderUntickedInSystemJunkSurvivesSmartScanCleanAndEachByteIsRecordedOnce) {
    // Two files in the Trash, which only the Smart Scan lists here; one of
    // them is deleted behind the application's back before its Clean.
    const fs::path zip = home() / ".Trash/old.zip";
    oldFile(zip, 16 * 1024, 2);
    const fs::path dmg = home() / ".Trash/old.dmg";
    oldFile(dmg, 20 * 1024, 2);
    scanBoth();
    ASSERT_TRUE(ticked(ModuleID::smartScan, zip));
    ASSERT_TRUE(ticked(ModuleID::smartScan, dmg));

    // System Junk: untick one log folder, Remove.
    toggleRow(ModuleID::systemJunk, logA);
    const int64_t junkRemoved = find(ModuleID::systemJunk, logB)->size + find(ModuleID::systemJunk, cache)->size;
    ASSERT_EQ(selectedBytes(ModuleID::systemJunk), junkRemoved);
    QSignalSpy reports(&state(), &AppState::reportChanged);
    state().clean(state().junk(), ModuleID::systemJunk, false);
    executor->runWork();
    executor->runPosts();  // the cleaning's end, before its rescan runs
    EXPECT_TRUE(fs::exists(logA / "editor.log"));
    EXPECT_FALSE(fs::exists(logB));
    EXPECT_FALSE(fs::exists(cache));

    // The dashboard's report lets go of what is gone at once, its totals with it.
    bool heard = false;
    for (const auto& signal : reports) heard = heard || signal[0].value<ModuleID>() == ModuleID::smartScan;
    EXPECT_TRUE(heard);
    EXPECT_FALSE(find(ModuleID::smartScan, logB));
    EXPECT_FALSE(find(ModuleID::smartScan, cache));
    ASSERT_TRUE(find(ModuleID::smartScan, logA));
    EXPECT_FALSE(ticked(ModuleID::smartScan, logA));
    EXPECT_EQ(selectedBytes(ModuleID::smartScan), find(ModuleID::smartScan, zip)->size + find(ModuleID::smartScan, dmg)->size);
    settle();

    // Smart Scan's Clean: the unticked folder is still there, and the history
    // holds each removed byte once.
    const int64_t zipSize = find(ModuleID::smartScan, zip)->size;
    ASSERT_TRUE(fs::remove(dmg));
    state().clean(state().smartScan(), ModuleID::smartScan, false);
    executor->runWork();
    executor->runPosts();
    EXPECT_TRUE(fs::exists(logA / "editor.log"));
    EXPECT_FALSE(fs::exists(zip));
    ASSERT_TRUE(state().lastCleanup());
    EXPECT_EQ(state().lastCleanup()->reclaimed, zipSize);
    EXPECT_EQ(state().lastCleanup()->removedCount, 1);
    // The Trash Bins report, all of whose items are gone, shows its empty state.
    EXPECT_TRUE(state().trash().categories.empty());
    settle();

    const auto history = CleanHistory::recent(10);
    ASSERT_EQ(history.size(), 2u);
    EXPECT_EQ(history[0].modules, std::vector<std::string>{"smartScan"});
    EXPECT_EQ(history[0].reclaimedBytes, zipSize);
    EXPECT_EQ(history[0].removedCount, 1);
    EXPECT_EQ(history[1].reclaimedBytes, junkRemoved);
    EXPECT_EQ(history[1].removedCount, 2);
}

TEST_F(SelectionTest, WhatTheUninstallerRemovesLeavesTheReportsAndAScanBegunBeforeItDoesNotBringItBack) {
    // Posts of the Smart Scan wait until the test lets them through, so its
    // result lands after the uninstall that ran meanwhile.
    class HeldPosts final : public Executor {
    public:
        explicit HeldPosts(std::shared_ptr<ManualExecutor> inner) : inner_(std::move(inner)) {}
        void run(Job job) override { inner_->run(std::move(job)); }
        void post(Receiver receiver, Job job) override {
            if (holding) {
                held_.emplace_back(std::move(receiver), std::move(job));
                return;
            }
            inner_->post(std::move(receiver), std::move(job));
        }
        void postAfter(Receiver receiver, std::chrono::milliseconds delay, Job job) override {
            inner_->postAfter(std::move(receiver), delay, std::move(job));
        }
        void release() {
            holding = false;
            for (auto& [receiver, job] : held_) inner_->post(std::move(receiver), std::move(job));
            held_.clear();
        }
        std::atomic<bool> holding = false;

    private:
        std::shared_ptr<ManualExecutor> inner_;
        std::vector<std::pair<Receiver, Job>> held_;
    };
    auto held = std::make_shared<HeldPosts>(executor);
    state_ = std::make_unique<AppState>(held, std::vector<std::string>{"vessiltane"});
    auto workspace = installFakeWorkspace();
    RecordingRunner runner;
    const fs::path bundle = sys("/Applications/Editor.app");
    writeFile(bundle / "Contents/Info.plist",
              Plist::toXml(Plist::Value::makeDict({{"CFBundleIdentifier", Plist::Value::makeString("com.example.editor")}})));
    allocateFile(bundle / "Contents/MacOS/Editor", 8192);

    state().loadApps();
    settle();
    ASSERT_EQ(state().apps().size(), 1u);
    state().scanSystemJunk();
    settle();

    // Cleared in System Junk: the application's leftover of that path comes unticked.
    toggleRow(ModuleID::systemJunk, logA);
    state().select(state().apps()[0]);
    settle();
    std::map<fs::path, bool> leftovers;
    for (const auto& l : state().leftovers()) leftovers[l.url] = l.isSelected;
    ASSERT_TRUE(leftovers.count(logA));
    ASSERT_TRUE(leftovers.count(cache));
    EXPECT_FALSE(leftovers[logA]);
    EXPECT_TRUE(leftovers[cache]);

    held->holding = true;
    state().smartScanAll();
    executor->runWork();  // the scan has seen the cache; its result waits
    held->holding = false;

    state().uninstallSelected();
    settle();
    EXPECT_FALSE(fs::exists(cache));
    EXPECT_FALSE(fs::exists(bundle));
    EXPECT_TRUE(fs::exists(logA / "editor.log"));
    EXPECT_FALSE(find(ModuleID::systemJunk, cache));
    EXPECT_TRUE(find(ModuleID::systemJunk, logA));
    held->release();
    settle();
    ASSERT_TRUE(state().hasReport(ModuleID::smartScan));
    EXPECT_FALSE(find(ModuleID::smartScan, cache));
    EXPECT_FALSE(find(ModuleID::systemJunk, cache));
    EXPECT_TRUE(find(ModuleID::systemJunk, logA));
    EXPECT_FALSE(ticked(ModuleID::smartScan, logA));
}

TEST_F(SelectionTest, WhatEveryOtherRoadRemovesLeavesEveryList) {
    // A launch agent whose program is gone (System Junk's broken entries and
    // the startup items' report) and a cache of an application that is not
    // installed (an orphan, and a System Junk cache).
    RecordingRunner runner;  // no launchctl
    const fs::path agent = home() / "Library/LaunchAgents/com.example.helper.plist";
    writeFile(agent, Plist::toXml(Plist::Value::makeDict({{"Label", Plist::Value::makeString("com.example.helper")},
                                                          {"Program", Plist::Value::makeString("/opt/gone/helper")}})));
    const fs::path orphan = home() / "Library/Caches/com.gone.tool";
    oldFile(orphan / "blob", 4096, 3);
    age(orphan, 3);
    scanBoth();
    state().loadLoginItems();
    settle();
    state().scanOrphans();
    settle();
    ASSERT_TRUE(find(ModuleID::systemJunk, agent));
    ASSERT_TRUE(find(ModuleID::loginItems, agent));
    ASSERT_TRUE(find(ModuleID::systemJunk, orphan));
    const ScanCategory* caches = nullptr;
    for (const auto& category : state().orphanCategories())
        for (const auto& item : category.items)
            if (item.url == orphan) caches = &category;
    ASSERT_TRUE(caches);

    // Orphans, which come unticked: cleared and ticked again in System Junk,
    // ticked on the card too; then trashed from the card.
    for (const auto& item : caches->items) ASSERT_FALSE(item.isSelected) << item.url;
    toggleRow(ModuleID::systemJunk, orphan);
    EXPECT_FALSE(ticked(ModuleID::smartScan, orphan));
    toggleRow(ModuleID::systemJunk, orphan);
    EXPECT_TRUE(ticked(ModuleID::smartScan, orphan));
    for (const auto& item : caches->items) EXPECT_EQ(item.isSelected, item.url == orphan) << item.url;
    state().removeOrphanCategory(*caches);
    settle();
    EXPECT_FALSE(fs::exists(orphan));
    EXPECT_FALSE(find(ModuleID::systemJunk, orphan));
    EXPECT_FALSE(find(ModuleID::smartScan, orphan));

    // A startup item removed from its screen.
    ASSERT_EQ(state().loginEntries().size(), 1u);
    state().removeLoginItem(state().loginEntries()[0]);
    executor->runWork();
    executor->runPosts();
    EXPECT_FALSE(existsItself(agent));
    EXPECT_FALSE(find(ModuleID::systemJunk, agent));
    EXPECT_FALSE(find(ModuleID::smartScan, agent));
    EXPECT_TRUE(state().report(ModuleID::loginItems).categories.empty());
    settle();

    // The shredder: a folder shredded takes with it what lies in it.
    ScanItem logs;
    logs.url = home() / "Library/Logs";
    logs.name = "Logs";
    logs.measured = measureObject(logs.url);
    Lifeline screen;
    std::vector<std::string> shredded;
    state().shred({logs}, screen.receiver(), [](const std::string&) {},
                  [&](const std::vector<std::string>& paths) { shredded = paths; });
    settle();
    ASSERT_EQ(shredded, std::vector<std::string>{logs.url.string()});
    EXPECT_FALSE(find(ModuleID::systemJunk, logA));
    EXPECT_FALSE(find(ModuleID::smartScan, logB));
    EXPECT_TRUE(find(ModuleID::systemJunk, cache));
    for (const auto& category : state().junk().categories) EXPECT_FALSE(category.items.empty()) << category.id;
}

namespace {

// The uninstaller's leftover at that path, or null.
const Uninstaller::Leftover* leftoverAt(const AppState& state, const fs::path& path) {
    for (const auto& l : state.leftovers())
        if (l.url == path) return &l;
    return nullptr;
}

}  // namespace

class SelectionWithAnApp : public SelectionTest {
protected:
    void SetUp() override {
        SelectionTest::SetUp();
        workspace = installFakeWorkspace();
        bundle = sys("/Applications/Editor.app");
        writeFile(bundle / "Contents/Info.plist",
                  Plist::toXml(Plist::Value::makeDict(
                      {{"CFBundleIdentifier", Plist::Value::makeString("com.example.editor")}})));
        allocateFile(bundle / "Contents/MacOS/Editor", 8192);
        state().loadApps();
        settle();
        ASSERT_EQ(state().apps().size(), 1u);
        state().scanSystemJunk();
        settle();
        // The application's leftovers listed, before anything is cleared.
        state().select(state().apps()[0]);
        settle();
        for (const fs::path& p : {logA, cache}) {
            ASSERT_TRUE(leftoverAt(state(), p)) << p;
            ASSERT_TRUE(leftoverAt(state(), p)->isSelected) << p;
        }
    }

    std::shared_ptr<FakeWorkspace> workspace;
    RecordingRunner runner;
    fs::path bundle;
};

TEST_F(SelectionWithAnApp, AnUntickInSystemJunkReachesListedLeftoversAndAFailureStaysListed) {
    // Cleared in System Junk once the leftovers are listed.
    toggleRow(ModuleID::systemJunk, logA);
    EXPECT_FALSE(leftoverAt(state(), logA)->isSelected);
    // A ticked leftover the user puts on the ignore list: its removal fails.
    ASSERT_EQ(Ignores::add(cache.string()), Ignores::Edit::changed);

    state().uninstallSelected();
    settle();
    EXPECT_FALSE(fs::exists(bundle));
    EXPECT_TRUE(fs::exists(logA / "editor.log"));  // cleared: never trashed
    EXPECT_TRUE(fs::exists(cache / "cache.db"));   // failed: still there
    EXPECT_FALSE(fs::exists(home() / ".Trash/com.example.editor"));
    // What failed is still listed where it was.
    EXPECT_TRUE(find(ModuleID::systemJunk, cache));
    EXPECT_TRUE(find(ModuleID::systemJunk, logA));
}

TEST_F(SelectionWithAnApp, WhatACleaningRemovedLeavesTheLeftoversAndIsNotTrashedWhenMadeAgain) {
    state().setSelection(false, std::nullopt, ModuleID::systemJunk);
    toggleRow(ModuleID::systemJunk, cache);
    ASSERT_TRUE(leftoverAt(state(), cache)->isSelected);
    state().clean(state().junk(), ModuleID::systemJunk, false);
    settle();
    EXPECT_FALSE(fs::exists(cache));
    EXPECT_FALSE(leftoverAt(state(), cache));

    // The editor makes its cache again; uninstalling takes only what is listed.
    writeFile(cache / "cache.db", "new");
    state().uninstallSelected();
    settle();
    EXPECT_TRUE(fs::exists(cache / "cache.db"));
    EXPECT_FALSE(fs::exists(home() / ".Trash/com.example.editor"));
    EXPECT_FALSE(fs::exists(bundle));
}
