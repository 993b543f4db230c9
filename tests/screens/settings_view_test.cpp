// The settings window: the ignore list read back on every showing and edited
// through the open panel, and the daily job, which only the user's own changes
// install or remove (launchctl answered by the recording runner).
#include <gtest/gtest.h>

#include <QAbstractScrollArea>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QMenu>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

#include "app/controls/buttons.h"
#include "app/controls/pop_up_picker.h"
#include "app/controls/tab_view.h"
#include "app/controls/focus_ring.h"
#include "app/controls/render.h"
#include "app/controls/text_label.h"
#include "app/controls/theme.h"
#include "app/controls/toggle_switch.h"
#include "engine/clean_history.h"
#include "engine/ignores.h"
#include "modules/system/schedule.h"
#include "platform/atomic_file.h"
#include "platform/locations.h"
#include "screen_test.h"
#include "screens/schedule_tab.h"
#include "screens/settings_view.h"
#include "support/recording_runner.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

class SettingsViewTest : public ScreenTest {
protected:
    void SetUp() override {
        ScreenTest::SetUp();
        runner = std::make_unique<RecordingRunner>();
        runner->answer(systemTool("/bin/launchctl"), true);
    }
    void TearDown() override {
        view.reset();
        runner.reset();
        ScreenTest::TearDown();
    }

    SettingsView& open() {
        if (!view) view = std::make_unique<SettingsView>(context());
        view->hide();
        view->show();
        return *view;
    }
    // Runs the background work and what it posts back.
    void settle() { executor->settle(); }

    QString banner() { return state().banner() ? QString::fromStdString(state().banner()->text) : QString(); }
    bool bannerIsError() { return state().banner() && state().banner()->isError; }
    QString ignoredCount() const { return view->findChild<TextLabel*>(QStringLiteral("ignoredCount"))->text(); }
    std::vector<std::string> launchctlLines() const {
        std::vector<std::string> lines;
        for (const auto& c : runner->commands())
            if (c.find("launchctl") != std::string::npos) lines.push_back(c);
        return lines;
    }
    // The installed job's hour and module list.
    std::pair<long long, std::vector<std::string>> job() const {
        auto plist = Plist::readFile(Schedule::plistURL());
        if (!plist) return {-1, {}};
        return {Schedule::installedHour().value_or(-1), Schedule::modules(*plist)};
    }
    ScheduleTab& tab() { return *view->scheduleTab(); }
    // The settings window in front, as the user has it.
    void activate() {
        view->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(view.get()));
    }
    // A job on disk that the tab reads back as on (nothing is installed).
    static void writeJob(int hour) {
        fs::create_directories(Schedule::plistURL().parent_path());
        ASSERT_TRUE(AtomicFile::write(Schedule::plistURL(),
                          Plist::toXml(Schedule::makePlist(hour, {ModuleID::systemJunk}, "/usr/bin/vessiltane"))));
    }
    // Whether the widget lies whole inside the visible part of the scrolled
    // column it is in.
    static bool inView(QWidget* widget) {
        QWidget* viewport = nullptr;
        for (QWidget* w = widget; w; w = w->parentWidget())
            if (auto* area = qobject_cast<QAbstractScrollArea*>(w)) {
                viewport = area->viewport();
                break;
            }
        if (!viewport) return false;
        return viewport->rect().contains(QRect(widget->mapTo(viewport, QPoint(0, 0)), widget->size()));
    }

    std::unique_ptr<RecordingRunner> runner;
    std::unique_ptr<SettingsView> view;
};

}  // namespace

