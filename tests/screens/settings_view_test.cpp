// The settings window: the ignore list read back on every showing and edited
// through the open panel, and the daily job, which only the user's own changes
// install or remove (launchctl answered by the recording runner).
#include <gtest/gtest.h>

#include <QComboBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include "app/controls/text_label.h"
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
    QPushButton* openSettings = nullptr;
    QPushButton* reveal = nullptr;
    for (auto* button : view->findChildren<QPushButton*>()) {
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

    // On, with the defaults.
    QTest::mouseClick(tab().enabledSwitch(), Qt::LeftButton);
    EXPECT_TRUE(view->busy());
    EXPECT_FALSE(tab().enabledSwitch()->isEnabled());
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
