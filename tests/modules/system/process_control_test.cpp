#include <gtest/gtest.h>

#include "modules/system/process_control.h"
#include "platform/user.h"
#include "support/app_bundle.h"
#include "support/fake_workspace.h"
#include "support/recording_runner.h"
#include "support/test_env.h"

using namespace testing_support;
using Workspace::RunningApplication;

namespace {

RunningApplication makeApp(int32_t pid, std::optional<std::string> name, std::optional<std::string> bundleID,
                           std::optional<std::string> bundle, std::optional<std::string> executable) {
    RunningApplication app;
    app.processIdentifier = pid;
    app.localizedName = std::move(name);
    app.bundleIdentifier = std::move(bundleID);
    if (bundle) app.bundleURL = *bundle;
    if (executable) app.executableURL = *executable;
    return app;
}

std::vector<int32_t> pids(const std::vector<RunningApplication>& apps) {
    std::vector<int32_t> out;
    for (const auto& a : apps) out.push_back(a.processIdentifier);
    return out;
}

class ProcessControlTest : public TestEnv {
protected:
    void SetUp() override {
        TestEnv::SetUp();
        workspace = installFakeWorkspace();
    }
    std::shared_ptr<FakeWorkspace> workspace;
};

}  // namespace

TEST_F(ProcessControlTest, FindsInstancesRunningFromTheVeryBundleOnce) {
    const std::string app = "/Applications/Notes.app";
    workspace->add(makeApp(10, "Other", "com.other", "/Applications/Other.app", "/Applications/Other.app/Contents/MacOS/Other"));
    workspace->add(makeApp(11, "Helper", std::nullopt, std::nullopt, app + "/Contents/Helpers/helper"));
    workspace->add(makeApp(12, "Notes", "com.example.notes", app, app + "/Contents/MacOS/Notes"));
    // Another copy of the application, elsewhere: same file name, same identifier.
    workspace->add(makeApp(13, "Copy", std::nullopt, std::nullopt, "/Users/me/Desktop/Notes.app/Contents/MacOS/Notes"));
    workspace->add(makeApp(16, "Backup", "com.example.notes", "/Backup/Notes.app", "/Backup/Notes.app/Contents/MacOS/Notes"));
    workspace->add(makeApp(14, "Prefix", std::nullopt, std::nullopt, "/Applications/Notes.apple/x"));
    workspace->add(makeApp(17, "Longer", std::nullopt, "/Applications/Notes.app.old", "/Applications/Notes.app.old/x"));
    workspace->add(makeApp(15, "Bundle", std::nullopt, app, std::nullopt));

    // The identifier's own instances come first, then the workspace order; 12 only once.
    EXPECT_EQ(pids(ProcessControl::runningApplications("com.example.notes", app)), (std::vector<int32_t>{12, 11, 15}));
    EXPECT_EQ(pids(ProcessControl::runningApplications("com.example.notes", app + "/")),
              (std::vector<int32_t>{12, 11, 15}));

    // A bundle path that names nothing in particular matches no process by path.
    EXPECT_TRUE(ProcessControl::runningApplications("", "").empty());
    EXPECT_TRUE(ProcessControl::runningApplications("", "/").empty());
    EXPECT_TRUE(ProcessControl::runningApplications("", "/Applications/.app").empty());
    EXPECT_TRUE(ProcessControl::runningApplications("com.example.notes", "").empty());
}

TEST_F(ProcessControlTest, TheBundleIsKnownWhereItReallyIs) {
    // The bundle removed is reached through a link; the process reports the
    // bundle's real path.
    const auto real = sys("/Volumes/Data/Applications/Notes.app");
    makeFolders(real / "Contents/MacOS");
    makeSymlink(real, sys("/Applications/Notes.app"));
    const auto copy = sys("/Volumes/Data/Applications/Notes copy.app");
    makeFolders(copy / "Contents/MacOS");
    workspace->add(makeApp(20, "Notes", std::nullopt, std::nullopt, real.string() + "/Contents/MacOS/Notes"));
    workspace->add(makeApp(21, "Copy", std::nullopt, std::nullopt, copy.string() + "/Contents/MacOS/Notes"));
    EXPECT_EQ(pids(ProcessControl::runningApplications("", sys("/Applications/Notes.app"))), (std::vector<int32_t>{20}));
}

TEST_F(ProcessControlTest, NotRunningReturnsAtOnce) {
    FakeClock clock;
    EXPECT_TRUE(ProcessControl::terminate("com.example.notes", "/Applications/Notes.app").empty());
    EXPECT_EQ(clock.sleeps(), 0);
    EXPECT_TRUE(workspace->requests().empty());
}

