// The state's own rules: where it starts, the current token, the throttled
// progress line, report selection and the banner's lifetime.
#include <gtest/gtest.h>

#include <thread>

#include "engine/admin.h"
#include "modules/system/maintenance.h"
#include "state_test_env.h"
#include "support/fake_workspace.h"
#include "support/recording_runner.h"

using namespace testing_support;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

TEST_F(StateTest, StartsOnTheModuleNamedOnTheCommandLine) {
    struct Case {
        std::vector<std::string> arguments;
        ModuleID expected;
    } cases[] = {
        {{"vessiltane", "--module", "large_old-files"}, ModuleID::largeOldFiles},
        {{"vessiltane", "--module", "LOGIN-ITEMS"}, ModuleID::loginItems},
        {{"vessiltane", "--module", "nosuch"}, ModuleID::smartScan},
        {{"vessiltane", "--module"}, ModuleID::smartScan},
        {{"vessiltane", "--json", "--module", "diskMap", "--module", "updater"}, ModuleID::diskMap},
        {{"vessiltane"}, ModuleID::smartScan},
    };
    for (const auto& c : cases) {
        makeState(c.arguments);
        EXPECT_EQ(state().module(), c.expected) << c.arguments.back();
    }
}

TEST_F(StateTest, StartsIdleWithTheMaintenanceCatalogAndNoReports) {
    EXPECT_EQ(state().progress().fraction, 0);
    EXPECT_EQ(state().progress().message, "");
    EXPECT_FALSE(state().progress().isRunning);
    EXPECT_FALSE(state().activeScan());
    EXPECT_FALSE(state().token());
    EXPECT_TRUE(state().volume().has_value());
    // No ~/Library/Safari in the test home: nothing is hidden.
    EXPECT_TRUE(state().hasFullDiskAccess());
    std::vector<std::string> ids, catalog;
    for (const auto& t : state().tasks()) ids.push_back(t.id);
    for (const auto& t : Maintenance::catalog()) catalog.push_back(t.id);
    EXPECT_EQ(ids, catalog);
    EXPECT_EQ(state().spotlightSensitivity(), SpotlightSearch::Sensitivity::enhanced);

    // Reading a module that was never scanned gives the empty report and stores nothing.
    QSignalSpy stored(&state(), &AppState::reportChanged);
    EXPECT_TRUE(state().mail().categories.empty());
    EXPECT_FALSE(state().hasReport(ModuleID::mailAttachments));
    // Ticking in it stores the empty report.
    state().toggle(Uuid::random(), ModuleID::mailAttachments);
    EXPECT_TRUE(state().hasReport(ModuleID::mailAttachments));
    ASSERT_EQ(stored.count(), 1);
    EXPECT_EQ(stored.at(0).at(0).value<ModuleID>(), ModuleID::mailAttachments);
}

TEST_F(StateTest, ASecondScanCancelsTheFirstWhoseReportIsNeverStored) {
    oldFile(home() / "Library/Mail Downloads/invoice.pdf", 8192, 40);
    oldFile(home() / ".Trash/old.txt", 4096, 1);
    QSignalSpy stored(&state(), &AppState::reportChanged);
    int lineEnded = 0;
    bool wasRunning = false;
    QObject::connect(&state(), &AppState::progressChanged, [&] {
        if (wasRunning && !state().progress().isRunning) ++lineEnded;
        wasRunning = state().progress().isRunning;
    });

    state().scanMail();
    const ScanTokenRef first = state().token();
    state().scanTrash();
    const ScanTokenRef second = state().token();
    EXPECT_NE(first, second);
    EXPECT_TRUE(first->isCancelled());
    EXPECT_FALSE(second->isCancelled());
    EXPECT_EQ(state().progress().message, "Looking for Trash\u2026");

    // The first scan ends and its result comes back: dropped, the line still runs.
    ASSERT_TRUE(executor->runOneWork());
    executor->runPosts();
    EXPECT_FALSE(state().hasReport(ModuleID::mailAttachments));
    EXPECT_TRUE(state().progress().isRunning);
    EXPECT_EQ(state().activeScan(), ModuleID::trashBins);

    ASSERT_TRUE(executor->runOneWork());
    executor->runPosts();
    ASSERT_EQ(stored.count(), 1);
    EXPECT_EQ(stored.at(0).at(0).value<ModuleID>(), ModuleID::trashBins);
    EXPECT_EQ(state().trash().itemCount(), 1);
    EXPECT_EQ(lineEnded, 1);
    EXPECT_FALSE(state().activeScan());
    EXPECT_EQ(state().progress().fraction, 1.0);
}

