#include "modules/system/processes.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <thread>

#include "engine/admin.h"
#include "platform/clock.h"
#include "support/bundled_process.h"
#include "support/compiled_locale.h"
#include "support/fake_workspace.h"
#include "support/recording_runner.h"
#include "support/test_env.h"

using namespace testing_support;
using Workspace::ActivationPolicy;
using Workspace::RunningApplication;

namespace {

const std::string kUsage = "LC_ALL=C /bin/ps -Ao pid,pcpu,rss,comm";
const std::string kStates = "LC_ALL=C /bin/ps -Ao pid,state,pcpu,rss,comm";

RunningApplication makeApp(int32_t pid, std::optional<std::string> name, ActivationPolicy policy,
                           std::optional<std::string> bundleID = std::nullopt,
                           std::optional<std::string> bundle = std::nullopt) {
    RunningApplication app;
    app.processIdentifier = pid;
    app.localizedName = std::move(name);
    app.activationPolicy = policy;
    app.bundleIdentifier = std::move(bundleID);
    if (bundle) app.bundleURL = *bundle;
    return app;
}

std::vector<int32_t> ids(const std::vector<RunningApp>& apps) {
    std::vector<int32_t> out;
    for (const auto& a : apps) out.push_back(a.id);
    return out;
}

class ProcessesTest : public TestEnv {
protected:
    void SetUp() override {
        TestEnv::SetUp();
        workspace = installFakeWorkspace();
    }
    std::shared_ptr<FakeWorkspace> workspace;
};

}  // namespace

TEST_F(ProcessesTest, RunningAppsUnderADecimalCommaLocale) {
    // A German locale, where the decimal separator is a comma.
    CompiledLocale german(tmp() / "locales", "de_DE");
    ASSERT_TRUE(german.active()) << german.failure();
    ASSERT_EQ(std::string(std::localeconv()->decimal_point), ",");

    workspace->add(makeApp(101, "Safari", ActivationPolicy::regular, "com.apple.Safari", "/Applications/Safari.app"));
    workspace->add(makeApp(102, std::nullopt, ActivationPolicy::accessory, "com.example.menu"));
    workspace->add(makeApp(103, "Hidden", ActivationPolicy::prohibited, "com.example.hidden"));
    workspace->add(makeApp(104, "Notes", ActivationPolicy::regular, "com.apple.Notes", "/Applications/Notes.app"));
    for (int32_t pid : {106, 107, 108, 109}) workspace->add(makeApp(pid, "Broken", ActivationPolicy::regular));

    RecordingRunner runner;
    // What ps prints when it follows a German locale: decimal commas. Either
    // separator must read as the same figure.
    runner.answer(kUsage, true,
                  "  PID  %CPU      RSS COMM\n"
                  "  102   0,0   102400 /Applications/Menu Thing.app/Contents/MacOS/Menu Thing\n"
                  "  101  12,5   204800 /Applications/Safari.app/Contents/MacOS/Safari\n"
                  "  103  99,9  9999999 /usr/libexec/hidden\n"
                  "\n"
                  "  104   3.5   102400 /Applications/Notes.app/Contents/MacOS/Notes\n"
                  "  105   1,0     2048 not-an-application\n"
                  "  106   abc     2048 bad-cpu\n"
                  "  107   1,0       x1 bad-rss\n"
                  "  108   1,0,5   2048 two-commas\n"
                  "  109   1,0\n");

    const auto apps = Processes::runningApps();
    EXPECT_EQ(runner.commands(), std::vector<std::string>{kUsage});
    // Largest memory first; 102 and 104 are equal and keep the ps order.
    ASSERT_EQ(ids(apps), (std::vector<int32_t>{101, 102, 104}));
    EXPECT_EQ(apps[0], (RunningApp{101, "Safari", "com.apple.Safari", "/Applications/Safari.app", 12.5,
                                   int64_t(204800) * 1024, false}));
    EXPECT_EQ(apps[1], (RunningApp{102, "Unknown", "com.example.menu", std::nullopt, 0.0, int64_t(102400) * 1024, false}));
    EXPECT_EQ(apps[2].cpuPercent, 3.5);
}

TEST_F(ProcessesTest, HungRegularApplicationsInPsOrder) {
    workspace->add(makeApp(201, "Frozen", ActivationPolicy::regular, "com.example.frozen", "/Applications/Frozen.app"));
    workspace->add(makeApp(202, "Menu", ActivationPolicy::accessory));
    workspace->add(makeApp(203, std::nullopt, ActivationPolicy::regular));
    workspace->add(makeApp(204, "Busy", ActivationPolicy::regular));
    workspace->add(makeApp(205, "Sleepy", ActivationPolicy::regular));
    workspace->add(makeApp(206, "Stopped", ActivationPolicy::regular));
    workspace->add(makeApp(207, "Odd", ActivationPolicy::regular));
    workspace->add(makeApp(208, "Short", ActivationPolicy::regular));

    RecordingRunner runner;
    runner.answer(kStates, true,
                  "  PID STAT  %CPU      RSS COMM\n"
                  "  207 Z      abc       x1 odd figures\n"          // bad figures become 0
                  "  201 U+    2,5      1000 /Applications/Frozen.app/Contents/MacOS/Frozen\n"
                  "  202 Z      0.0      100 menu-only\n"            // accessory: never listed here
                  "  203 Us     0.1      200 nameless\n"
                  "  204 R     99.0      300 running\n"
                  "  205 S      0.0      400 sleeping\n"
                  "  206 T      0.0      500 stopped\n"
                  "  999 Z      0.0      600 not-an-application\n"
                  "  2x1 Z      0.0      600 bad-pid\n"
                  "  208 Z      0.0\n");                             // fewer than five columns

    const auto hung = Processes::hungProcesses();
    EXPECT_EQ(runner.commands(), std::vector<std::string>{kStates});
    EXPECT_EQ(hung, (std::vector<RunningApp>{
                        {207, "Odd", std::nullopt, std::nullopt, 0.0, 0, true},
                        {201, "Frozen", std::nullopt, std::nullopt, 2.5, 1000 * 1024, true},
                        {203, "Unknown", std::nullopt, std::nullopt, 0.1, 200 * 1024, true},
                    }));
}