TEST_F(ProcessControlTest, QuitsWithinGracePeriodWithoutForce) {
    FakeClock clock;
    workspace->add(makeApp(20, "Notes", "com.example.notes", "/Applications/Notes.app", std::nullopt),
                   {.acceptsQuit = true, .quitsAfter = std::chrono::milliseconds(1000)});
    EXPECT_EQ(ProcessControl::terminate("com.example.notes", "/Applications/Notes.app"),
              (std::vector<std::string>{"Quit Notes"}));
    EXPECT_EQ(workspace->requests(), (std::vector<std::string>{"terminate 20"}));
    EXPECT_GE(clock.elapsed(), std::chrono::milliseconds(1000));
    EXPECT_LT(clock.elapsed(), std::chrono::milliseconds(1200));
}

TEST_F(ProcessControlTest, ForcesWhatSurvivesTheGracePeriod) {
    FakeClock clock;
    const std::string app = "/Applications/Notes.app";
    workspace->add(makeApp(30, "Notes", "com.example.notes", app, std::nullopt), {.quitsAfter = std::nullopt});
    workspace->add(makeApp(31, std::nullopt, std::nullopt, std::nullopt, app + "/Contents/MacOS/agent"),
                   {.acceptsQuit = false, .quitsAfter = std::nullopt});
    workspace->add(makeApp(32, "", std::nullopt, std::nullopt, app + "/Contents/MacOS/other"),
                   {.quitsAfter = std::chrono::milliseconds(0)});
    workspace->add(makeApp(33, "Stuck", std::nullopt, std::nullopt, app + "/Contents/MacOS/stuck"),
                   {.quitsAfter = std::nullopt, .diesWhenForced = false});

    auto log = ProcessControl::terminate("com.example.notes", app);
    // A refused request logs nothing; a nameless instance is "the running app";
    // a force quit is logged whatever it answered.
    EXPECT_EQ(log, (std::vector<std::string>{"Quit Notes", "Quit the running app", "Quit Stuck", "Force quit Notes",
                                             "Force quit the running app", "Force quit Stuck"}));
    EXPECT_EQ(workspace->requests(),
              (std::vector<std::string>{"terminate 30", "terminate 31", "terminate 32", "terminate 33", "force 30",
                                        "force 31", "force 33"}));
    // Polled every 150 ms until the 3-second deadline, on the fake clock.
    EXPECT_GE(clock.elapsed(), std::chrono::milliseconds(3000));
    EXPECT_LE(clock.elapsed(), std::chrono::milliseconds(3150));
    EXPECT_EQ(clock.sleeps(), 20);
}

