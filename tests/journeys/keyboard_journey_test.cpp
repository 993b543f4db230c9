// The window by keyboard alone, in the real window on the virtual display:
// Tab rings the control it reaches and changes nothing else on screen; the
// arrows move the sidebar after a click; Space ticks and presses what has the
// focus; Return presses a sheet's Done and Escape closes the review sheet,
// the settings window and a confirmation (which then does nothing).
#include <QApplication>
#include <QMainWindow>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>
#include <QTest>
#include <QWindow>

#include "app/controls/buttons.h"
#include "app/controls/focus_ring.h"
#include "app/controls/pop_up_picker.h"
#include "app/controls/results_list.h"
#include "app/controls/tab_view.h"
#include "app/shell/cleanup_summary_view.h"
#include "app/shell/content_view.h"
#include "app/shell/detail_router.h"
#include "app/shell/sidebar_view.h"
#include "screens/dashboard_view.h"
#include "screens/junk_module_view.h"
#include "modules/system/schedule.h"
#include "platform/atomic_file.h"
#include "platform/plist.h"
#include "screens/review_sheet.h"
#include "screens/schedule_tab.h"
#include "screens/shredder_view.h"
#include "support/window/journey.h"

namespace fs = std::filesystem;

namespace {

// What the display shows of the window now, as its pixels.
QImage onScreen(QWidget* window) {
    QApplication::processEvents();
    return window->screen()->grabWindow(window->winId()).toImage().convertToFormat(QImage::Format_RGB32);
}

// The smallest rectangle holding every pixel that differs (in device pixels).
QRect changed(const QImage& before, const QImage& after) {
    QRect out;
    for (int y = 0; y < std::min(before.height(), after.height()); ++y) {
        const auto* a = reinterpret_cast<const QRgb*>(before.constScanLine(y));
        const auto* b = reinterpret_cast<const QRgb*>(after.constScanLine(y));
        for (int x = 0; x < std::min(before.width(), after.width()); ++x)
            if (a[x] != b[x]) out |= QRect(x, y, 1, 1);
    }
    return out;
}

// Presses the key where the focus is (the window when nothing in it has it).
void press(QWidget* window, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWidget* focus = QApplication::focusWidget();
    QTest::keyClick(focus ? focus : window, key, modifiers);
    QApplication::processEvents();
}

// Tabs until the widget has the focus; false when a round of the window did not reach it.
bool tabTo(QWidget* window, QWidget* target) {
    for (int i = 0; i < 60 && QApplication::focusWidget() != target; ++i) press(window, Qt::Key_Tab);
    return QApplication::focusWidget() == target;
}

}  // namespace

class KeyboardJourney : public JourneyTest {
protected:
    VessiltaneApp& app() { return *session().app; }
    QMainWindow* open() {
        VessiltaneApp& app = start();
        QMainWindow* window = app.mainWindow();
        window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window, 10000));
        return window;
    }
    // Gives the next message box the key, once it shows.
    static void pressInNextMessageBox(Qt::Key key) {
        onNextMessageBox([key](QMessageBox& box) {
            QTest::keyClick(&box, key);
            return true;
        });
    }
};

TEST_F(KeyboardJourney, TabRingsTheControlItReachesAndChangesNothingElseOnScreen) {
    QMainWindow* window = open();
    ASSERT_TRUE(waitFor([&] { return !state().progress().isRunning; }));
    waitFor([] { return false; }, 600);  // the disk ring's first motion ends
    const QImage before = onScreen(window);
    press(window, Qt::Key_Tab);
    QWidget* focused = QApplication::focusWidget();
    ASSERT_TRUE(focused);
    EXPECT_TRUE(FocusRing::fromKeyboard(focused));
    ASSERT_TRUE(waitFor([&] { return FocusRing::overlayOf(window) != nullptr; }, 2000));
    waitFor([] { return false; }, 200);
    const QImage after = onScreen(window);
    const QRect diff = changed(before, after);
    ASSERT_FALSE(diff.isEmpty()) << "Tab left the window pixel for pixel as it was";
    // Only the ring changed: everything that differs lies just around the control.
    const double ratio = window->devicePixelRatioF();
    const int outset = int(FocusRing::kGap + FocusRing::kWidth) + 2;
    const QRect control(focused->mapTo(window, QPoint(0, 0)), focused->size());
    const QRect around(QPoint(int((control.left() - outset) * ratio), int((control.top() - outset) * ratio)),
                       QPoint(int((control.right() + outset) * ratio), int((control.bottom() + outset) * ratio)));
    EXPECT_TRUE(around.contains(diff)) << "changed " << diff.x() << "," << diff.y() << " " << diff.width() << "x"
                                       << diff.height() << " outside the control at " << around.x() << ","
                                       << around.y() << " " << around.width() << "x" << around.height();
    // The ring itself is drawn in the accent colour (blue over the light window).
    bool accent = false;
    for (int x = diff.left(); x <= diff.right() && !accent; ++x)
        for (int y = diff.top(); y <= diff.bottom() && !accent; ++y) {
            const QColor c = after.pixelColor(x, y);
            accent = c.blue() > 200 && c.red() < 160;
        }
    EXPECT_TRUE(accent);

    // A click gives focus without a ring.
    SidebarView* sidebar = app().content()->sidebar();
    QTest::mouseClick(sidebar->rows()[1], Qt::LeftButton);
    QApplication::processEvents();
    EXPECT_TRUE(sidebar->hasFocus());
    EXPECT_FALSE(FocusRing::fromKeyboard(sidebar));
    EXPECT_EQ(FocusRing::overlayOf(window), nullptr);
}

