// A selection is the user's across screens, in the real application on a
// sample home: a log folder unticked in System Junk survives the dashboard's
// Clean, the dashboard lets go of what System Junk removed, and the history
// holds each removed byte once.
#include <QTest>
#include <map>

#include "app/controls/results_delegate.h"
#include "app/controls/results_list.h"
#include "app/controls/results_model.h"
#include "app/shell/content_view.h"
#include "app/shell/detail_router.h"
#include "app/shell/sidebar_view.h"
#include "engine/byte_format.h"
#include "engine/clean_history.h"
#include "screens/dashboard_view.h"
#include "screens/junk_module_view.h"
#include "screens/scan_screen.h"
#include "support/window/journey.h"

namespace fs = std::filesystem;

namespace {

QString compact(int64_t bytes) { return QString::fromStdString(ByteFormat::compact(bytes)); }

void clickAt(ResultsList& list, const QModelIndex& index, QRectF (ResultsDelegate::*where)(const QRect&, const QModelIndex&) const) {
    list.scrollTo(index);
    const QPointF point = (list.resultsDelegate()->*where)(list.visualRect(index), index).center();
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, point.toPoint());
}

// The ticked items of a report, by path, with their sizes.
std::map<fs::path, int64_t> tickedItems(const ScanReport& report) {
    std::map<fs::path, int64_t> ticked;
    for (const auto& category : report.categories)
        for (const auto& item : category.items)
            if (item.isSelected) ticked.emplace(item.url, item.size);
    return ticked;
}

// Of those, the ones no longer on disk, and their bytes.
std::pair<int64_t, int64_t> goneFromDisk(const std::map<fs::path, int64_t>& items) {
    int64_t count = 0, bytes = 0;
    for (const auto& [path, size] : items)
        if (!fs::exists(fs::symlink_status(path))) {
            ++count;
            bytes += size;
        }
    return {count, bytes};
}

// Clicks the module's row in the sidebar.
void openModule(VessiltaneApp& app, ModuleID module) {
    for (SidebarRow* row : app.content()->findChildren<SidebarRow*>())
        if (row->module() == module) {
            QTest::mouseClick(row, Qt::LeftButton);
            return;
        }
    FAIL() << "no sidebar row for " << Modules::rawValue(module);
}

const ScanItem* listed(const ScanReport& report, const fs::path& path) {
    for (const auto& category : report.categories)
        for (const auto& item : category.items)
            if (item.url == path) return &item;
    return nullptr;
}

}  // namespace

class SelectionAcrossScreensJourney : public JourneyTest {
protected:
    // Opens the item's card with its disclosure button, then clicks the item's checkbox.
    void clickItem(ResultsList& list, const fs::path& path) {
        ResultsModel& model = *list.resultsModel();
        for (int c = 0; c < model.rowCount(); ++c) {
            const auto& items = model.categories()[size_t(c)].items;
            for (size_t i = 0; i < items.size(); ++i) {
                if (items[i].url != path) continue;
                const QModelIndex card = model.index(c, 0);
                if (!list.isExpanded(card)) clickAt(list, card, &ResultsDelegate::expandButtonRect);
                ASSERT_TRUE(waitFor([&] { return list.isExpanded(card) && !list.isCardMoving(c); }, 5000));
                clickAt(list, model.index(int(i), 0, card), &ResultsDelegate::checkboxRect);
                return;
            }
        }
        FAIL() << "no row for " << path;
    }
};