TEST_F(SettingsViewTest, TheIgnoreListIsReadAgainOnEveryShowingAndEditedThroughThePanel) {
    open();
    EXPECT_TRUE(view->ignored().empty());
    EXPECT_EQ(ignoredCount(), "0");
    EXPECT_FALSE(view->findChild<QWidget*>(QStringLiteral("nothingIgnored"))->isHidden());

    // The command line changes the file while the window is closed.
    const fs::path photos = home() / "Pictures" / "Keep";
    ASSERT_EQ(Ignores::add(photos.string()), Ignores::Edit::changed);
    open();
    EXPECT_EQ(view->ignored(), std::vector<std::string>{photos.string()});
    EXPECT_EQ(ignoredCount(), "1");
    EXPECT_TRUE(view->findChild<QWidget*>(QStringLiteral("nothingIgnored"))->isHidden());

    // Cancelling the panel changes nothing and says nothing.
    services.chosen = {};
    view->addFolder();
    settle();
    EXPECT_EQ(services.choosePrompts, std::vector<std::string>{"Ignore"});
    EXPECT_FALSE(state().banner());

    // Two new paths and one already listed: added in the panel's order.
    const fs::path a = home() / "Music" / "Live", b = home() / "Movies";
    services.chosen = {a, photos, b};
    view->addFolder();
    settle();
    EXPECT_EQ(banner(), "Added to the ignore list.");
    EXPECT_FALSE(bannerIsError());
    EXPECT_EQ(Ignores::paths().size(), 3u);
    EXPECT_EQ(view->ignored().size(), 3u);
    EXPECT_EQ(ignoredCount(), "3");

    // Only paths already listed: said so, not "added".
    state().dismissBanner();
    services.chosen = {b};
    view->addFolder();
    settle();
    EXPECT_EQ(banner(), "Already on the ignore list.");
    EXPECT_FALSE(bannerIsError());

    // The minus button removes the stored entry, with no banner.
    state().dismissBanner();
    QAbstractButton* minus = nullptr;
    for (auto* button : view->findChildren<QAbstractButton*>(QStringLiteral("removeIgnored")))
        if (button->accessibleName() == QString::fromStdString("Remove " + photos.string())) minus = button;
    ASSERT_TRUE(minus);
    QTest::mouseClick(minus, Qt::LeftButton);
    settle();
    const std::vector<std::string> left = Ignores::paths();
    EXPECT_EQ(std::count(left.begin(), left.end(), photos.string()), 0);
    EXPECT_EQ(view->ignored(), left);
    EXPECT_FALSE(state().banner());
}

TEST_F(SettingsViewTest, AnIgnoreListThatCannotBeWrittenIsReportedNotAdded) {
    open();
    // The list's folder is a file: nothing can be written below it.
    writeFile(Locations::supportFolder(), "in the way");
    Ignores::resetCache();
    services.chosen = {home() / "Documents"};
    view->addFolder();
    settle();
    // Said in the settings window, where the user acted; the main window hears nothing.
    EXPECT_EQ(view->notice(), QString::fromStdString("Could not write the ignore list: " + Ignores::fileURL().string()));
    EXPECT_FALSE(state().banner());
    EXPECT_TRUE(view->ignored().empty());
}

TEST_F(SettingsViewTest, GeneralTabShowsAccessHistoryAndTheListsSize) {
    open();
    EXPECT_EQ(view->tabs()->count(), 3);
    EXPECT_EQ(view->tabs()->tabText(0), "General");
    EXPECT_EQ(view->tabs()->tabText(1), "Ignore List");
    EXPECT_EQ(view->tabs()->tabText(2), "Schedule");
    auto* access = view->findChild<TextLabel*>(QStringLiteral("fullDiskAccess"));
    ASSERT_TRUE(access);
    QAbstractButton* openSettings = nullptr;
    QAbstractButton* reveal = nullptr;
    for (auto* button : view->findChildren<SecondaryButton*>()) {
        if (button->text() == "Open Settings\u2026") openSettings = button;
        if (button->text() == "Reveal in Finder") reveal = button;
    }
    ASSERT_TRUE(reveal);
    QTest::mouseClick(reveal, Qt::LeftButton);
    EXPECT_EQ(services.revealed, std::vector<fs::path>{CleanHistory::logURL()});
    if (state().hasFullDiskAccess()) {
        EXPECT_EQ(access->text(), "Full Disk Access is granted.");
        EXPECT_EQ(openSettings, nullptr);
    } else {
        EXPECT_EQ(access->text(),
                  "Full Disk Access is not granted. Trash, Safari data and other protected folders stay hidden.");
        ASSERT_TRUE(openSettings);
        QTest::mouseClick(openSettings, Qt::LeftButton);
        EXPECT_EQ(services.opened, std::vector<std::string>{SystemLinks::kFullDiskAccess});
    }
}