TEST(ProcessControlLabels, MatchingTable) {
    const std::string listing =
        "PID\tStatus\tLabel\n"
        "123\t0\tcom.example.Notes.sync\n"
        "-\t0\tapplication.notes.4711\n"
        "-\t0\tapplication.Notesy.1\n"
        "\n"
        "456\t0\tcom.apple.Finder\n"
        "-\t0\t   com.example.notes.helper  \n"
        "no tabs com.example.notes.plain\n"
        "-\t0\t   \n";
    struct Case {
        std::string bundleID, name;
        std::vector<std::string> labels;
    };
    const std::vector<Case> cases = {
        // The identifier itself or it and a dot-suffix; "application." and the
        // name, alone or with a dot-suffix. A label that merely contains the
        // identifier, or a longer name, is another job's.
        {"com.example.notes", "Notes", {"com.example.Notes.sync", "application.notes.4711", "com.example.notes.helper"}},
        {"COM.EXAMPLE.NOTES", "", {"com.example.Notes.sync", "com.example.notes.helper"}},
        {"com.example.note", "Note", {}},
        // Identifiers that would claim unrelated jobs match nothing by identifier.
        {"", "Finder", {}},
        {"com", "", {}},
        {"", "", {}},
        {"com.apple.finder", "", {"com.apple.Finder"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ProcessControl::matchingLabels(listing, c.bundleID, c.name), c.labels) << c.bundleID << " / " << c.name;
}

TEST(ProcessControlLabels, AnotherInstalledApplicationsJobsStayLoaded) {
    const std::string listing =
        "PID\tStatus\tLabel\n"
        "1\t0\tcom.apple.Safari.History\n"
        "2\t0\tcom.apple.mail\n"
        "3\t0\tcom.adobe.Acrobat.update\n"
        "4\t0\tcom.a.agent\n"
        "5\t0\tcom.google.Chrome.helper\n"
        "6\t0\tcom.google.Chrome.canary.agent\n"
        "7\t0\tcom.google.Chrome\n";
    const std::vector<AppMatch::App> installed = {
        {"Google Chrome", "com.google.Chrome", "/Applications/Google Chrome.app"},
        {"Google Chrome Canary", "com.google.Chrome.canary", "/Applications/Google Chrome Canary.app"},
    };
    struct Case {
        std::string bundleID, name;
        std::vector<std::string> labels;
    };
    const std::vector<Case> cases = {
        {"com.a", "A", {"com.a.agent"}},
        {"com.google.Chrome", "Google Chrome", {"com.google.Chrome.helper", "com.google.Chrome"}},
        {"com.google.Chrome.canary", "Google Chrome Canary", {"com.google.Chrome.canary.agent"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ProcessControl::matchingLabels(listing, c.bundleID, c.name, installed), c.labels) << c.bundleID;
}

TEST_F(ProcessControlTest, UnregistersJobsAndStopsAgentsWithQuotedCommandLines) {
    User::setUidForTesting(501);
    RecordingRunner runner;
    runner.answer(systemTool("/bin/launchctl") + " list", false,
                  "PID\tStatus\tLabel\n123\t0\tcom.example.Notes.sync\n-\t0\tcom.example.notes.it's\n-\t0\tcom.apple.Dock\n");
    runner.answer(systemTool("/bin/launchctl") + " bootout 'gui/501/com.example.Notes.sync'", true);
    runner.answer(systemTool("/bin/launchctl") + " remove 'com.example.notes.it'\\''s'", true);
    runner.answer(systemTool("/bin/launchctl") + " bootout 'gui/501/com.example.notes.agent'", true);

    writeFile(home() / "Library/LaunchAgents/com.example.notes.agent.plist", "x");
    writeFile(home() / "Library/LaunchAgents/com.example.notes.upper.PLIST", "x");
    writeFile(home() / "Library/LaunchAgents/com.other.agent.plist", "x");
    writeFile(sys("/Library/LaunchAgents/COM.Example.Notes.system.plist"), "x");

    auto log = ProcessControl::unregisterLoginItems("com.example.notes", "Notes");
    EXPECT_EQ(log, (std::vector<std::string>{"Unregistered login item com.example.Notes.sync",
                                             "Unregistered login item com.example.notes.it's",
                                             "Stopped agent com.example.notes.agent"}));
    EXPECT_EQ(runner.commands(), (std::vector<std::string>{
                                     systemTool("/bin/launchctl") + " list",
                                     systemTool("/bin/launchctl") + " bootout 'gui/501/com.example.Notes.sync'",
                                     systemTool("/bin/launchctl") + " remove 'com.example.Notes.sync'",
                                     systemTool("/bin/launchctl") + " bootout 'gui/501/com.example.notes.it'\\''s'",
                                     systemTool("/bin/launchctl") + " remove 'com.example.notes.it'\\''s'",
                                     systemTool("/bin/launchctl") + " bootout 'gui/501/com.example.notes.agent'",
                                     systemTool("/bin/launchctl") + " bootout 'gui/501/COM.Example.Notes.system'",
                                 }));
    // The property lists themselves stay.
    EXPECT_TRUE(std::filesystem::exists(home() / "Library/LaunchAgents/com.example.notes.agent.plist"));
}

TEST_F(ProcessControlTest, EmptyIdentifierStopsNoAgent) {
    RecordingRunner runner;
    runner.answer(systemTool("/bin/launchctl") + " list", true, "-\t0\tcom.example.notes\n");
    writeFile(home() / "Library/LaunchAgents/com.example.notes.plist", "x");
    EXPECT_TRUE(ProcessControl::unregisterLoginItems("", "").empty());
    EXPECT_EQ(runner.commands(), (std::vector<std::string>{systemTool("/bin/launchctl") + " list"}));
}

TEST_F(ProcessControlTest, AnInstalledSiblingKeepsItsJobsAndAgents) {
    User::setUidForTesting(501);
    writeAppBundle(sys("/Applications/Google Chrome.app"), "com.google.Chrome", "1");
    writeAppBundle(sys("/Applications/Google Chrome Canary.app"), "com.google.Chrome.canary", "1");
    RecordingRunner runner;
    const std::string launchctl = systemTool("/bin/launchctl");
    runner.answer(launchctl + " list", true, "-\t0\tcom.google.Chrome.canary.sync\n-\t0\tcom.google.Chrome.sync\n");
    writeFile(home() / "Library/LaunchAgents/com.google.Chrome.canary.update.plist", "x");
    writeFile(home() / "Library/LaunchAgents/com.google.Chrome.update.plist", "x");

    ProcessControl::unregisterLoginItems("com.google.Chrome", "Google Chrome");
    EXPECT_EQ(runner.commands(), (std::vector<std::string>{
                                     launchctl + " list",
                                     launchctl + " bootout 'gui/501/com.google.Chrome.sync'",
                                     launchctl + " remove 'com.google.Chrome.sync'",
                                     launchctl + " bootout 'gui/501/com.google.Chrome.update'",
                                 }));
}
