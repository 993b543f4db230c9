// Smart Scan from the home screen of the real application on a sample home:
// review, untick a category, Clean; the disk, the summary sheet and the
// history agree with what was ticked, and the dashboard scans again.
#include <QMainWindow>
#include <QTest>
#include <set>

#include "app/controls/buttons.h"
#include "app/controls/results_delegate.h"
#include "app/controls/results_list.h"
#include "app/controls/results_model.h"
#include "app/shell/cleanup_summary_view.h"
#include "app/shell/content_view.h"
#include "app/shell/detail_router.h"
#include "engine/byte_format.h"
#include "engine/clean_history.h"
#include "screens/dashboard_view.h"
#include "screens/review_sheet.h"
#include "screens/scan_screen.h"
#include "support/window/journey.h"

namespace fs = std::filesystem;

namespace {

QString compact(int64_t bytes) { return QString::fromStdString(ByteFormat::compact(bytes)); }

// Clicks the painted checkbox of a category card of a result list.
void clickCategory(ResultsList& list, int category) {
    const QModelIndex index = list.resultsModel()->index(category, 0);
    list.scrollTo(index);
    const QRect row = list.visualRect(index);
    const QPointF box = list.resultsDelegate()->checkboxRect(row, index).center();
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, box.toPoint());
}

}  // namespace

using SmartScanJourney = JourneyTest;

TEST_F(SmartScanJourney, ReviewUntickACategoryAndCleanRemovesExactlyWhatIsTicked) {
    VessiltaneApp& app = start();
    click("Scan");
    ASSERT_TRUE(waitFor([&] { return !state().progress().isRunning && !state().smartScan().categories.empty(); }));
    auto* dashboard = qobject_cast<DashboardView*>(app.content()->router()->screen());
    ASSERT_TRUE(dashboard);

    // The review sheet: tick the Mail download, then close the sheet.
    click("Review " + compact(DashboardView::reviewSize(state().smartScan())));
    ASSERT_TRUE(waitForWidget("Review before cleaning", 5000));
    const std::vector<ScanCategory> review = ReviewSheet::categories(state().smartScan());
    const ScanItem* invoice = nullptr;
    for (const ScanCategory& category : review)
        for (const ScanItem& item : category.items)
            if (item.name == "7F1E" || item.name == "invoice.pdf") invoice = &item;
    ASSERT_TRUE(invoice) << "the sample home's Mail download is not a review item";
    const fs::path invoicePath = invoice->url;
    click(ResultsText::itemLabel(*invoice));
    click("Done");
    ASSERT_TRUE(waitFor([&] { return find("Review before cleaning") == nullptr; }, 5000));

    // Untick the logs' card on the dashboard.
    const ScanReport& smart = state().smartScan();
    int logs = -1;
    for (size_t c = 0; c < smart.categories.size(); ++c)
        if (smart.categories[c].id == "junk.user-logs") logs = int(c);
    ASSERT_GE(logs, 0);
    ASSERT_GT(smart.categories[size_t(logs)].selectedCount(), 0);
    clickCategory(*dashboard->results(), logs);
    ASSERT_EQ(state().smartScan().categories[size_t(logs)].selectedCount(), 0);

    std::set<fs::path> ticked, unticked;
    for (const ScanCategory& category : state().smartScan().categories)
        for (const ScanItem& item : category.items) (item.isSelected ? ticked : unticked).insert(item.url);
    ASSERT_TRUE(ticked.count(invoicePath));
    ASSERT_FALSE(unticked.empty());
    const int64_t bytes = ScanScreen::selectedBytes(state().smartScan());

    click("Clean " + compact(bytes));
    ASSERT_TRUE(waitFor([&] { return state().lastCleanup().has_value(); }));
    const CleanupSummary summary = *state().lastCleanup();
    // The dashboard scans again at once.
    EXPECT_EQ(state().module(), ModuleID::smartScan);
    EXPECT_EQ(state().activeScan(), ModuleID::smartScan);

    for (const fs::path& path : ticked) EXPECT_FALSE(fs::exists(fs::symlink_status(path))) << path;
    for (const fs::path& path : unticked) EXPECT_TRUE(fs::exists(fs::symlink_status(path))) << path;
    EXPECT_EQ(summary.removedCount, int64_t(ticked.size()));
    EXPECT_TRUE(summary.failures.empty());

    // The summary sheet shows those figures.
    ASSERT_TRUE(waitFor([&] { return app.content()->summaryView() != nullptr; }, 5000));
    EXPECT_TRUE(find(SummaryText::reclaimedFrom(summary.removedCount)));
    EXPECT_TRUE(find(ResultsText::size(summary.reclaimed)));
    EXPECT_GE(summary.reclaimed, 1);

    // The history holds the window's record.
    const std::string history = testing_support::readFile(CleanHistory::logURL());
    EXPECT_NE(history.find("\"source\":\"gui\""), std::string::npos) << history;

    ASSERT_TRUE(waitFor([&] { return !state().progress().isRunning; }));
    for (const ScanCategory& category : state().smartScan().categories)
        for (const ScanItem& item : category.items) EXPECT_FALSE(ticked.count(item.url)) << item.url;
    click("Done");
    EXPECT_TRUE(waitFor([&] { return !state().lastCleanup(); }, 5000));
}