TEST_F(SettingsViewTest, TheUsersChangesInstallAndRemoveTheDailyJob) {
    open();
    EXPECT_FALSE(tab().scheduleEnabled());
    EXPECT_FALSE(tab().hourPicker()->isEnabled());
    for (ModuleID m : {ModuleID::systemJunk, ModuleID::mailAttachments, ModuleID::music})
        EXPECT_FALSE(tab().moduleSwitch(m)->isEnabled());
    EXPECT_EQ(tab().hourPicker()->currentText(), "03:00");
    EXPECT_TRUE(launchctlLines().empty());

    // On, with the defaults; a click while that is written changes nothing.
    QTest::mouseClick(tab().enabledSwitch(), Qt::LeftButton);
    EXPECT_TRUE(view->busy());
    QTest::mouseClick(tab().enabledSwitch(), Qt::LeftButton);
    EXPECT_TRUE(tab().enabledSwitch()->isChecked());
    settle();
    EXPECT_EQ(banner(), "Daily cleanup scheduled for 03:00.");
    EXPECT_FALSE(bannerIsError());
    EXPECT_EQ(job(), (std::pair<long long, std::vector<std::string>>{3, {"systemJunk", "trashBins"}}));
    ASSERT_EQ(launchctlLines().size(), 1u);
    EXPECT_NE(launchctlLines()[0].find(" bootstrap "), std::string::npos);
    EXPECT_TRUE(tab().hourPicker()->isEnabled());

    // A new hour, then one more module: installed again each time.
    tab().setHour(7);
    settle();
    EXPECT_EQ(banner(), "Daily cleanup scheduled for 07:00.");
    tab().setHour(0);
    settle();
    EXPECT_EQ(banner(), "Daily cleanup scheduled for 00:00.");
    QTest::mouseClick(tab().moduleSwitch(ModuleID::mailAttachments), Qt::LeftButton);
    settle();
    EXPECT_EQ(job(), (std::pair<long long, std::vector<std::string>>{0, {"systemJunk", "mailAttachments", "trashBins"}}));
    EXPECT_EQ(launchctlLines().size(), 4u);

    // The last module cannot be switched off while the job is on.
    tab().setModule(ModuleID::systemJunk, false);
    settle();
    tab().setModule(ModuleID::mailAttachments, false);
    settle();
    EXPECT_EQ(job().second, std::vector<std::string>{"trashBins"});
    const size_t before = launchctlLines().size();
    tab().setModule(ModuleID::trashBins, false);
    settle();
    EXPECT_EQ(view->notice(), "Pick at least one module.");
    EXPECT_EQ(banner(), "Daily cleanup scheduled for 00:00.");  // the main window's stays as it was
    EXPECT_TRUE(tab().moduleSwitch(ModuleID::trashBins)->isChecked());
    EXPECT_EQ(launchctlLines().size(), before);
    EXPECT_TRUE(fs::exists(Schedule::plistURL()));

    // Off.
    QTest::mouseClick(tab().enabledSwitch(), Qt::LeftButton);
    settle();
    EXPECT_EQ(banner(), "Daily cleanup turned off.");
    EXPECT_EQ(view->notice(), QString());  // a success clears the window's notice
    EXPECT_FALSE(fs::exists(Schedule::plistURL()));
    EXPECT_FALSE(tab().scheduleEnabled());
    EXPECT_NE(launchctlLines().back().find(" bootout "), std::string::npos);
}

