// The tool screens' actions: startup items, permissions and Wi-Fi networks,
// running applications and maintenance tasks. No tool of the machine runs:
// the shell and the administrator prompt answer from the test.
#include <gtest/gtest.h>

#include "engine/admin.h"
#include "platform/plist.h"
#include "state_test_env.h"
#include "support/fake_workspace.h"
#include "support/recording_runner.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

Admin::Result result(bool ok, std::string output = {}, bool cancelled = false) {
    Admin::Result r;
    r.ok = ok;
    r.exitStatus = ok ? 0 : 1;
    r.output = std::move(output);
    r.cancelled = cancelled;
    return r;
}

const MaintenanceTask& task(const AppState& state, const std::string& id) {
    for (const auto& t : state.tasks())
        if (t.id == id) return t;
    throw std::runtime_error("no task " + id);
}

}  // namespace

TEST_F(StateTest, LoginItemsLoadOnceAtATimeWithTheBrokenOnesAsAReport) {
    RecordingRunner runner;  // no launchctl, no sfltool
    writeFile(home() / "Library/LaunchAgents/com.example.helper.plist",
              Plist::toXml(Plist::Value::makeDict({{"Label", Plist::Value::makeString("com.example.helper")},
                                                   {"Program", Plist::Value::makeString("/opt/gone/helper")}})));
    state().loadLoginItems();
    EXPECT_EQ(state().activeScan(), ModuleID::loginItems);
    EXPECT_EQ(state().progress().message, "Reading login items\u2026");
    state().loadLoginItems();  // already loading: nothing more
    EXPECT_EQ(executor->queuedWork(), 1u);
    settle();
    ASSERT_EQ(state().loginEntries().size(), 1u);
    EXPECT_EQ(state().loginEntries()[0].name, "com.example.helper");
    const ScanReport& report = state().report(ModuleID::loginItems);
    ASSERT_EQ(categoryIDs(report), std::vector<std::string>{"broken-login-items"});
    EXPECT_EQ(report.itemCount(), 1);
    EXPECT_FALSE(state().progress().isRunning);

    // Superseded by another scan: nothing of it is published.
    fs::remove(home() / "Library/LaunchAgents/com.example.helper.plist");
    state().loadLoginItems();
    state().scanMail();
    settle();
    EXPECT_EQ(state().loginEntries().size(), 1u);
}