TEST_F(ProcessesTest, NothingFromAFailedOrEmptyPs) {
    workspace->add(makeApp(301, "App", ActivationPolicy::regular));
    struct Case {
        const char* name;
        bool ok;
        std::string output;
    };
    const Case cases[] = {
        {"header only", true, "  PID STAT %CPU RSS COMM\n"},
        {"no output", true, ""},
        {"failed", false, "ps: illegal option\n  PID STAT %CPU RSS COMM\n  301 Z 1.0 100 App\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingRunner runner;
        runner.answer("", c.ok, c.output);
        EXPECT_TRUE(Processes::runningApps().empty());
        EXPECT_TRUE(Processes::hungProcesses().empty());
    }
}

TEST_F(ProcessesTest, QuitAsksThenWaitsThenForces) {
    struct Case {
        const char* name;
        FakeBehaviour behaviour;
        bool force;
        bool expected;
        std::vector<std::string> requests;
        std::chrono::milliseconds minWait, maxWait;
    };
    using std::chrono::milliseconds;
    const Case cases[] = {
        {"ends after a second", {.quitsAfter = milliseconds(1000)}, false, true, {"terminate 7"}, milliseconds(1000),
         milliseconds(1150)},
        {"never ends, then forced", {.quitsAfter = std::nullopt}, false, true, {"terminate 7", "force 7"},
         milliseconds(3000), milliseconds(3150)},
        {"refuses to quit, then forced", {.acceptsQuit = false, .quitsAfter = std::nullopt}, false, true,
         {"terminate 7", "force 7"}, milliseconds(3000), milliseconds(3150)},
        {"survives the forced quit", {.quitsAfter = std::nullopt, .diesWhenForced = false}, false, false,
         {"terminate 7", "force 7"}, milliseconds(3000), milliseconds(3150)},
        {"forced at once", {.quitsAfter = std::nullopt}, true, true, {"force 7"}, milliseconds(0), milliseconds(0)},
        {"forced at once, refused", {.quitsAfter = std::nullopt, .diesWhenForced = false}, true, false, {"force 7"},
         milliseconds(0), milliseconds(0)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto fake = installFakeWorkspace();
        FakeClock clock;
        fake->add(makeApp(7, "App", ActivationPolicy::regular), c.behaviour);
        EXPECT_EQ(Processes::quit(7, c.force), c.expected);
        EXPECT_EQ(fake->requests(), c.requests);
        EXPECT_GE(clock.elapsed(), c.minWait);
        EXPECT_LE(clock.elapsed(), c.maxWait);
    }

    FakeClock clock;
    EXPECT_FALSE(Processes::quit(8, false));  // no such application
    EXPECT_FALSE(Processes::quit(8, true));
    EXPECT_EQ(clock.sleeps(), 0);
}

#ifdef __linux__

// The system's own workspace and ps: a real process running from a bundle is
// listed with its figures and quit.
class ProcessesReal : public TestEnv {};

TEST_F(ProcessesReal, ListsAndQuitsARealApplication) {
    // Other test programs may run at the same time: the names are this process's own.
    const std::string suffix = std::to_string(::getpid());
    BundledProcess child(tmp() / "Apps", "Lister" + suffix, "com.example.lister" + suffix, false);
    ASSERT_TRUE(child.started());

    const auto apps = Processes::runningApps();
    auto it = std::find_if(apps.begin(), apps.end(), [&](const RunningApp& a) { return a.id == child.pid(); });
    ASSERT_NE(it, apps.end());
    EXPECT_EQ(it->bundleID, "com.example.lister" + suffix);
    EXPECT_EQ(it->path, child.bundle().native());
    EXPECT_GT(it->memoryBytes, 0);
    EXPECT_EQ(it->memoryBytes % 1024, 0);
    EXPECT_FALSE(it->isHung);
    for (const auto& hung : Processes::hungProcesses()) EXPECT_NE(hung.id, child.pid());

    EXPECT_TRUE(Processes::quit(child.pid(), false));
    EXPECT_EQ(child.endingSignal(), SIGTERM);
    EXPECT_FALSE(Processes::quit(child.pid(), false));
}

#endif
