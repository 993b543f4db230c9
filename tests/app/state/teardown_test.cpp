// The state goes away while its actions' work still runs: nothing crashes,
// nothing reaches the gone state, and the work ends.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <atomic>
#include <future>

#include "engine/admin.h"
#include "engine/clean_history.h"
#include "platform/file_facts.h"
#include "state_test_env.h"
#include "support/fake_workspace.h"
#include "support/recording_runner.h"

using namespace testing_support;
namespace fs = std::filesystem;

TEST_F(StateTest, EveryActionLeftRunningWhenTheStateGoesPublishesNothing) {
    RecordingRunner runner;
    auto workspace = installFakeWorkspace();
    writeFile(sys("/usr/bin/qlmanage"), "");
    oldFile(home() / "Library/Mail Downloads/invoice.pdf", 8192, 40);
    state().scanMail();
    settle();
    const ScanReport mail = state().mail();

    const std::pair<const char*, std::function<void(AppState&)>> actions[] = {
        {"system junk", [](AppState& s) { s.scanSystemJunk(); }},
        {"smart scan", [](AppState& s) { s.smartScanAll(); }},
        {"login items", [](AppState& s) { s.loadLoginItems(); }},
        {"privacy extras", [](AppState& s) { s.loadPrivacyExtras(); }},
        {"processes", [](AppState& s) { s.loadProcesses(); }},
        {"applications", [](AppState& s) { s.loadApps(); }},
        {"orphans", [](AppState& s) { s.scanOrphans(); }},
        {"update check", [](AppState& s) { s.checkForUpdates(); }},
        {"disk map", [&](AppState& s) { s.buildDiskMap(home()); }},
        {"maintenance", [](AppState& s) { s.runTask("quicklook"); }},
        {"quit",
         [](AppState& s) {
             RunningApp ghost;
             ghost.id = 4242;
             ghost.name = "Ghost";
             s.quit(ghost, true);
         }},
        {"revoke", [](AppState& s) { s.revoke({"a.b|kTCCServiceCamera", "a.b", "kTCCServiceCamera", "Camera", true}); }},
        {"leftovers",
         [](AppState& s) {
             InstalledApp gone;
             gone.id = "/x/Y.app";
             gone.name = "Y";
             gone.url = "/x/Y.app";
             s.select(gone);
         }},
        {"banner", [](AppState& s) { s.showBanner("Soon gone", false); }},
    };
    for (const auto& [name, start] : actions) {
        makeState();
        start(state());
        const ScanTokenRef token = state().token();
        const int droppedBefore = executor->droppedPosts();
        state_.reset();
        // The work it began runs on without it and ends.
        executor->advance(std::chrono::minutes(1));
        EXPECT_EQ(executor->runPosts(), 0) << name;
        executor->runWork();
        EXPECT_EQ(executor->runPosts(), 0) << name;
        EXPECT_GT(executor->droppedPosts(), droppedBefore) << name;
        EXPECT_EQ(executor->queuedWork(), 0u) << name;
        EXPECT_EQ(executor->queuedPosts(), 0u) << name;
        // Nothing can receive a result any more: the scan under way was told to stop.
        if (token) {
            EXPECT_TRUE(token->isCancelled()) << name;
        }
    }

    // A cleaning whose window went away still removes what was asked and
    // says so in the history, though no summary can be shown.
    makeState();
    state().clean(mail, ModuleID::mailAttachments, true);  // nothing ticked: only a banner
    EXPECT_EQ(executor->queuedWork(), 0u);
    ScanReport ticked = mail;
    ticked.categories[0].items[0].isSelected = true;
    state().clean(ticked, ModuleID::mailAttachments, true);
    state_.reset();
    executor->settle();
    EXPECT_TRUE(existsItself(home() / ".Trash/invoice.pdf"));
    ASSERT_EQ(CleanHistory::recent(5).size(), 1u);
    EXPECT_EQ(CleanHistory::recent(5)[0].removedCount, 1);
}

TEST_F(StateTest, WithTheThreadPoolTheStateCanGoWhileItsWorkIsHalfwayThrough) {
    writeFile(sys("/usr/bin/qlmanage"), "");
    std::promise<void> entered, release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<bool> workEnded = false, once = false;
    Admin::setRunnerForTesting([&, released](const std::string&, bool) {
        if (!once.exchange(true)) entered.set_value();
        released.wait();
        workEnded = true;
        Admin::Result ok;
        ok.ok = true;
        ok.exitStatus = 0;
        return ok;
    });

    auto pool = makeThreadPoolExecutor();
    auto window = std::make_unique<AppState>(pool, std::vector<std::string>{"vessiltane"});
    oldFile(home() / "Library/Mail Downloads/invoice.pdf", 8192, 40);
    window->runTask("quicklook");
    window->scanMail();
    window->showBanner("Going", false);
    entered.get_future().wait();  // the task's tool is running now
    window.reset();
    release.set_value();
    waitForBackgroundWork();
    // Whatever the work posted back is turned away when the event loop gets to it.
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 200) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_TRUE(workEnded);
}