TEST_F(StateTest, StopEndsTheLineAtOnceAndTheStoppedScanStoresWhatItFound) {
    oldFile(home() / "Library/Mail Downloads/invoice.pdf", 8192, 40);
    state().scanMail();
    const ScanTokenRef token = state().token();
    state().cancelScan();
    EXPECT_TRUE(token->isCancelled());
    EXPECT_EQ(state().token(), token);  // Stop keeps the token current
    EXPECT_FALSE(state().progress().isRunning);
    EXPECT_EQ(state().progress().fraction, 1.0);
    EXPECT_EQ(state().progress().message, "Reading Mail\u2026");
    EXPECT_FALSE(state().activeScan());

    settle();
    EXPECT_TRUE(state().hasReport(ModuleID::mailAttachments));
    EXPECT_FALSE(state().progress().isRunning);
    EXPECT_EQ(state().progress().fraction, 1.0);
}

TEST_F(StateTest, ProgressMovesOnlyForAVisibleStepOrNewWords) {
    ProgressCallback progress = state().makeProgress();
    QSignalSpy changed(&state(), &AppState::progressChanged);
    struct Step {
        double fraction;
        const char* message;
        bool applied;
    } steps[] = {
        {0.5, "Scanning A", true},   {0.505, "Scanning A", false}, {0.505, "Scanning B", true},
        {0.514, "Scanning B", false}, {0.516, "Scanning B", true},  {0.2, "Scanning B", true},
    };
    double expected = 0;
    for (const auto& step : steps) {
        // Called on a worker, as the engine does; applied on the main thread.
        std::thread([&] { progress(step.fraction, step.message); }).join();
        const int before = int(changed.count());
        EXPECT_EQ(executor->runPosts(), 1);
        EXPECT_EQ(changed.count() - before, step.applied ? 1 : 0) << step.fraction << " " << step.message;
        if (step.applied) expected = step.fraction;
        EXPECT_EQ(state().progress().fraction, expected);
    }
    EXPECT_EQ(state().progress().message, "Scanning B");
    EXPECT_FALSE(state().progress().isRunning);  // the callback never touches the running flag
}

TEST_F(StateTest, AModuleScanKeepsOnlyTheCategoriesThatFoundSomething) {
    oldFile(home() / "Library/Mail Downloads/invoice.pdf", 8192, 40);
    oldFile(home() / "Library/Mail Downloads/fresh.pdf", 8192, 2);  // too young to be found
    state().scanMail();
    settle();
    EXPECT_EQ(categoryIDs(state().mail()), std::vector<std::string>{"mail-downloads"});
    EXPECT_EQ(state().mail().itemCount(), 1);
    // Every place the catalog looked is still in the coverage.
    EXPECT_GT(state().mail().coverage.size(), 1u);
}

TEST_F(StateTest, EngineWorkNeverRunsOnTheMainThread) {
    auto workspace = installFakeWorkspace();
    std::vector<std::string> onMain;
    std::mutex lock;
    Admin::setRunnerForTesting([&](const std::string& line, bool) {
        if (onMainThread()) {
            std::lock_guard guard(lock);
            onMain.push_back(line);
        }
        Admin::Result r;
        r.exitStatus = 127;
        return r;
    });
    // Every action that runs a tool or reads the disk, each started from the main thread.
    state().scanSystemJunk();
    settle();
    state().loadLoginItems();
    settle();
    state().loadPrivacyExtras();
    settle();
    state().loadProcesses();
    settle();
    state().runTask("quicklook");
    settle();
    state().revoke({"com.example.app|kTCCServiceCamera", "com.example.app", "kTCCServiceCamera", "Camera", true});
    settle();
    state().smartScanAll();
    settle();
    EXPECT_TRUE(onMain.empty()) << onMain.front();
}