TEST_F(SettingsViewTest, ShowingTheWindowReadsTheJobBackAndInstallsNothing) {
    // A job the command line installed, at 5 for a module the tab does not offer.
    Schedule::install(5, {ModuleID::photos, ModuleID::extensions});
    const std::string written = readFile(Schedule::plistURL());
    const size_t installs = launchctlLines().size();
    open();
    open();
    settle();
    EXPECT_EQ(launchctlLines().size(), installs);
    EXPECT_EQ(readFile(Schedule::plistURL()), written);
    EXPECT_FALSE(state().banner());
    EXPECT_TRUE(tab().scheduleEnabled());
    EXPECT_TRUE(tab().enabledSwitch()->isChecked());
    EXPECT_EQ(tab().hour(), 5);
    EXPECT_EQ(tab().hourPicker()->currentText(), "05:00");
    EXPECT_EQ(tab().modules(), (std::set<ModuleID>{ModuleID::photos, ModuleID::extensions}));
    EXPECT_TRUE(tab().moduleSwitch(ModuleID::photos)->isChecked());
    EXPECT_FALSE(tab().moduleSwitch(ModuleID::systemJunk)->isChecked());

    // Ticking one keeps the module it does not offer.
    tab().setModule(ModuleID::music, true);
    settle();
    EXPECT_EQ(job().second, (std::vector<std::string>{"photos", "music", "extensions"}));

    // A job naming no module this program knows keeps the set as it was.
    AtomicFile::write(Schedule::plistURL(),
                      Plist::toXml(Schedule::makePlist(9, {}, "/usr/bin/vessiltane")));
    open();
    EXPECT_TRUE(tab().scheduleEnabled());
    EXPECT_EQ(tab().hour(), 9);
    EXPECT_EQ(tab().modules().size(), 3u);
}

TEST_F(SettingsViewTest, FailuresOfTheJobAreReportedAndTheSwitchShowsWhatIsOnDisk) {
    open();
    // launchctl refuses: the file is written, so the job counts as on.
    runner->answer(systemTool("/bin/launchctl") + " bootout", false, "Bootstrap failed: 5: Input/output error");
    QTest::mouseClick(tab().enabledSwitch(), Qt::LeftButton);
    settle();
    EXPECT_EQ(view->notice(), "Wrote the job but could not load it: Bootstrap failed: 5: Input/output error");
    EXPECT_FALSE(state().banner());
    EXPECT_TRUE(tab().scheduleEnabled());
    EXPECT_TRUE(tab().enabledSwitch()->isChecked());

    // The job's file cannot be removed: turning off says so.
    fs::remove(Schedule::plistURL());
    writeFile(Schedule::plistURL() / "held", "x");
    QTest::mouseClick(tab().enabledSwitch(), Qt::LeftButton);
    settle();
    EXPECT_EQ(view->notice(), QString::fromStdString("Could not turn off the daily cleanup: " +
                                                      Schedule::plistURL().string() + " is still there."));
    EXPECT_FALSE(state().banner());
    EXPECT_TRUE(tab().scheduleEnabled());
}

