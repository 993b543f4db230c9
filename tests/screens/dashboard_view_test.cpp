// Smart Scan's dashboard and its review sheet against the real widgets, the
// manual executor and files in the test's home: the first-run card, the
// running scan, the figures of a finished one, ticks in the sheet that change
// only the Smart Scan report, and Clean removing exactly what it has ticked.
#include <QApplication>
#include <QLocale>
#include <QScrollBar>
#include <QWheelEvent>
#include <QTest>

#include "app/controls/buttons.h"
#include "app/controls/card_background.h"
#include "app/controls/checkbox.h"
#include "app/controls/empty_state_view.h"
#include "app/controls/list_column.h"
#include "app/controls/painters.h"
#include "app/controls/progress_ring.h"
#include "app/controls/results_delegate.h"
#include "app/controls/results_list.h"
#include "app/controls/stat_card.h"
#include "app/controls/focus_ring.h"
#include "app/controls/text_label.h"
#include "app/controls/theme.h"
#include "engine/byte_format.h"
#include "screen_test.h"
#include "screens/dashboard_view.h"
#include "screens/item_row.h"
#include "screens/review_sheet.h"
#include "screens/scan_screen.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

bool shown(const QWidget* widget, const QWidget* screen) { return widget && widget->isVisibleTo(screen); }

QString compact(int64_t bytes) { return QString::fromStdString(ByteFormat::compact(bytes)); }

}  // namespace

class DashboardViewTest : public ScreenTest {
protected:
    void oldFile(const fs::path& relative, int64_t bytes, int days) {
        allocateFile(home() / relative, bytes);
        const auto when = std::chrono::system_clock::now() - std::chrono::hours(24) * days;
        for (fs::path p = home() / relative; p != home(); p = p.parent_path()) setTimes(p, when);
    }
    // Junk and a Trash entry (safe, ticked), a Mail download and a browser trace (review).
    void sampleHome() {
        oldFile("Library/Caches/com.example.editor/cache.db", 64 * 1024, 3);
        oldFile("Library/Logs/com.example.editor/editor.log", 48 * 1024, 12);
        oldFile("Library/Mail Downloads/invoice.pdf", 8192, 40);
        oldFile(".Trash/old-draft.txt", 4096, 1);
        allocateFile(home() / "Library/Safari/History.db", 96 * 1024);
    }
    void processDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
};

TEST_F(DashboardViewTest, BeforeAnyScanItShowsTheDiskAndTheFirstRunCardAndStartsNothing) {
    DashboardView view(context());
    view.show();
    EXPECT_EQ(executor->queuedWork(), 0u);
    EXPECT_TRUE(shown(view.firstRun(), &view));
    EXPECT_FALSE(shown(view.statsRow(), &view));
    EXPECT_FALSE(shown(view.results(), &view));
    EXPECT_FALSE(shown(view.placeholder(), &view));
    EXPECT_EQ(view.headlineText(), "Your Mac at a glance");
    EXPECT_EQ(view.messageText(), "Run a scan and Vessiltane checks caches, logs, Trash, Mail, privacy traces and "
                                  "large files in one pass.");
    EXPECT_EQ(view.ringCaption(), "available");
    const auto& volume = state().volume();
    ASSERT_TRUE(volume);
    EXPECT_EQ(view.ringValue(), compact(volume->free));
    EXPECT_DOUBLE_EQ(view.ring()->progress(), double(volume->total - volume->free) / double(volume->total));
    EXPECT_TRUE(shown(view.scanButton(), &view));
    EXPECT_FALSE(shown(view.reviewButton(), &view));
    EXPECT_FALSE(shown(view.cleanButton(), &view));

    // The first-run card's action runs the Smart Scan.
    auto* empty = view.firstRun()->findChild<EmptyStateView*>();
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->actionButton()->text(), "Run Smart Scan");
    QTest::mouseClick(empty->actionButton(), Qt::LeftButton);
    EXPECT_EQ(state().activeScan(), ModuleID::smartScan);
    settle();
}

