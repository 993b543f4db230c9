// The privacy screen over a temporary home, with the permission database and
// the Wi-Fi tool answered by the recording runner: the first load (the
// permissions and networks, then the traces, neither dropping the other), the
// three sections, Remove, Rescan and Revoke.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>
#include <filesystem>

#include "app/controls/buttons.h"
#include "app/controls/divider.h"
#include "app/controls/empty_state_view.h"
#include "app/controls/link_button.h"
#include "app/controls/results_list.h"
#include "app/controls/segmented_control.h"
#include "app/controls/busy_indicator.h"
#include "app/controls/symbol_view.h"
#include "app/controls/text_label.h"
#include "screens/permission_hint.h"
#include "screens/privacy_view.h"
#include "support/recording_runner.h"
#include "screen_test.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

class PrivacyViewTest : public ScreenTest {
protected:
    void SetUp() override {
        ScreenTest::SetUp();
        runner = std::make_unique<RecordingRunner>();
        history = home() / "Library/Safari/History.db";
        cache = home() / "Library/Caches/com.apple.Safari/WebKitCache";
        allocateFile(history, 64 * 1024);  // review: listed, not ticked
        allocateFile(cache, 16 * 1024);    // safe: ticked
    }

    // The permission database and the Wi-Fi tool give these answers.
    void answerExtras(const std::string& rows, const std::string& networks) {
        writeFile(home() / "Library/Application Support/com.apple.TCC/TCC.db", "db");
        runner->answer(systemTool("/usr/bin/sqlite3"), true, rows);
        runner->answer(systemTool("/usr/sbin/networksetup"), true, networks);
    }

    std::unique_ptr<PrivacyView> shownView() {
        auto view = std::make_unique<PrivacyView>(context());
        view->resize(1000, 760);
        view->show();
        return view;
    }

    static std::vector<QWidget*> rows(QWidget* page, const char* name) {
        std::vector<QWidget*> out;
        for (QWidget* w : page->findChildren<QWidget*>(name))
            if (w->isVisibleTo(page)) out.push_back(w);
        return out;
    }

    static int dividers(QWidget* page) {
        int n = 0;
        for (auto* d : page->findChildren<Divider*>())
            if (d->isVisibleTo(page)) ++n;
        return n;
    }

    // The empty state a section shows.
    static EmptyStateView* emptyState(QWidget* section) {
        for (auto* e : section->findChildren<EmptyStateView*>())
            if (e->isVisibleTo(section)) return e;
        return nullptr;
    }

    static QWidget* grantRow(PrivacyView& view, const QString& id) {
        for (QWidget* row : rows(view.permissionsPage(), "grant"))
            if (row->accessibleName() == id) return row;
        return nullptr;
    }

    std::unique_ptr<RecordingRunner> runner;
    fs::path history, cache;
};

const char* kRows =
    "com.example.chat|kTCCServiceCamera|2\n"
    "com.example.chat|kTCCServiceBluetoothAlways|2\n"
    "/usr/local/bin/helper|kTCCServiceCamera|2\n";
const char* kNetworks = "Preferred networks on en0:\n\tHome Network\n\tCafe\n";