TEST_F(KeyboardJourney, AfterAClickOnASidebarRowDownShowsTheNextModule) {
    QMainWindow* window = open();
    SidebarView* sidebar = app().content()->sidebar();
    SidebarRow* trash = nullptr;
    for (SidebarRow* row : sidebar->rows())
        if (row->module() == ModuleID::trashBins) trash = row;
    ASSERT_TRUE(trash);
    QTest::mouseClick(trash, Qt::LeftButton);
    EXPECT_EQ(state().module(), ModuleID::trashBins);
    const QWidget* shown = app().content()->router()->screen();
    press(window, Qt::Key_Down);
    EXPECT_EQ(state().module(), ModuleID::photos);
    EXPECT_NE(app().content()->router()->screen(), shown);
    EXPECT_EQ(window->windowTitle(), "Photos Junk");
    press(window, Qt::Key_Up);
    press(window, Qt::Key_Up);
    EXPECT_EQ(state().module(), ModuleID::mailAttachments);
    EXPECT_TRUE(FocusRing::fromKeyboard(sidebar));
}

TEST_F(KeyboardJourney, SpaceUnticksTheFocusedCategoryAndPressesRemoveAndReturnPressesDone) {
    QMainWindow* window = open();
    state().setModule(ModuleID::systemJunk);
    auto* screen = qobject_cast<JunkModuleView*>(app().content()->router()->screen());
    ASSERT_TRUE(screen);
    ASSERT_TRUE(waitFor([&] { return !screen->isScanning() && !state().junk().categories.empty(); }));
    ASSERT_TRUE(tabTo(window, screen->results()));
    // The first card's checkbox: the list rings its current row, Space unticks it.
    const ScanCategory& first = state().junk().categories.front();
    const std::string firstID = first.id;
    ASSERT_TRUE(std::any_of(first.items.begin(), first.items.end(), [](const ScanItem& i) { return i.isSelected; }));
    press(window, Qt::Key_Space);
    for (const ScanCategory& category : state().junk().categories) {
        if (category.id != firstID) continue;
        for (const ScanItem& item : category.items) {
            EXPECT_FALSE(item.isSelected) << item.name;
        }
    }
    // Right opens the card, Left closes it again.
    press(window, Qt::Key_Right);
    EXPECT_TRUE(screen->results()->isCategoryExpanded(0) || first.items.size() < 2);
    press(window, Qt::Key_Left);
    EXPECT_FALSE(screen->results()->isCategoryExpanded(0));

    // Shift+Tab goes back up to Remove; Space presses it.
    ASSERT_TRUE(screen->removeButton()->isEnabled());
    press(window, Qt::Key_Backtab, Qt::ShiftModifier);
    ASSERT_EQ(QApplication::focusWidget(), screen->removeButton());
    press(window, Qt::Key_Space);
    ASSERT_TRUE(waitFor([&] { return state().lastCleanup().has_value(); }));
    ASSERT_TRUE(waitFor([&] { return app().content()->summaryView() != nullptr; }));
    CleanupSummaryView* summary = app().content()->summaryView();
    ASSERT_TRUE(summary->isVisible());
    // The sheet has the focus; Return presses Done.
    EXPECT_TRUE(summary->isAncestorOf(QApplication::focusWidget()) || summary->hasFocus());
    press(window, Qt::Key_Return);
    EXPECT_FALSE(state().lastCleanup().has_value());
    EXPECT_TRUE(waitFor([&] { return app().content()->summaryView() == nullptr; }, 2000));
    // The focus comes back to the screen (Remove, or its first control once
    // Remove has gone), ringed, so the next Tab goes on from there.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QWidget* back = QApplication::focusWidget();
    ASSERT_TRUE(back);
    EXPECT_TRUE(app().content()->router()->isAncestorOf(back)) << back->metaObject()->className();
    EXPECT_TRUE(FocusRing::fromKeyboard(back));
    ASSERT_TRUE(waitFor([&] { return !state().progress().isRunning; }));
}