TEST_F(DashboardViewTest, WhileTheSmartScanRunsOnlyStopIsOfferedAndTheRingFollowsTheProgress) {
    DashboardView view(context());
    view.show();
    QTest::mouseClick(view.scanButton(), Qt::LeftButton);
    EXPECT_TRUE(DashboardView::smartScanning(state()));
    EXPECT_TRUE(shown(view.stopButton(), &view));
    for (QWidget* idle : std::initializer_list<QWidget*>{view.scanButton(), view.reviewButton(), view.cleanButton()})
        EXPECT_FALSE(shown(idle, &view));
    EXPECT_EQ(view.ringValue(), "0%");
    EXPECT_EQ(view.ringCaption(), "scanning");
    EXPECT_EQ(view.messageText(), "Starting\u2026");
    EXPECT_TRUE(shown(view.placeholder(), &view));
    EXPECT_FALSE(shown(view.firstRun(), &view));

    // 0.999 is not yet 100 %.
    state().makeProgress()(0.999, "Reading Mail\u2026");
    executor->runPosts();
    EXPECT_EQ(view.ringValue(), "99%");
    EXPECT_DOUBLE_EQ(view.ring()->progress(), 0.999);
    EXPECT_EQ(view.messageText(), "Reading Mail\u2026");

    // Stop returns the idle hero at once.
    const ScanTokenRef token = state().token();
    QTest::mouseClick(view.stopButton(), Qt::LeftButton);
    EXPECT_TRUE(token->isCancelled());
    EXPECT_FALSE(shown(view.stopButton(), &view));
    EXPECT_TRUE(shown(view.scanButton(), &view));
    EXPECT_EQ(view.ringCaption(), "available");
    settle();

    // Another module's scan is not the Smart Scan's.
    state().scanSystemJunk();
    EXPECT_FALSE(DashboardView::smartScanning(state()));
    EXPECT_TRUE(shown(view.scanButton(), &view));
    EXPECT_EQ(view.ringCaption(), "available");
    EXPECT_TRUE(shown(view.firstRun(), &view));
    QTest::mouseClick(view.scanButton(), Qt::LeftButton);  // replaces it
    EXPECT_EQ(state().activeScan(), ModuleID::smartScan);
    settle();
}

TEST_F(DashboardViewTest, AFinishedScanShowsItsFiguresAndTheFourModulesReports) {
    sampleHome();
    DashboardView view(context());
    view.show();
    state().smartScanAll();
    settle();
    const ScanReport& smart = state().smartScan();
    ASSERT_FALSE(smart.categories.empty());
    EXPECT_TRUE(shown(view.statsRow(), &view));
    EXPECT_TRUE(shown(view.results(), &view));
    EXPECT_FALSE(shown(view.firstRun(), &view));

    const int64_t selected = ScanScreen::selectedBytes(smart);
    const int64_t review = DashboardView::reviewSize(smart);
    ASSERT_GE(selected, 1);
    ASSERT_GE(review, 1);
    EXPECT_EQ(view.headlineText().toStdString(), ByteFormat::string(selected) + " ready to reclaim");
    EXPECT_EQ(view.cleanButton()->text(), "Clean " + compact(selected));
    EXPECT_EQ(view.reviewButton()->text(), "Review " + compact(review));
    const size_t reviewCount = DashboardView::reviewItems(smart).size();
    EXPECT_EQ(reviewCount, 2u);  // the Mail download and Safari's history
    EXPECT_EQ(view.messageText(), QStringLiteral("Found %1 items across %2 categories. %3 items need your review before "
                                                 "they can be cleaned.")
                                      .arg(smart.itemCount())
                                      .arg(smart.categories.size())
                                      .arg(reviewCount));

    struct Expected {
        const char* title;
        ModuleID module;
        const char* suffix;
    } expected[] = {{"System junk found", ModuleID::systemJunk, " items"},
                    {"Trash", ModuleID::trashBins, " items"},
                    {"Mail", ModuleID::mailAttachments, " attachments"},
                    {"Privacy", ModuleID::privacy, " traces"}};
    for (size_t i = 0; i < 4; ++i) {
        const ScanReport& report = state().report(expected[i].module);
        StatCard* card = view.stats()[i];
        EXPECT_EQ(card->findChild<TextLabel*>("title")->text(), expected[i].title);
        EXPECT_EQ(card->value().toStdString(), ByteFormat::string(report.totalSize()));
        EXPECT_EQ(card->caption(), QString::number(report.itemCount()) + expected[i].suffix);
        EXPECT_GE(report.itemCount(), 1) << expected[i].title;
    }

    // Ticking review items moves Clean, never Review; with nothing ticked Clean goes.
    state().setSelection(true, std::nullopt, ModuleID::smartScan);
    EXPECT_EQ(view.reviewButton()->text(), "Review " + compact(review));
    EXPECT_EQ(view.cleanButton()->text(), "Clean " + compact(ScanScreen::selectedBytes(state().smartScan())));
    state().setSelection(false, std::nullopt, ModuleID::smartScan);
    EXPECT_FALSE(shown(view.cleanButton(), &view));
    EXPECT_EQ(view.headlineText(), "Your Mac at a glance");
}