TEST_F(PrivacyViewTest, TheFirstAppearanceLoadsPermissionsAndNetworksThenTheTracesAndPublishesAll) {
    answerExtras(kRows, kNetworks);
    auto view = shownView();
    EXPECT_TRUE(view->hasLoaded());
    EXPECT_EQ(view->section(), PrivacyView::traces);
    // The permissions and networks load first; the trace scan waits for them.
    EXPECT_EQ(state().activeScan(), ModuleID::privacy);
    EXPECT_EQ(state().progress().message, "Reading permissions\u2026");
    EXPECT_EQ(executor->queuedWork(), 1u);
    EXPECT_TRUE(view->headerSpinner()->isVisibleTo(view.get()));
    EXPECT_FALSE(view->removeButton()->isVisibleTo(view.get()));
    EXPECT_FALSE(view->rescanButton()->isVisibleTo(view.get()));
    EXPECT_EQ(view->tracesContent(), "progress");

    executor->runWork();
    executor->runPosts();
    EXPECT_EQ(state().permissionGrants().size(), 2u);
    EXPECT_EQ(state().wifiNetworks(), (std::vector<std::string>{"Home Network", "Cafe"}));
    EXPECT_FALSE(state().hasReport(ModuleID::privacy));
    executor->settle();
    // Neither load dropped the other.
    EXPECT_EQ(state().permissionGrants().size(), 2u);
    ASSERT_TRUE(state().hasReport(ModuleID::privacy));
    EXPECT_FALSE(state().privacy().categories.empty());
    EXPECT_FALSE(state().progress().isRunning);
    EXPECT_EQ(view->tracesContent(), "results");
    EXPECT_FALSE(view->headerSpinner()->isVisibleTo(view.get()));
    EXPECT_TRUE(view->rescanButton()->isVisibleTo(view.get()));

    // Permissions: one row per grant in list order, the service's symbol or a lock.
    view->sectionControl()->segment(PrivacyView::permissions)->click();
    EXPECT_EQ(view->section(), PrivacyView::permissions);
    const auto grants = rows(view->permissionsPage(), "grant");
    ASSERT_EQ(grants.size(), 2u);
    EXPECT_EQ(grants[0]->accessibleName(), "com.example.chat|kTCCServiceBluetoothAlways");
    EXPECT_EQ(grants[0]->findChild<SymbolView*>()->symbol(), Symbol("lock"));
    EXPECT_EQ(grants[1]->findChild<SymbolView*>()->symbol(), Symbol("camera"));
    EXPECT_EQ(grants[1]->findChild<TextLabel*>("client")->text(), "com.example.chat");
    EXPECT_EQ(dividers(view->permissionsPage()), 1);

    // Wi-Fi: the remembered networks, listed only.
    view->sectionControl()->segment(PrivacyView::wifi)->click();
    ASSERT_EQ(rows(view->wifiPage(), "network").size(), 2u);
    EXPECT_EQ(dividers(view->wifiPage()), 1);

    // Coming into view again loads nothing; a screen made anew loads once more.
    view->hide();
    view->show();
    EXPECT_EQ(executor->queuedWork(), 0u);
    QSignalSpy reports(&state(), &AppState::reportChanged);
    auto again = shownView();
    executor->settle();
    // A report is stored already, so only the permissions and networks are read.
    EXPECT_EQ(reports.count(), 0);
    EXPECT_EQ(state().permissionGrants().size(), 2u);
}

TEST_F(PrivacyViewTest, AnotherActionEndingDuringTheLoadStartsNoTraceScanThatWouldDropIt) {
    answerExtras(kRows, kNetworks);
    // A leftover search still runs when the screen comes into view.
    InstalledApp app;
    app.id = app.name = "Elsewhere";
    app.url = sys("/Applications/Elsewhere.app");
    app.bundleID = "com.example.elsewhere";
    state().select(app);
    auto view = shownView();
    ASSERT_EQ(executor->queuedWork(), 2u);
    executor->runOneWork();  // the leftover search ends first, and the load's line runs on
    executor->runPosts();
    EXPECT_TRUE(state().progress().isRunning);
    EXPECT_EQ(state().activeScan(), ModuleID::privacy);
    executor->runPosts();
    EXPECT_FALSE(state().token()->isCancelled());
    executor->settle();
    EXPECT_EQ(state().permissionGrants().size(), 2u);
    EXPECT_EQ(state().wifiNetworks().size(), 2u);
    EXPECT_TRUE(state().hasReport(ModuleID::privacy));
}