TEST_F(SelectionAcrossScreensJourney, ALogFolderUntickedInSystemJunkSurvivesTheDashboardsClean) {
    const fs::path log = home() / "Library/Logs/com.example.editor";
    ASSERT_TRUE(fs::exists(log));
    VessiltaneApp& app = start();

    // The dashboard's Smart Scan first, so its report is there to clean later.
    click("Scan");
    ASSERT_TRUE(waitFor([&] { return !state().progress().isRunning && !state().smartScan().categories.empty(); }));
    ASSERT_TRUE(listed(state().smartScan(), log) && listed(state().smartScan(), log)->isSelected);

    // System Junk from the sidebar, scanned by its own Rescan.
    openModule(app, ModuleID::systemJunk);
    auto* junk = qobject_cast<JunkModuleView*>(app.content()->router()->screen());
    ASSERT_TRUE(junk);
    click("Rescan");
    ASSERT_TRUE(waitFor([&] { return !state().progress().isRunning && listed(state().junk(), log); }));

    // Untick the log folder, then Remove.
    clickItem(*junk->results(), log);
    ASSERT_FALSE(listed(state().junk(), log)->isSelected);
    // The dashboard's copy follows at once.
    EXPECT_FALSE(listed(state().smartScan(), log)->isSelected);
    const std::map<fs::path, int64_t> junkTicked = tickedItems(state().junk());
    ASSERT_FALSE(junkTicked.empty());
    click("Remove " + compact(ScanScreen::selectedBytes(state().junk())));
    ASSERT_TRUE(waitFor([&] { return state().lastCleanup().has_value(); }));
    EXPECT_TRUE(fs::exists(log));
    const auto [junkCount, junkBytes] = goneFromDisk(junkTicked);
    EXPECT_GE(junkCount, 1);
    EXPECT_EQ(state().lastCleanup()->removedCount, junkCount);
    EXPECT_EQ(state().lastCleanup()->reclaimed, junkBytes);
    click("Done");
    ASSERT_TRUE(waitFor([&] { return !state().lastCleanup() && !state().progress().isRunning; }));

    // The dashboard: what System Junk removed is gone from it, the folder is
    // still listed and still unticked, and Clean offers only what is left.
    openModule(app, ModuleID::smartScan);
    auto* dashboard = qobject_cast<DashboardView*>(app.content()->router()->screen());
    ASSERT_TRUE(dashboard);
    for (const auto& [path, size] : junkTicked)
        if (!fs::exists(fs::symlink_status(path))) {
            EXPECT_FALSE(listed(state().smartScan(), path)) << path;
        }
    ASSERT_TRUE(listed(state().smartScan(), log));
    EXPECT_FALSE(listed(state().smartScan(), log)->isSelected);
    const std::map<fs::path, int64_t> smartTicked = tickedItems(state().smartScan());
    ASSERT_FALSE(smartTicked.empty());
    for (const auto& [path, size] : smartTicked) ASSERT_TRUE(fs::exists(fs::symlink_status(path))) << path;
    EXPECT_EQ(dashboard->headlineText(), ResultsText::size(ScanScreen::selectedBytes(state().smartScan())) +
                                             QStringLiteral(" ready to reclaim"));

    click("Clean " + compact(ScanScreen::selectedBytes(state().smartScan())));
    ASSERT_TRUE(waitFor([&] { return state().lastCleanup().has_value(); }));
    EXPECT_TRUE(fs::exists(log / "editor-2026-01.log"));
    const auto [smartCount, smartBytes] = goneFromDisk(smartTicked);
    EXPECT_GE(smartCount, 1);
    click("Done");
    ASSERT_TRUE(waitFor([&] { return !state().lastCleanup() && !state().progress().isRunning; }));

    // The history: each cleaning with exactly the bytes it removed.
    const auto history = CleanHistory::recent(10);
    ASSERT_EQ(history.size(), 2u);
    EXPECT_EQ(history[0].modules, std::vector<std::string>{"smartScan"});
    EXPECT_EQ(history[0].reclaimedBytes, smartBytes);
    EXPECT_EQ(history[0].removedCount, smartCount);
    EXPECT_EQ(history[1].modules, std::vector<std::string>{"systemJunk"});
    EXPECT_EQ(history[1].reclaimedBytes, junkBytes);
    EXPECT_EQ(history[1].removedCount, junkCount);
    // After the dashboard's own rescan the folder is still listed, still unticked.
    ASSERT_TRUE(listed(state().smartScan(), log));
    EXPECT_FALSE(listed(state().smartScan(), log)->isSelected);
}