TEST_F(DashboardViewTest, TheWholeScreenScrollsAsOneColumnDownToItsLastCard) {
    sampleHome();
    oldFile("Library/Caches/com.example.viewer/thumbs.db", 32 * 1024, 3);
    state().smartScanAll();
    settle();
    ASSERT_GE(state().smartScan().categories.size(), 4u);
    // The screen at its smallest: the hero, the figures and the list do not fit.
    DashboardView view(context());
    view.resize(780, 560);
    view.show();
    render(view, view.size());
    ListColumn* column = view.column();
    QScrollBar* bar = column->scrollBar();
    ResultsList* list = view.results();
    auto top = [&](const QWidget* w) { return w->mapTo(column, QPoint(0, 0)).y(); };
    QWidget* hero = view.findChild<QWidget*>("hero");
    ASSERT_TRUE(hero);
    ASSERT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->maximum(), column->contentHeight() - column->height());
    EXPECT_EQ(top(hero), 20);
    EXPECT_EQ(top(list), top(view.statsRow()) + view.statsRow()->height() + 18);

    // The cards' right edges line up with the figures' above them.
    const QWidget* lastStat = view.stats()[3];
    EXPECT_EQ(lastStat->mapTo(column, QPoint(lastStat->width(), 0)).x(),
              list->viewport()->mapTo(column, QPoint(list->viewport()->width() - ResultsDelegate::kSideInset, 0)).x());

    // A wheel turn over the list scrolls the column: the hero goes first and
    // the list's own rows stay put until it has gone.
    const QPoint inList = list->viewport()->rect().center();
    QWheelEvent wheel(QPointF(inList), QPointF(list->viewport()->mapToGlobal(inList)), QPoint(), QPoint(0, -120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(list->viewport(), &wheel);
    EXPECT_GT(bar->value(), 0);
    EXPECT_LT(top(hero), 20);
    EXPECT_EQ(list->verticalScrollBar()->value(), 0);

    // With every card open, at its end the last card ends above the list's
    // inset, the hero long gone and the list scrolled through its own rows.
    for (int c = 0; c < list->model()->rowCount(); ++c) list->setCategoryExpanded(c, true);
    bar->setValue(bar->maximum());
    render(view, view.size());
    EXPECT_EQ(bar->maximum(), column->contentHeight() - column->height());
    const QModelIndex lastCategory = list->model()->index(list->model()->rowCount() - 1, 0);
    const QModelIndex lastRow = list->model()->index(list->model()->rowCount(lastCategory) - 1, 0, lastCategory);
    const QRect lastRect = list->visualRect(lastRow).translated(list->viewport()->mapTo(column, QPoint(0, 0)));
    EXPECT_EQ(lastRect.bottom() + 1, column->height());
    EXPECT_LT(top(hero) + hero->height(), 0);
    EXPECT_EQ(top(list), 0);
    EXPECT_GT(list->verticalScrollBar()->value(), 0);

    // Back at the top, a keyboard move to a row out of view brings it in.
    bar->setValue(0);
    list->setCurrentIndex(lastRow);
    const QRect moved = list->visualRect(lastRow).translated(list->viewport()->mapTo(column, QPoint(0, 0)));
    EXPECT_GE(moved.top(), 0);
    EXPECT_LE(moved.bottom(), column->height() - 1);
}

TEST_F(DashboardViewTest, TheRingRunsThroughThreeColoursFromTheTopLeadingCorner) {
    DashboardView view(context());
    const Painters::RingGradient& gradient = view.ring()->gradient();
    EXPECT_EQ(gradient.colours, (std::vector<QColor>{Theme::color(Theme::accentSoft), Theme::color(Theme::accent),
                                                     Theme::color(Theme::violet)}));
    EXPECT_EQ(gradient.run, Painters::RingGradient::Run::topLeadingToBottomTrailing);
    // Drawn full, the ring's top-leading part is the soft accent and its
    // bottom-trailing part the violet.
    view.ring()->setProgress(1);
    const QImage image = render(*view.ring(), view.ring()->size());
    const QRectF frame = view.ring()->frameRect();
    const double r = frame.width() / 2;
    const QPointF centre = frame.center();
    const QColor topLeading = pixel(image, centre + QPointF(-r * 0.7071, -r * 0.7071));
    const QColor bottomTrailing = pixel(image, centre + QPointF(r * 0.7071, r * 0.7071));
    EXPECT_TRUE(near(topLeading, Theme::color(Theme::accentSoft), 40)) << topLeading.name().toStdString();
    EXPECT_TRUE(near(bottomTrailing, Theme::color(Theme::violet), 40)) << bottomTrailing.name().toStdString();
}

TEST_F(DashboardViewTest, TheItemCountIsGroupedTheUsersWayAndReviewItemsOfNoBytesOfferNoReview) {
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    for (int i = 0; i < 1234; ++i) oldFile("Library/Caches/c" + std::to_string(i) + "/data", 4096, 3);
    // A Mail download of no bytes: an item for review that weighs nothing.
    oldFile("Library/Mail Downloads/empty.pdf", 0, 40);
    state().smartScanAll();
    settle();
    const AppState::ReportTotals& totals = state().totals(ModuleID::smartScan);
    ASSERT_EQ(totals.reviewItems, 1);
    ASSERT_EQ(totals.reviewBytes, 0);
    DashboardView view(context());
    EXPECT_EQ(view.messageText(), "Found 1,235 items across 2 categories. Nothing is removed until you press Clean.");
    EXPECT_EQ(view.stats()[0]->caption(), "1234 items");
    EXPECT_FALSE(shown(view.reviewButton(), &view));
    EXPECT_TRUE(shown(view.cleanButton(), &view));

    // Only the weightless item ticked: something is selected, nothing to reclaim, no Clean.
    state().setSelection(false, std::nullopt, ModuleID::smartScan);
    const ScanReport& report = state().smartScan();
    for (size_t k = 0; k < report.categories.size(); ++k)
        for (size_t i = 0; i < report.categories[k].items.size(); ++i)
            if (report.categories[k].items[i].safety == Safety::review) state().toggle(ModuleID::smartScan, k, i);
    ASSERT_EQ(state().totals(ModuleID::smartScan).selectedItems, 1);
    EXPECT_FALSE(shown(view.cleanButton(), &view));
    EXPECT_FALSE(shown(view.reviewButton(), &view));
    EXPECT_EQ(view.headlineText(), "Your Mac at a glance");
    QLocale::setDefault(before);
}

TEST_F(DashboardViewTest, TheReviewSheetTicksWhatTheUserTicksAndClearsOnlyReviewItems) {
    sampleHome();
    // A password manager's cache: listed, protected, nothing for the sheet.
    oldFile("Library/Caches/com.1password.helper/cache.db", 16 * 1024, 3);
    state().smartScanAll();
    settle();
    int protectedItems = 0;
    for (const ScanCategory& category : state().smartScan().categories)
        for (const ScanItem& item : category.items) protectedItems += item.safety == Safety::protected_ ? 1 : 0;
    ASSERT_GE(protectedItems, 1);
    DashboardView view(context());
    view.show();
    QTest::mouseClick(view.reviewButton(), Qt::LeftButton);
    ASSERT_EQ(sheets.size(), 1u);
    auto* sheet = qobject_cast<ReviewSheet*>(sheets[0].data());
    ASSERT_TRUE(sheet);
    EXPECT_EQ(view.reviewSheet(), sheet);
    EXPECT_FALSE(sheet->showsNothingToReview());

    // One card per category holding review items, its size all of them; no
    // safe or protected item among them.
    const std::vector<ScanCategory> reviewed = ReviewSheet::categories(state().smartScan());
    ASSERT_EQ(reviewed.size(), 2u);
    for (const ScanCategory& category : reviewed)
        for (const ScanItem& item : category.items) EXPECT_EQ(item.safety, Safety::review) << item.name;
    for (const ScanCategory& category : reviewed) {
        auto* card = sheet->findChild<CardBackground*>(QString::fromStdString(category.id));
        ASSERT_TRUE(card) << category.id;
        int64_t bytes = 0;
        for (const ScanItem& item : category.items) bytes += item.size;
        EXPECT_EQ(card->findChild<TextLabel*>("size")->text().toStdString(), ByteFormat::string(bytes));
    }
    ASSERT_EQ(sheet->rows().size(), 2u);
    EXPECT_EQ(sheet->selectionLine(), "0 selected \u00b7 0 KB");
    EXPECT_FALSE(shown(sheet->clearButton(), sheet));

    // A tick in the sheet.
    const QString cleanBefore = view.cleanButton()->text();
    ItemRow* mailRow = nullptr;
    for (ItemRow* row : sheet->rows())
        if (reviewed[0].items[0].id == row->itemID()) mailRow = row;
    ASSERT_TRUE(mailRow);
    QTest::mouseClick(mailRow->checkbox(), Qt::LeftButton);
    EXPECT_TRUE(mailRow->checkbox()->isOn());
    const ScanItem& ticked = reviewed[0].items[0];
    EXPECT_EQ(sheet->selectionLine().toStdString(), "1 selected \u00b7 " + ByteFormat::string(ticked.size));
    EXPECT_TRUE(shown(sheet->clearButton(), sheet));
    EXPECT_NE(view.cleanButton()->text(), cleanBefore);
    // The user's tick holds for that file in Mail's own report too, and for nothing else.
    for (ModuleID module : {ModuleID::mailAttachments, ModuleID::privacy})
        for (const ScanCategory& category : state().report(module).categories)
            for (const ScanItem& item : category.items) EXPECT_EQ(item.isSelected, item.url == ticked.url) << item.name;

    // Clear selection unticks the review items only: the safe ones stay ticked.
    const int64_t safeBytes = ScanScreen::selectedBytes(state().smartScan()) - ticked.size;
    QTest::mouseClick(sheet->clearButton(), Qt::LeftButton);
    EXPECT_EQ(sheet->selectionLine(), "0 selected \u00b7 0 KB");
    EXPECT_FALSE(shown(sheet->clearButton(), sheet));
    EXPECT_EQ(ScanScreen::selectedBytes(state().smartScan()), safeBytes);
    EXPECT_EQ(view.cleanButton()->text(), cleanBefore);

    // Done closes it and leaves the selection as it is.
    QTest::mouseClick(mailRow->checkbox(), Qt::LeftButton);
    QTest::mouseClick(sheet->doneButton(), Qt::LeftButton);
    processDeletes();
    EXPECT_FALSE(sheets[0]);
    EXPECT_FALSE(view.reviewSheet());
    EXPECT_EQ(ScanScreen::selectedBytes(state().smartScan()), safeBytes + ticked.size);
}

TEST_F(DashboardViewTest, AReportWithoutReviewItemsShowsNothingToReviewAndTheCloseButtonCloses) {
    oldFile("Library/Caches/com.example.editor/cache.db", 64 * 1024, 3);
    state().smartScanAll();
    settle();
    auto* sheet = new ReviewSheet(state(), ModuleID::smartScan);
    QPointer<ReviewSheet> alive(sheet);
    context().presentSheet(sheet);
    EXPECT_TRUE(sheet->showsNothingToReview());
    EXPECT_TRUE(sheet->rows().empty());
    EXPECT_EQ(sheet->selectionLine(), "0 selected \u00b7 0 KB");
    EXPECT_FALSE(shown(sheet->clearButton(), sheet));
    EXPECT_EQ(sheet->closeButton()->accessibleName(), "Close review");
    QTest::mouseClick(sheet->closeButton(), Qt::LeftButton);
    processDeletes();
    EXPECT_FALSE(alive);
}

TEST_F(DashboardViewTest, TheReviewSheetClosesWithEscapeAndWithReturnOnDone) {
    oldFile("Library/Caches/com.example.editor/cache.db", 64 * 1024, 3);
    state().smartScanAll();
    settle();
    for (Qt::Key key : {Qt::Key_Escape, Qt::Key_Return}) {
        auto* sheet = new ReviewSheet(state(), ModuleID::smartScan);
        QPointer<ReviewSheet> alive(sheet);
        context().presentSheet(sheet);
        // From a control inside the sheet: the key comes up to the sheet.
        QTest::keyClick(sheet->clearButton(), key);
        processDeletes();
        EXPECT_FALSE(alive) << key;
    }
}

TEST_F(DashboardViewTest, CleanDeletesExactlyWhatTheSmartScanReportHasTicked) {
    sampleHome();
    state().smartScanAll();
    settle();
    DashboardView view(context());
    view.show();
    // Untick the logs, tick the Mail download (which Smart Scan moves to the Trash).
    state().setSelection(false, "junk.user-logs", ModuleID::smartScan);
    const std::vector<ScanCategory> reviewed = ReviewSheet::categories(state().smartScan());
    for (const ScanCategory& category : reviewed)
        if (category.id.rfind("mail.", 0) == 0) state().toggle(category.items[0].id, ModuleID::smartScan);
    QTest::mouseClick(view.cleanButton(), Qt::LeftButton);
    settle();

    EXPECT_FALSE(fs::exists(home() / "Library/Caches/com.example.editor"));
    EXPECT_TRUE(fs::exists(home() / "Library/Logs/com.example.editor/editor.log"));
    EXPECT_FALSE(fs::exists(home() / "Library/Mail Downloads/invoice.pdf"));
    EXPECT_TRUE(fs::exists(home() / ".Trash/invoice.pdf"));
    EXPECT_FALSE(fs::exists(home() / ".Trash/old-draft.txt"));
    EXPECT_TRUE(fs::exists(home() / "Library/Safari/History.db"));
    ASSERT_TRUE(state().lastCleanup());
    EXPECT_EQ(state().lastCleanup()->title, "Smart Scan");
    EXPECT_EQ(state().lastCleanup()->removedCount, 3);
    // The dashboard scanned again and shows the fresh report.
    EXPECT_EQ(state().module(), ModuleID::smartScan);
    EXPECT_EQ(view.cleanButton()->text(), "Clean " + compact(ScanScreen::selectedBytes(state().smartScan())));
}

TEST_F(DashboardViewTest, TheHerosFocusGoesFromScanToStopAndBackAsTheScanRuns) {
    sampleHome();
    DashboardView view(context());
    view.resize(900, 700);
    view.show();
    view.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
    // As Tab brings it (the window's activation may have given it already).
    view.scanButton()->clearFocus();
    view.scanButton()->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(FocusRing::fromKeyboard(view.scanButton()));
    QTest::keyClick(view.scanButton(), Qt::Key_Space);
    ASSERT_TRUE(DashboardView::smartScanning(state()));
    EXPECT_EQ(QApplication::focusWidget(), view.stopButton());
    EXPECT_TRUE(FocusRing::fromKeyboard(view.stopButton()));
    settle();
    QCoreApplication::processEvents();
    ASSERT_FALSE(DashboardView::smartScanning(state()));
    EXPECT_EQ(QApplication::focusWidget(), view.scanButton());
    EXPECT_TRUE(FocusRing::fromKeyboard(view.scanButton()));
}