TEST_F(PrivacyViewTest, RemoveDeletesTheTickedTracesForGoodAndRescanLoadsBoth) {
    answerExtras(kRows, kNetworks);
    auto view = shownView();
    executor->settle();
    ASSERT_TRUE(view->removeButton()->isVisibleTo(view.get()));
    EXPECT_EQ(view->removeButton()->text(), "Remove 16K");

    // Nothing ticked: no Remove button at all.
    state().setSelection(false, std::nullopt, ModuleID::privacy);
    EXPECT_FALSE(view->removeButton()->isVisibleTo(view.get()));
    state().setSelection(true, std::string("safari"), ModuleID::privacy);
    ASSERT_TRUE(view->removeButton()->isVisibleTo(view.get()));
    EXPECT_EQ(view->removeButton()->text(), "Remove 80K");

    QTest::mouseClick(view->removeButton(), Qt::LeftButton);
    executor->settle();
    EXPECT_FALSE(fs::exists(history));
    EXPECT_FALSE(fs::exists(cache));
    EXPECT_FALSE(fs::exists(home() / ".Trash/History.db"));  // deleted, not trashed
    ASSERT_TRUE(state().lastCleanup());
    EXPECT_EQ(state().lastCleanup()->title, "Privacy");
    EXPECT_EQ(state().lastCleanup()->removedCount, 2);

    // Rescan reads the permissions and networks again, then the traces.
    runner->answer(systemTool("/usr/bin/sqlite3"), true, "com.example.chat|kTCCServiceMicrophone|2\n");
    allocateFile(history, 8 * 1024);
    QTest::mouseClick(view->rescanButton(), Qt::LeftButton);
    EXPECT_EQ(state().progress().message, "Reading permissions\u2026");
    EXPECT_FALSE(view->rescanButton()->isVisibleTo(view.get()));
    executor->settle();
    ASSERT_EQ(state().permissionGrants().size(), 1u);
    EXPECT_EQ(state().permissionGrants()[0].displayName, "Microphone");
    ASSERT_EQ(state().privacy().categories.size(), 1u);
    EXPECT_EQ(state().privacy().categories[0].items.size(), 1u);
}

TEST_F(PrivacyViewTest, RevokeResetsThePermissionThroughTheShellAndTheRowFollowsTheOutcome) {
    answerExtras(kRows, kNetworks);
    auto view = shownView();
    executor->settle();
    view->setSection(PrivacyView::permissions);

    const std::string tccutil = systemTool("/usr/bin/tccutil");
    runner->answer(tccutil + " reset 'kTCCServiceCamera'", true);
    QWidget* camera = grantRow(*view, "com.example.chat|kTCCServiceCamera");
    ASSERT_TRUE(camera);
    QTest::mouseClick(camera->findChild<LinkButton*>("revoke"), Qt::LeftButton);
    executor->settle();
    EXPECT_EQ(runner->commands().back(), tccutil + " reset 'kTCCServiceCamera' 'com.example.chat'");
    EXPECT_FALSE(grantRow(*view, "com.example.chat|kTCCServiceCamera"));
    ASSERT_TRUE(state().banner());
    EXPECT_EQ(state().banner()->text, "Revoked Camera for com.example.chat.");
    EXPECT_FALSE(state().banner()->isError);

    // The tool fails (no answer: it is missing): the row stays.
    QWidget* bluetooth = grantRow(*view, "com.example.chat|kTCCServiceBluetoothAlways");
    ASSERT_TRUE(bluetooth);
    QTest::mouseClick(bluetooth->findChild<LinkButton*>("revoke"), Qt::LeftButton);
    executor->settle();
    EXPECT_EQ(runner->commands().back(), tccutil + " reset 'kTCCServiceBluetoothAlways' 'com.example.chat'");
    EXPECT_TRUE(grantRow(*view, "com.example.chat|kTCCServiceBluetoothAlways"));
    EXPECT_EQ(state().banner()->text, "Could not revoke Bluetooth.");
    EXPECT_TRUE(state().banner()->isError);

    // The last grant revoked: the section says nothing is readable.
    runner->answer(tccutil + " reset 'kTCCServiceBluetoothAlways'", true);
    QTest::mouseClick(grantRow(*view, "com.example.chat|kTCCServiceBluetoothAlways")->findChild<LinkButton*>("revoke"),
                      Qt::LeftButton);
    executor->settle();
    EXPECT_TRUE(state().permissionGrants().empty());
    auto* empty = emptyState(view->permissionsPage());
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->findChild<TextLabel*>("title")->text(), "No permissions readable");
}