TEST_F(SettingsViewTest, AChangeOfTheJobLeavesTheControlThatMadeItFocusedAndInView) {
    // The window at its own size, the Schedule tab scrolled to its top: each
    // control the user works stays where the user is while the job is written.
    struct Case {
        const char* what;
        bool jobOn;
        std::function<QWidget*(ScheduleTab&)> control;
    };
    const Case cases[] = {
        {"the switch turned on", false, [](ScheduleTab& t) -> QWidget* { return t.enabledSwitch(); }},
        {"the switch turned off", true, [](ScheduleTab& t) -> QWidget* { return t.enabledSwitch(); }},
        {"a module ticked", true, [](ScheduleTab& t) -> QWidget* { return t.moduleSwitch(ModuleID::trashBins); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(Schedule::plistURL());
        if (c.jobOn) writeJob(3);
        view.reset();
        open();
        activate();
        view->tabs()->setCurrentIndex(2);
        QWidget* control = c.control(tab());
        ASSERT_TRUE(control->isEnabled());
        ASSERT_TRUE(inView(control));
        const bool wasOn = static_cast<QAbstractButton*>(control)->isChecked();
        control->setFocus(Qt::TabFocusReason);
        QTest::keyClick(control, Qt::Key_Space);
        EXPECT_TRUE(view->busy());
        EXPECT_TRUE(inView(control));
        settle();
        EXPECT_FALSE(view->busy());
        EXPECT_NE(static_cast<QAbstractButton*>(control)->isChecked(), wasOn);
        EXPECT_TRUE(inView(control));
        EXPECT_EQ(QApplication::focusWidget(), control);
        EXPECT_TRUE(FocusRing::fromKeyboard(control));
    }
    // A write that fails and leaves the job off, made from a module switch the
    // job's going off locks: the focus goes back to the main switch.
    writeJob(3);
    view.reset();
    open();
    activate();
    view->tabs()->setCurrentIndex(2);
    // The job's folder is a file: the install fails, nothing is on disk.
    fs::remove_all(Schedule::plistURL().parent_path());
    writeFile(Schedule::plistURL().parent_path(), "in the way");
    ToggleSwitch* music = tab().moduleSwitch(ModuleID::music);
    music->setFocus(Qt::TabFocusReason);
    QTest::keyClick(music, Qt::Key_Space);
    settle();
    EXPECT_FALSE(tab().scheduleEnabled());
    EXPECT_FALSE(music->isEnabled());
    EXPECT_EQ(QApplication::focusWidget(), tab().enabledSwitch());
    EXPECT_TRUE(FocusRing::fromKeyboard(tab().enabledSwitch()));
    EXPECT_TRUE(inView(tab().enabledSwitch()));
}

TEST_F(SettingsViewTest, TheTabsButtonsAndPickerAreTheWindowsOwnDrawnInItsColours) {
    writeJob(3);  // the picker enabled
    open();
    // None of the desktop's stock controls, and nothing styled by a sheet.
    EXPECT_TRUE(view->findChildren<QTabWidget*>().isEmpty());
    EXPECT_TRUE(view->findChildren<QTabBar*>().isEmpty());
    EXPECT_TRUE(view->findChildren<QPushButton*>().isEmpty());
    EXPECT_TRUE(view->findChildren<QComboBox*>().isEmpty());
    for (QWidget* w : view->findChildren<QWidget*>()) EXPECT_TRUE(w->styleSheet().isEmpty()) << w->objectName().toStdString();
    QStringList buttons;
    for (auto* b : view->findChildren<SecondaryButton*>()) buttons << b->text();
    for (const char* title : {"Reveal in Finder", "Add Folder\u2026", "Reveal"})
        EXPECT_TRUE(buttons.contains(QString::fromUtf8(title))) << title;
    ASSERT_EQ(view->tabs()->count(), 3);
    EXPECT_EQ(view->tabs()->currentIndex(), 0);  // opens on General

    // A colour of the image within a widget's rectangle (in the view).
    auto anyNear = [&](const QImage& img, QWidget* w, const QColor& colour, int tolerance) {
        const QRect r(w->mapTo(view.get(), QPoint(0, 0)), w->size());
        for (double x = r.left(); x < r.right(); x += 0.5)
            for (double y = r.top(); y < r.bottom(); y += 0.5)
                if (near(pixel(img, {x, y}), colour, tolerance)) return true;
        return false;
    };
    auto at = [&](QWidget* w, QPointF local) { return QPointF(w->mapTo(view.get(), QPoint(0, 0))) + local; };
    auto over = [](const QColor& c, const QColor& below) {
        const double a = c.alphaF();
        return QColor::fromRgbF(float(c.redF() * a + below.redF() * (1 - a)),
                                float(c.greenF() * a + below.greenF() * (1 - a)),
                                float(c.blueF() * a + below.blueF() * (1 - a)));
    };
    const QColor accent = Theme::color(Theme::accent);

    view->tabs()->setCurrentIndex(2);
    QImage img = Render::image(*view, QSize(520, 400));
    QWidget* chosen = view->tabs()->bar()->segment(2);
    QWidget* other = view->tabs()->bar()->segment(0);
    // The chosen tab on its faint tile, its symbol and title in the accent;
    // another tab on the window colour, in no accent at all.
    const QPointF edge(3, chosen->height() / 2.0);
    EXPECT_TRUE(near(pixel(img, at(chosen, edge)), over(Theme::primary(0.07), Theme::windowBackground()), 3));
    EXPECT_TRUE(near(pixel(img, at(other, edge)), Theme::windowBackground(), 3));
    EXPECT_TRUE(anyNear(img, chosen, accent, 8));
    EXPECT_FALSE(anyNear(img, other, accent, 40));
    // The picker: a white bezel showing the hour, its chevron in the accent.
    PopUpPicker* picker = tab().hourPicker();
    ASSERT_TRUE(picker->isEnabled());
    EXPECT_EQ(picker->currentText(), "03:00");
    EXPECT_TRUE(near(pixel(img, at(picker, {3, picker->height() / 2.0})), QColor(Qt::white), 2));
    EXPECT_TRUE(anyNear(img, picker, accent, 8));

    // A button's capsule: the primary colour at 0.06 over the card it sits on.
    view->tabs()->setCurrentIndex(0);
    img = Render::image(*view, QSize(520, 400));
    SecondaryButton* reveal = nullptr;
    for (auto* b : view->findChildren<SecondaryButton*>())
        if (b->text() == "Reveal in Finder") reveal = b;
    ASSERT_TRUE(reveal);
    const double middle = reveal->height() / 2.0;
    const QColor card = pixel(img, at(reveal, {-4, middle}));
    EXPECT_TRUE(near(pixel(img, at(reveal, {4, middle})), over(Theme::primary(0.06), card), 3));
}

TEST_F(SettingsViewTest, AssistiveTechnologyHearsTheTabsButtonsAndPickerAsWhatTheyAre) {
    writeJob(3);
    open();
    struct Found {
        QAccessible::Role role;
        QString name, value;
        QAccessible::State state;
        QAccessible::Role parent;
    };
    auto walk = [&] {
        std::vector<Found> out;
        std::function<void(QAccessibleInterface*)> visit = [&](QAccessibleInterface* iface) {
            if (!iface || !iface->isValid() || iface->state().invisible) return;
            out.push_back({iface->role(), iface->text(QAccessible::Name), iface->text(QAccessible::Value),
                           iface->state(), iface->parent() ? iface->parent()->role() : QAccessible::NoRole});
            for (int i = 0; i < iface->childCount(); ++i) visit(iface->child(i));
        };
        visit(QAccessible::queryAccessibleInterface(view.get()));
        return out;
    };
    auto find = [](const std::vector<Found>& all, QAccessible::Role role, const QString& name) -> std::optional<Found> {
        for (const Found& f : all)
            if (f.role == role && f.name == name) return f;
        return std::nullopt;
    };

    view->tabs()->setCurrentIndex(2);
    std::vector<Found> all = walk();
    int selected = 0;
    for (const char* title : {"General", "Ignore List", "Schedule"}) {
        const std::optional<Found> tabFound = find(all, QAccessible::PageTab, title);
        ASSERT_TRUE(tabFound) << title;
        EXPECT_EQ(tabFound->parent, QAccessible::PageTabList);
        selected += tabFound->state.selected;
        EXPECT_EQ(bool(tabFound->state.selected), QString(title) == "Schedule") << title;
    }
    EXPECT_EQ(selected, 1);
    const std::optional<Found> at = find(all, QAccessible::ComboBox, "At");
    ASSERT_TRUE(at);
    EXPECT_EQ(at->value, "03:00");
    EXPECT_TRUE(find(all, QAccessible::Button, "Reveal"));
    // The picker's value follows what it shows.
    writeJob(21);
    tab().reload();
    EXPECT_EQ(find(walk(), QAccessible::ComboBox, "At")->value, "21:00");
    view->tabs()->setCurrentIndex(1);
    EXPECT_TRUE(find(walk(), QAccessible::Button, "Add Folder\u2026"));
}

TEST_F(SettingsViewTest, TheKeyboardReachesTheTabsAndEveryControlAndPicksTheHour) {
    open();
    activate();
    // The first Tab stops at the chosen tab; the arrows choose a neighbour
    // and show its page.
    QTest::keyClick(view.get(), Qt::Key_Tab);
    QAbstractButton* general = view->tabs()->bar()->segment(0);
    ASSERT_EQ(QApplication::focusWidget(), general);
    EXPECT_TRUE(FocusRing::fromKeyboard(general));
    QTest::keyClick(general, Qt::Key_Right);
    EXPECT_EQ(view->tabs()->currentIndex(), 1);
    EXPECT_TRUE(view->tabs()->page(1)->isVisible());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
    ASSERT_EQ(view->tabs()->currentIndex(), 2);
    EXPECT_EQ(QApplication::focusWidget(), view->tabs()->bar()->segment(2));

    // Into the page, top down: the switch first; Space turns the job on.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), tab().enabledSwitch());
    QTest::keyClick(tab().enabledSwitch(), Qt::Key_Space);
    settle();
    ASSERT_TRUE(tab().scheduleEnabled());
    EXPECT_EQ(banner(), "Daily cleanup scheduled for 03:00.");

    // Then the picker: Down opens its menu on the chosen hour, Down and
    // Return pick the next one, and the job is installed at it.
    QTest::keyClick(tab().enabledSwitch(), Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), tab().hourPicker());
    QTest::keyClick(tab().hourPicker(), Qt::Key_Down);
    QMenu* menu = tab().hourPicker()->menu();
    ASSERT_TRUE(menu);
    ASSERT_TRUE(menu->activeAction());
    EXPECT_EQ(menu->activeAction()->text(), "03:00");
    QTest::keyClick(menu, Qt::Key_Down);
    QTest::keyClick(menu, Qt::Key_Return);
    settle();
    EXPECT_EQ(tab().hour(), 4);
    EXPECT_EQ(tab().hourPicker()->currentText(), "04:00");
    EXPECT_EQ(job().first, 4);
    EXPECT_EQ(banner(), "Daily cleanup scheduled for 04:00.");
    // Escape in the menu leaves the hour as it was.
    QTest::keyClick(tab().hourPicker(), Qt::Key_Space);
    ASSERT_TRUE((menu = tab().hourPicker()->menu()));
    QTest::keyClick(menu, Qt::Key_Down);
    QTest::keyClick(menu, Qt::Key_Escape);
    settle();
    EXPECT_FALSE(tab().hourPicker()->menu());
    EXPECT_EQ(tab().hour(), 4);

    // On through the modules to Reveal, and Shift+Tab back.
    std::vector<QWidget*> reached;
    for (int i = 0; i < 7; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        reached.push_back(QApplication::focusWidget());
    }
    for (size_t i = 0; i < 6; ++i) EXPECT_EQ(reached[i], tab().moduleSwitch(AppState::dailyJobModules()[i])) << i;
    ASSERT_TRUE(qobject_cast<SecondaryButton*>(reached[6]));
    EXPECT_EQ(static_cast<SecondaryButton*>(reached[6])->text(), "Reveal");
    EXPECT_TRUE(inView(reached[6]));
    QTest::keyClick(reached[6], Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), reached[5]);
}
