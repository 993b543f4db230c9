// System Junk in the real application on a sample home: Stop during the scan
// keeps what it found; Remove leaves a protected item and an item put on the
// ignore list after the scan untouched, even when they are ticked.
#include <QTest>

#include "app/controls/buttons.h"
#include "app/controls/results_list.h"
#include "app/shell/content_view.h"
#include "app/shell/detail_router.h"
#include "engine/byte_format.h"
#include "engine/ignores.h"
#include "screens/junk_module_view.h"
#include "screens/scan_screen.h"
#include "support/window/journey.h"

namespace fs = std::filesystem;

using SystemJunkJourney = JourneyTest;

TEST_F(SystemJunkJourney, StopKeepsThePartialReportAndRemoveSparesProtectedAndIgnoredItems) {
    // A protected cache (a password manager's), old enough to be listed.
    const fs::path vault = home() / "Library/Caches/com.1password.helper";
    testing_support::writeFile(vault / "index.db", std::string(40000, 'v'));
    const auto old = std::chrono::system_clock::now() - std::chrono::hours(24 * 5);
    testing_support::setTimes(vault / "index.db", old);
    testing_support::setTimes(vault, old);

    VessiltaneApp& app = start();
    state().setModule(ModuleID::systemJunk);
    auto* screen = qobject_cast<JunkModuleView*>(app.content()->router()->screen());
    ASSERT_TRUE(screen);
    // The first visit scans; Stop ends the scan state at once.
    ASSERT_TRUE(screen->isScanning());
    const ScanTokenRef token = state().token();
    click("Stop");
    EXPECT_TRUE(token->isCancelled());
    EXPECT_FALSE(screen->isScanning());
    EXPECT_FALSE(find("Stop"));
    // What the stopped scan gathered is stored and shown.
    ASSERT_TRUE(waitFor([&] { return state().hasReport(ModuleID::systemJunk); }));
    const bool listed = !state().junk().categories.empty();
    EXPECT_EQ(screen->results()->isVisible(), listed);
    EXPECT_EQ(screen->emptyColumn()->isVisible(), !listed);

    click(listed ? "Rescan" : "Scan");
    ASSERT_TRUE(waitFor([&] { return !screen->isScanning() && !state().junk().categories.empty(); }));

    // Tick the protected item through the state (the list will not) and put
    // a ticked cache on the ignore list while it is in view.
    const fs::path editor = home() / "Library/Caches/com.example.editor";
    const ScanItem* protectedItem = nullptr;
    const ScanItem* ignoredItem = nullptr;
    for (const ScanCategory& category : state().junk().categories)
        for (const ScanItem& item : category.items) {
            if (item.url == vault) protectedItem = &item;
            if (item.url == editor) ignoredItem = &item;
        }
    ASSERT_TRUE(protectedItem);
    ASSERT_TRUE(ignoredItem);
    EXPECT_EQ(protectedItem->safety, Safety::protected_);
    EXPECT_FALSE(protectedItem->isSelected);
    ASSERT_TRUE(ignoredItem->isSelected);
    state().toggle(protectedItem->id, ModuleID::systemJunk);
    ASSERT_EQ(Ignores::add(editor.string()), Ignores::Edit::changed);

    click("Remove " + QString::fromStdString(ByteFormat::compact(ScanScreen::selectedBytes(state().junk()))));
    ASSERT_TRUE(waitFor([&] { return state().lastCleanup().has_value(); }));
    EXPECT_TRUE(fs::exists(vault / "index.db"));
    EXPECT_TRUE(fs::exists(editor / "Cache.db"));
    EXPECT_FALSE(fs::exists(home() / "Library/Logs/com.example.editor"));  // ticked and neither
    EXPECT_GE(state().lastCleanup()->failures.size(), 2u);
    ASSERT_TRUE(waitFor([&] { return !state().progress().isRunning; }));
}