TEST_F(PrivacyViewTest, EmptySectionsAndHintsOpenThePanesTheyName) {
    fs::remove_all(home() / "Library");
    auto view = shownView();
    executor->settle();
    EXPECT_EQ(view->tracesContent(), "empty");
    auto* traces = emptyState(view.get());
    ASSERT_TRUE(traces);
    EXPECT_EQ(traces->findChild<TextLabel*>("title")->text(), "No browsing traces found");
    QTest::mouseClick(traces->actionButton(), Qt::LeftButton);
    EXPECT_TRUE(state().isScanning(ModuleID::privacy));
    EXPECT_EQ(state().progress().message, "Reading browser traces\u2026");
    executor->settle();

    // Permissions: the hint and the empty state both open Full Disk Access.
    auto* permissionsHint = view->permissionsPage()->findChild<PermissionHint*>();
    QTest::mouseClick(permissionsHint->button(), Qt::LeftButton);
    auto* noGrants = emptyState(view->permissionsPage());
    ASSERT_TRUE(noGrants);
    EXPECT_EQ(noGrants->findChild<TextLabel*>("message")->text(),
              "macOS keeps the permission database behind Full Disk Access. Grant it, then rescan.");
    QTest::mouseClick(noGrants->actionButton(), Qt::LeftButton);
    EXPECT_EQ(services.opened, (std::vector<std::string>{SystemLinks::kFullDiskAccess, SystemLinks::kFullDiskAccess}));

    // Wi-Fi: the hint opens Full Disk Access, behind which the networks are
    // read; the empty state's button the Wi-Fi pane, where they are forgotten.
    services.opened.clear();
    auto* wifiHint = view->wifiPage()->findChild<PermissionHint*>();
    EXPECT_EQ(wifiHint->button()->text(), "Open Settings");
    QTest::mouseClick(wifiHint->button(), Qt::LeftButton);
    auto* noNetworks = emptyState(view->wifiPage());
    ASSERT_TRUE(noNetworks);
    EXPECT_EQ(noNetworks->findChild<TextLabel*>("title")->text(), "No remembered networks");
    EXPECT_EQ(noNetworks->actionButton()->text(), "Open Wi-Fi Settings");
    QTest::mouseClick(noNetworks->actionButton(), Qt::LeftButton);
    EXPECT_EQ(services.opened, (std::vector<std::string>{SystemLinks::kFullDiskAccess, SystemLinks::kWiFi}));
}

TEST(PrivacyIcons, EachKnownServiceHasItsSymbolAndAnyOtherALock) {
    struct Case {
        std::string service;
        Symbol symbol;
    };
    const std::vector<Case> cases = {
        {"kTCCServiceCamera", "camera"},
        {"kTCCServiceMicrophone", "mic"},
        {"kTCCServiceScreenCapture", "rectangle.dashed.badge.record"},
        {"kTCCServiceAccessibility", "figure.wave"},
        {"kTCCServiceListenEvent", "keyboard"},
        {"kTCCServicePhotos", "photo"},
        {"kTCCServiceCalendar", "calendar"},
        {"kTCCServiceAddressBook", "person.crop.circle"},
        {"kTCCServiceSystemPolicyAllFiles", "internaldrive"},
        {"kTCCServiceAppleEvents", "gearshape.2"},
        {"kTCCServiceBluetoothAlways", "lock"},
        {"kTCCServicecamera", "lock"},
        {"", "lock"},
    };
    for (const Case& c : cases) EXPECT_EQ(PrivacyView::icon(c.service), c.symbol) << c.service;
}

}  // namespace