TEST_F(KeyboardJourney, EscapeClosesTheReviewSheetAndTheSettingsWindowThatCtrlCommaOpened) {
    // A daily job on disk, so the settings window's hour picker can be used.
    fs::create_directories(Schedule::plistURL().parent_path());
    ASSERT_TRUE(AtomicFile::write(Schedule::plistURL(),
                                  Plist::toXml(Schedule::makePlist(6, {ModuleID::trashBins}, "/usr/bin/vessiltane"))));
    QMainWindow* window = open();
    state().setModule(ModuleID::smartScan);
    state().smartScanAll();
    ASSERT_TRUE(waitFor([&] { return !state().progress().isRunning && state().hasReport(ModuleID::smartScan); }));
    auto* dashboard = qobject_cast<DashboardView*>(app().content()->router()->screen());
    ASSERT_TRUE(dashboard);
    ASSERT_TRUE(waitFor([&] { return dashboard->reviewButton()->isVisible(); }, 5000));
    ASSERT_TRUE(tabTo(window, dashboard->reviewButton()));
    press(window, Qt::Key_Space);
    ASSERT_TRUE(waitFor([&] { return dashboard->reviewSheet() && dashboard->reviewSheet()->isVisible(); }, 5000));
    press(window, Qt::Key_Escape);
    EXPECT_TRUE(waitFor([&] { return !dashboard->reviewSheet() || !dashboard->reviewSheet()->isVisible(); }, 2000));
    // The sheet goes at the event loop's next turn, and the dimmed overlay with it.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(app().content()->sheet(), nullptr);
    // Review has the focus again, as the keyboard left it.
    EXPECT_EQ(QApplication::focusWidget(), dashboard->reviewButton());
    EXPECT_TRUE(FocusRing::fromKeyboard(dashboard->reviewButton()));

    press(window, Qt::Key_Comma, Qt::ControlModifier);
    ASSERT_TRUE(app().settingsWindow());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(app().settingsWindow(), 10000));
    app().settingsWindow()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(app().settingsWindow(), 10000));
    // Tab rings the chosen tab, the arrows go through the tabs to Schedule,
    // and the hour picker's menu opens there: Escape closes the menu alone,
    // and then the window.
    press(app().settingsWindow(), Qt::Key_Tab);
    auto* tabs = app().settingsWindow()->findChild<TabView*>();
    ASSERT_TRUE(tabs);
    ASSERT_EQ(QApplication::focusWidget(), tabs->bar()->segment(0));
    EXPECT_TRUE(FocusRing::overlayOf(app().settingsWindow()));
    press(app().settingsWindow(), Qt::Key_Right);
    press(app().settingsWindow(), Qt::Key_Right);
    ASSERT_EQ(tabs->currentIndex(), 2);
    auto* schedule = app().settingsWindow()->findChild<ScheduleTab*>();
    ASSERT_TRUE(schedule && schedule->hourPicker()->isEnabled());
    ASSERT_TRUE(tabTo(app().settingsWindow(), schedule->hourPicker()));
    QTest::keyClick(app().settingsWindow()->windowHandle(), Qt::Key_Down);
    ASSERT_TRUE(waitFor([&] { return schedule->hourPicker()->menu() && schedule->hourPicker()->menu()->isVisible(); }, 2000));
    QTest::keyClick(app().settingsWindow()->windowHandle(), Qt::Key_Escape);
    EXPECT_TRUE(waitFor([&] { return !schedule->hourPicker()->menu(); }, 2000));
    QApplication::processEvents();
    EXPECT_TRUE(app().settingsWindow()->isVisible());
    EXPECT_EQ(schedule->hour(), 6);
    QTest::keyClick(app().settingsWindow()->windowHandle(), Qt::Key_Escape);
    EXPECT_TRUE(waitFor([&] { return !app().settingsWindow() || !app().settingsWindow()->isVisible(); }, 2000));
    EXPECT_TRUE(window->isVisible());
}

TEST_F(KeyboardJourney, EscapeOrReturnOnTheShredConfirmationCancelsIt) {
    const fs::path file = home() / "Downloads" / "notes.txt";
    ASSERT_TRUE(fs::exists(file));
    open();
    state().setModule(ModuleID::shredder);
    auto* shredder = qobject_cast<ShredderView*>(app().content()->router()->screen());
    ASSERT_TRUE(shredder);
    shredder->append({file});
    ASSERT_TRUE(waitFor([&] { return !shredder->entries().empty() && shredder->entries().front().measured; }));
    shredder->setSelected(shredder->entries().front().item.id, true);
    // Return answers with the confirmation's default, which is Cancel.
    for (Qt::Key key : {Qt::Key_Escape, Qt::Key_Return}) {
        SCOPED_TRACE(key == Qt::Key_Escape ? "Escape" : "Return");
        pressInNextMessageBox(key);
        click("Shred 1 item");
        waitFor([] { return false; }, 300);
        EXPECT_TRUE(fs::exists(file));
        EXPECT_FALSE(state().lastCleanup().has_value());
        EXPECT_EQ(shredder->entries().size(), 1u);
    }
}