namespace {

// The figures of a report, walked item by item.
AppState::ReportTotals walked(const ScanReport& report) {
    AppState::ReportTotals n;
    n.items = report.itemCount();
    n.bytes = report.totalSize();
    n.selectedItems = report.selectedCount();
    for (const auto& category : report.categories) {
        n.selectedBytes += category.selectedSize();
        for (const auto& item : category.items)
            if (item.safety == Safety::review) {
                ++n.reviewItems;
                n.reviewBytes += item.size;
            }
    }
    return n;
}

}  // namespace

TEST_F(StateTest, TicksChangeOneItemInPlaceAndSayWhichItIs) {
    // A report of a couple of thousand items: a tick changes that item where
    // it lies and announces its position; the report is never replaced.
    const fs::path downloads = home() / "Library/Mail Downloads";
    for (int i = 0; i < 2000; ++i) {
        writeFile(downloads / ("file-" + std::to_string(i)), "");
        age(downloads / ("file-" + std::to_string(i)), 40);
    }
    oldFile(home() / "Library/Caches/com.example.editor/cache.db", 8192, 3);
    age(home() / "Library/Caches/com.example.editor", 3);
    oldFile(home() / "Library/Caches/com.nordvpn.client/state", 4096, 3);  // protected by its name
    age(home() / "Library/Caches/com.nordvpn.client", 3);
    state().scanMail();
    settle();
    state().scanSystemJunk();
    settle();
    ASSERT_EQ(state().mail().itemCount(), 2000);
    // The figures the screens show are kept with every change, never walked for a redraw.
    auto figuresAgree = [this](ModuleID module) {
        const AppState::ReportTotals kept = state().totals(module), walk = walked(state().report(module));
        EXPECT_EQ(kept, walk) << Modules::rawValue(module) << ": kept " << kept.selectedItems << " items, "
                              << kept.selectedBytes << " bytes selected; walked " << walk.selectedItems << ", "
                              << walk.selectedBytes;
        for (size_t c = 0; c < state().report(module).categories.size(); ++c) {
            ScanReport one;
            one.categories = {state().report(module).categories[c]};
            EXPECT_EQ(state().totals(module, c), walked(one));
        }
    };
    figuresAgree(ModuleID::mailAttachments);
    figuresAgree(ModuleID::systemJunk);
    EXPECT_GT(state().totals(ModuleID::mailAttachments).reviewItems, 0);

    QSignalSpy replaced(&state(), &AppState::reportChanged);
    QSignalSpy ticked(&state(), &AppState::selectionChanged);
    const ScanItem* storage = state().mail().categories[0].items.data();
    const ScanItem target = state().mail().categories[0].items[1234];
    state().toggle(ModuleID::mailAttachments, 0, 1234);
    state().toggle(target.id, ModuleID::mailAttachments);
    state().toggle(ModuleID::mailAttachments, 0, 5000);  // out of range: nothing
    EXPECT_EQ(replaced.count(), 0);
    ASSERT_EQ(ticked.count(), 2);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(ticked.at(i).at(0).value<ModuleID>(), ModuleID::mailAttachments);
        EXPECT_EQ(ticked.at(i).at(1).toInt(), 0);
        EXPECT_EQ(ticked.at(i).at(2).toInt(), 1234);
    }
    EXPECT_EQ(state().mail().categories[0].items.data(), storage);
    EXPECT_EQ(state().mail().selectedCount(), 0);
    state().toggle(ModuleID::mailAttachments, 0, 7);
    figuresAgree(ModuleID::mailAttachments);

    // Bulk selection: one category, then every category; protected items keep their state.
    const ScanItem* vpn = itemNamed(ModuleID::systemJunk, "com.nordvpn.client");
    ASSERT_TRUE(vpn);
    ASSERT_EQ(vpn->safety, Safety::protected_);
    EXPECT_FALSE(vpn->isSelected);
    ticked.clear();
    state().setSelection(false, "user-caches", ModuleID::systemJunk);
    EXPECT_EQ(state().junk().categories[0].selectedCount(), 0);
    figuresAgree(ModuleID::systemJunk);
    state().setSelection(true, std::nullopt, ModuleID::systemJunk);
    figuresAgree(ModuleID::systemJunk);
    state().setSelection(true, "no-such-category", ModuleID::systemJunk);
    ASSERT_EQ(ticked.count(), 2);
    EXPECT_EQ(ticked.at(0).at(1).toInt(), 0);
    EXPECT_EQ(ticked.at(0).at(2).toInt(), -1);
    EXPECT_EQ(ticked.at(1).at(1).toInt(), -1);
    EXPECT_FALSE(itemNamed(ModuleID::systemJunk, "com.nordvpn.client")->isSelected);
    EXPECT_TRUE(itemNamed(ModuleID::systemJunk, "com.example.editor")->isSelected);
    // A single tick reaches even a protected item, as the report's own toggle does.
    state().toggle(vpn->id, ModuleID::systemJunk);
    EXPECT_TRUE(itemNamed(ModuleID::systemJunk, "com.nordvpn.client")->isSelected);
    figuresAgree(ModuleID::systemJunk);
    // A module never scanned has none; a tick there stores the empty report.
    state().toggle(Uuid::random(), ModuleID::photos);
    EXPECT_EQ(state().totals(ModuleID::photos), AppState::ReportTotals{});
    EXPECT_EQ(state().totals(ModuleID::photos, 3), AppState::ReportTotals{});
}