TEST_F(StateTest, AStartupItemActionReadsTheItemsAgainWithoutStoppingAScanStartedMeanwhile) {
    RecordingRunner runner;  // no launchctl: the agent is a user one, removed to the Trash
    const fs::path agent = home() / "Library/LaunchAgents/com.example.helper.plist";
    const fs::path other = home() / "Library/LaunchAgents/com.example.other.plist";
    for (const fs::path& plist : {agent, other})
        writeFile(plist, Plist::toXml(Plist::Value::makeDict(
                             {{"Label", Plist::Value::makeString(plist.stem().string())},
                              {"Program", Plist::Value::makeString("/opt/gone/" + plist.stem().string())}})));
    oldFile(home() / "Library/Mail Downloads/invoice.pdf", 8192, 40);
    struct Case {
        const char* name;
        bool scanMeanwhile;  // the user starts a Mail scan while the removal runs
    } cases[] = {{"alone", false}, {"beside a scan", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        makeState();
        state().loadLoginItems();
        settle();
        ASSERT_EQ(state().loginEntries().size(), c.scanMeanwhile ? 1u : 2u);
        const LoginEntry entry = state().loginEntries().front();
        state().removeLoginItem(entry);
        executor->runWork();  // the removal
        ScanTokenRef mailToken;
        if (c.scanMeanwhile) {
            state().scanMail();
            mailToken = state().token();
        }
        executor->runPosts();  // the removal's outcome: the banner and the new read
        if (c.scanMeanwhile) {
            // The Mail scan runs on, its line and its token untouched.
            EXPECT_FALSE(mailToken->isCancelled());
            EXPECT_EQ(state().token(), mailToken);
            EXPECT_TRUE(state().isScanning(ModuleID::mailAttachments));
            EXPECT_EQ(state().progress().message, "Reading Mail\u2026");
        } else {
            EXPECT_TRUE(state().isScanning(ModuleID::loginItems));
        }
        settle();
        // Either way the list no longer holds the removed agent, and the Mail
        // scan, if one ran, stored its report.
        for (const LoginEntry& e : state().loginEntries()) EXPECT_NE(e.name, entry.name);
        EXPECT_EQ(state().loginEntries().size(), c.scanMeanwhile ? 0u : 1u);
        EXPECT_EQ(state().hasReport(ModuleID::mailAttachments), c.scanMeanwhile);
        EXPECT_FALSE(state().progress().isRunning);
    }
}

TEST_F(StateTest, PermissionsAndNetworksLoadAndARevokeQuotesWhatItHandsTheTool) {
    RecordingRunner runner;
    writeFile(home() / "Library/Application Support/com.apple.TCC/TCC.db", "db");
    const std::string sqlite = Admin::quote(sys("/usr/bin/sqlite3").native());
    runner.answer(sqlite, true,
                  "com.example.app|kTCCServiceCamera|2\n"
                  "com.example.app|kTCCServiceCamera|2\n"  // listed twice under one id
                  "com.x'; touch pwned; '|kTCCServiceMicrophone|2\n");
    runner.answer(Admin::quote(sys("/usr/sbin/networksetup").native()), true,
                  "Preferred networks on en0:\n\tHome\n\tCafe Wi-Fi\n");
    state().loadPrivacyExtras();
    EXPECT_EQ(state().activeScan(), ModuleID::privacy);
    EXPECT_EQ(state().progress().message, "Reading permissions\u2026");
    settle();
    ASSERT_EQ(state().permissionGrants().size(), 3u);
    EXPECT_EQ(state().wifiNetworks(), (std::vector<std::string>{"Home", "Cafe Wi-Fi"}));
    EXPECT_FALSE(state().progress().isRunning);

    const std::string tccutil = Admin::quote(sys("/usr/bin/tccutil").native());
    runner.answer(tccutil + " reset 'kTCCServiceCamera'", true);
    const PermissionGrant camera = state().permissionGrants()[0];
    const PermissionGrant microphone = state().permissionGrants()[2];
    ASSERT_EQ(camera.displayName, "Camera");
    state().revoke(camera);
    settle();
    EXPECT_EQ(runner.commands().back(), tccutil + " reset 'kTCCServiceCamera' 'com.example.app'");
    ASSERT_EQ(state().permissionGrants().size(), 1u);  // both entries of that id went
    EXPECT_EQ(state().banner()->text, "Revoked Camera for com.example.app.");
    EXPECT_FALSE(state().banner()->isError);

    // The tool fails: the row stays. Its odd client reached the tool as one argument.
    state().revoke(microphone);
    settle();
    EXPECT_EQ(runner.commands().back(), tccutil + " reset 'kTCCServiceMicrophone' 'com.x'\\''; touch pwned; '\\'''");
    EXPECT_EQ(state().permissionGrants().size(), 1u);
    EXPECT_EQ(state().banner()->text, "Could not revoke Microphone.");
    EXPECT_TRUE(state().banner()->isError);
}

TEST_F(StateTest, HeavyConsumersUseAFifthOfACpuOrMoreThan1500MiB) {
    struct Case {
        double cpu;
        int64_t memory;
        bool heavy;
    } cases[] = {
        {20.0, 0, true},
        {19.99, 0, false},
        {19.9, 1'572'864'000, true},   // 1,500 MiB exactly
        {19.9, 1'572'863'999, false},  // one byte less
        {0, INT64_MAX, true},
    };
    for (const auto& c : cases) {
        RunningApp app;
        app.cpuPercent = c.cpu;
        app.memoryBytes = c.memory;
        EXPECT_EQ(AppState::isHeavyConsumer(app), c.heavy) << c.cpu << " % " << c.memory << " bytes";
    }

    auto workspace = installFakeWorkspace();
    for (int32_t pid : {101, 102, 103, 104, 105}) {
        Workspace::RunningApplication app;
        app.processIdentifier = pid;
        app.localizedName = "App" + std::to_string(pid);
        workspace->add(app);
    }
    RecordingRunner runner;
    // Resident sizes in KiB: 1,536,000 KiB is 1,500 MiB.
    runner.answer("LC_ALL=C /bin/ps -Ao pid,pcpu,rss,comm", true,
                  "  PID  %CPU      RSS COMM\n"
                  "  101  20.0     1024 a\n"
                  "  102  19.9  1536000 b\n"
                  "  103  19.9  1535999 c\n"
                  "  104   0.0     2048 d\n");
    runner.answer("LC_ALL=C /bin/ps -Ao pid,state,pcpu,rss,comm", true,
                  "  PID STAT  %CPU      RSS COMM\n"
                  "  105 U      0.0      100 e\n");
    state().loadProcesses();
    EXPECT_EQ(state().activeScan(), ModuleID::optimization);
    EXPECT_EQ(state().progress().message, "Sampling running apps\u2026");
    settle();
    std::vector<int32_t> heavy, hung;
    for (const auto& app : state().heavyConsumers()) heavy.push_back(app.id);
    for (const auto& app : state().hungApplications()) hung.push_back(app.id);
    EXPECT_EQ(heavy, (std::vector<int32_t>{102, 101}));  // largest memory first, as listed
    EXPECT_EQ(hung, std::vector<int32_t>{105});
    EXPECT_FALSE(state().progress().isRunning);
}

TEST_F(StateTest, QuittingSaysWhetherTheApplicationEnded) {
    FakeClock clock;
    auto workspace = installFakeWorkspace();
    Workspace::RunningApplication frozen;
    frozen.processIdentifier = 201;
    frozen.localizedName = "Frozen";
    workspace->add(frozen);
    QSignalSpy processes(&state(), &AppState::processesChanged);

    RunningApp app;
    app.id = 201;
    app.name = "Frozen";
    state().quit(app, false);
    settle();
    EXPECT_EQ(state().banner()->text, "Quit Frozen.");
    EXPECT_FALSE(state().banner()->isError);

    app.id = 999;
    app.name = "Ghost";
    state().quit(app, true);
    settle();
    EXPECT_EQ(state().banner()->text, "Could not quit Ghost.");
    EXPECT_TRUE(state().banner()->isError);
    EXPECT_EQ(processes.count(), 0);  // the lists are not reloaded
}

TEST_F(StateTest, MaintenanceTasksReportHowTheirRunEnded) {
    // Present: the Quick Look and DNS tools. Absent: the periodic scripts.
    writeFile(sys("/usr/bin/qlmanage"), "");
    writeFile(sys("/usr/bin/dscacheutil"), "");
    const std::string reasons = "\n \nreason one\n" + std::string(226, 'r');  // 240 characters
    struct Case {
        const char* id;
        Admin::Result answer;
        std::string outcome;
        bool succeeded;
        std::string banner;
        bool isError;
    } cases[] = {
        {"quicklook", result(true, "ignored"), "Done.", true, "Refresh Quick Look finished.", false},
        {"quicklook", result(false, " \n\t\n"), "Failed.", false, "Refresh Quick Look could not complete. Failed.", true},
        {"quicklook", result(false, std::string(50, 'p') + reasons + "\n\n"), reasons, false,
         "Refresh Quick Look could not complete. reason one", true},
        {"dns", result(false, "", true), "Cancelled \u2014 no changes were made.", false,
         "Flush DNS Cache needs administrator approval to run.", false},
        {"dns", result(true), "Done.", true, "Flush DNS Cache finished.", false},
    };
    std::vector<std::string> userCommands, rootScripts;
    const Case* current = nullptr;
    Admin::setRunnerForTesting([&](const std::string& line, bool merged) {
        userCommands.push_back(line + (merged ? " [merged]" : ""));
        return current->answer;
    });
    Admin::setPrivilegedBackendForTesting([&](const fs::path& script, const std::optional<std::string>&) {
        rootScripts.push_back(readFile(script));
        return current->answer;
    });
    QSignalSpy volume(&state(), &AppState::volumeChanged);

    std::optional<bool> lastSucceeded;
    for (const auto& c : cases) {
        current = &c;
        state().runTask(c.id);
        const MaintenanceTask& running = task(state(), c.id);
        EXPECT_TRUE(running.isRunning) << c.id;
        EXPECT_FALSE(running.outcome) << c.id;
        if (std::string(c.id) == "quicklook") {
            EXPECT_EQ(running.succeeded, lastSucceeded);
        }
        const int volumeReads = int(volume.count());
        settle();
        const MaintenanceTask& done = task(state(), c.id);
        EXPECT_FALSE(done.isRunning) << c.id;
        EXPECT_EQ(done.succeeded, c.succeeded) << c.id;
        EXPECT_EQ(done.outcome, c.outcome) << c.id;
        EXPECT_EQ(state().banner()->text, c.banner);
        EXPECT_EQ(state().banner()->isError, c.isError) << c.banner;
        EXPECT_GT(volume.count(), volumeReads) << c.id;
        if (std::string(c.id) == "quicklook") lastSucceeded = c.succeeded;
    }
    EXPECT_EQ(userCommands.size(), 3u);
    EXPECT_EQ(userCommands[0], "/usr/bin/qlmanage -r; /usr/bin/qlmanage -r cache [merged]");
    ASSERT_EQ(rootScripts.size(), 2u);
    EXPECT_NE(rootScripts[0].find("/usr/bin/dscacheutil -flushcache"), std::string::npos);

    // Unavailable here: only the error banner, and the row never runs.
    state().runTask("periodic");
    EXPECT_EQ(state().banner()->text,
              "Run Maintenance Scripts: Apple removed the periodic scripts in macOS 26, so this task has nothing to "
              "run on this Mac.");
    EXPECT_TRUE(state().banner()->isError);
    EXPECT_FALSE(task(state(), "periodic").isRunning);
    state().runTask("no-such-task");
    EXPECT_EQ(executor->queuedWork(), 0u);
}

TEST_F(StateTest, TheDailyJobIsReadBackInstalledAndRemovedAndAGoneReceiverHearsNothing) {
    RecordingRunner runner;
    runner.answer(systemTool("/bin/launchctl"), true);
    EXPECT_FALSE(state().dailyJob().present);
    EXPECT_FALSE(state().dailyJob().hour);

    std::vector<AppState::DailyJobChange> changes;
    auto keep = [&](AppState::DailyJobChange change) { changes.push_back(std::move(change)); };
    Lifeline tab;
    state().installDailyCleanup(7, {ModuleID::photos, ModuleID::trashBins}, tab.receiver(), keep);
    EXPECT_FALSE(fs::exists(Schedule::plistURL()));  // off the main thread
    settle();
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_TRUE(changes[0].installed);
    EXPECT_FALSE(changes[0].error);
    const Schedule::InstalledJob job = state().dailyJob();
    EXPECT_TRUE(job.present);
    EXPECT_EQ(job.hour, 7);
    EXPECT_EQ(job.moduleNames, (std::vector<std::string>{"photos", "trashBins"}));

    // launchctl refuses: the file was written, so the job counts as there.
    runner.answer(systemTool("/bin/launchctl"), false, "Bootstrap failed: 5: Input/output error");
    state().installDailyCleanup(0, {ModuleID::systemJunk}, tab.receiver(), keep);
    settle();
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_TRUE(changes[1].installed);
    EXPECT_EQ(changes[1].error, "Wrote the job but could not load it: Bootstrap failed: 5: Input/output error");

    // The work still runs for a receiver that went, but nothing reaches it.
    runner.answer(systemTool("/bin/launchctl"), true);
    {
        Lifeline gone;
        state().removeDailyCleanup(gone.receiver(), keep);
    }
    settle();
    EXPECT_EQ(changes.size(), 2u);
    EXPECT_FALSE(state().dailyJob().present);
    state().removeDailyCleanup(tab.receiver(), keep);
    settle();
    ASSERT_EQ(changes.size(), 3u);
    EXPECT_FALSE(changes[2].installed);
    EXPECT_FALSE(changes[2].error);
    EXPECT_EQ(state().dailyJobLogFolder(), home() / "Library/Logs/Vessiltane");
}