TEST_F(StateTest, FiguresFollowTicksMadeOnAnotherScreenAndRemovals) {
    // The same cache stands in System Junk and in Smart Scan's copy of it.
    oldFile(home() / "Library/Caches/com.example.editor/cache.db", 8192, 3);
    age(home() / "Library/Caches/com.example.editor", 3);
    oldFile(home() / "Library/Caches/com.example.notes/cache.db", 4096, 3);
    age(home() / "Library/Caches/com.example.notes", 3);
    state().smartScanAll();
    settle();
    auto agree = [this] {
        for (ModuleID module : {ModuleID::systemJunk, ModuleID::smartScan}) {
            EXPECT_EQ(state().totals(module), walked(state().report(module))) << Modules::rawValue(module);
        }
    };
    agree();
    const int64_t before = state().totals(ModuleID::smartScan).selectedBytes;
    const ScanItem* editor = itemNamed(ModuleID::systemJunk, "com.example.editor");
    ASSERT_TRUE(editor && editor->isSelected);
    const int64_t size = editor->size;
    state().toggle(editor->id, ModuleID::systemJunk);
    agree();
    EXPECT_EQ(state().totals(ModuleID::smartScan).selectedBytes, before - size);

    // What a cleaning removed leaves both, figures and all.
    state().clean(state().junk(), ModuleID::systemJunk, false);
    executor->runWork();
    executor->runPosts();
    agree();
    EXPECT_FALSE(fs::exists(home() / "Library/Caches/com.example.notes"));
    EXPECT_EQ(state().totals(ModuleID::smartScan).selectedBytes, 0);
    settle();
}

TEST_F(StateTest, ABannerClearsAfterItsTimeUnlessANewerOneTookItsPlace) {
    QSignalSpy changed(&state(), &AppState::bannerChanged);
    state().showBanner("First", false);
    const Uuid first = state().banner()->id;
    executor->advance(3000ms);
    state().showBanner("Second", true);
    EXPECT_NE(state().banner()->id, first);
    executor->advance(1500ms);  // the first one's time is up: the second stays
    executor->runPosts();
    ASSERT_TRUE(state().banner());
    EXPECT_EQ(state().banner()->text, "Second");
    EXPECT_TRUE(state().banner()->isError);
    EXPECT_EQ(changed.count(), 2);
    executor->advance(2999ms);
    executor->runPosts();
    EXPECT_TRUE(state().banner());
    executor->advance(1ms);
    executor->runPosts();
    EXPECT_FALSE(state().banner());
    EXPECT_EQ(changed.count(), 3);
}
