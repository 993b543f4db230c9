#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/plist.h"
#include "platform/workspace.h"
#include "support/bundled_process.h"
#include "support/fake_workspace.h"
#include "support/test_env.h"

using namespace testing_support;

#ifdef __linux__

class WorkspaceTest : public TestEnv {
protected:
    // Other test programs may run at the same time on this machine, with
    // children of their own: names and identifiers are made unique.
    const std::string name = "Sleeper" + std::to_string(::getpid());
    const std::string bundleID = "com.example.sleeper" + std::to_string(::getpid());
};

TEST_F(WorkspaceTest, ListsAProcessWithTheBundleItRunsFrom) {
    BundledProcess child(tmp() / "Apps", name, bundleID, false);
    ASSERT_TRUE(child.started());

    auto app = Workspace::application(child.pid());
    ASSERT_TRUE(app);
    EXPECT_EQ(app->executableURL, child.executable());
    EXPECT_EQ(app->bundleURL, child.bundle());
    EXPECT_EQ(app->bundleIdentifier, bundleID);
    EXPECT_EQ(app->localizedName, name);
    EXPECT_EQ(pid_t(app->processIdentifier), child.pid());

    // Only what runs from a bundle is an application: this test program, a
    // process of the same user outside any bundle, is not listed.
    EXPECT_FALSE(Workspace::application(int32_t(::getpid())));
    for (const auto& listed : Workspace::runningApplications()) {
        EXPECT_TRUE(listed.bundleURL) << listed.executableURL.value_or("?");
    }

    auto byID = Workspace::runningApplications(bundleID);
    ASSERT_EQ(byID.size(), 1u);
    EXPECT_EQ(pid_t(byID[0].processIdentifier), child.pid());
    EXPECT_TRUE(Workspace::runningApplications("").empty());
    EXPECT_FALSE(Workspace::isTerminated(*app));

    // An exited child that nobody reaped yet is a zombie: it has ended and is
    // no longer listed.
    ASSERT_TRUE(Workspace::terminate(*app));
    for (int i = 0; i < 500 && !Workspace::isTerminated(*app); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_TRUE(Workspace::isTerminated(*app));
    EXPECT_FALSE(Workspace::application(child.pid()));
    EXPECT_EQ(child.endingSignal(), SIGTERM);
    // A process that has ended is not signalled again.
    EXPECT_FALSE(Workspace::forceTerminate(*app));
}

TEST_F(WorkspaceTest, ARunningApplicationPresentsItselfAsItsInfoPlistAsks) {
    BundledProcess child(tmp() / "Apps", name, bundleID, false);
    ASSERT_TRUE(child.started());
    EXPECT_EQ(Workspace::application(child.pid())->activationPolicy, Workspace::ActivationPolicy::regular);
    // The bundle is read afresh by each listing.
    writeFile(child.bundle() / "Contents/Info.plist",
              Plist::toXml(Plist::Value::makeDict({{"CFBundleIdentifier", Plist::Value::makeString(bundleID)},
                                                   {"LSUIElement", Plist::Value::makeBool(true)}})));
    auto app = Workspace::application(child.pid());
    ASSERT_TRUE(app);
    EXPECT_EQ(app->activationPolicy, Workspace::ActivationPolicy::accessory);
    EXPECT_EQ(app->bundleIdentifier, bundleID);
}

TEST_F(WorkspaceTest, NeverSignalsAnotherProcessUnderTheSameId) {
    BundledProcess child(tmp() / "Apps", name, bundleID, false);
    ASSERT_TRUE(child.started());
    auto app = Workspace::application(child.pid());
    ASSERT_TRUE(app);

    // The record of an earlier process that had the same id.
    Workspace::RunningApplication earlier = *app;
    earlier.startTime = app->startTime - 1;
    EXPECT_TRUE(Workspace::isTerminated(earlier));
    EXPECT_FALSE(Workspace::terminate(earlier));
    EXPECT_FALSE(Workspace::forceTerminate(earlier));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(child.endingSignal(), -1);

    // Neither this process nor the first one is ever signalled.
    Workspace::RunningApplication self;
    self.processIdentifier = int32_t(::getpid());
    EXPECT_FALSE(Workspace::terminate(self));
    Workspace::RunningApplication init;
    init.processIdentifier = 1;
    EXPECT_FALSE(Workspace::forceTerminate(init));
}

#endif

TEST_F(TestEnv, ActivationPolicyComesFromTheBundlesInfoPlist) {
    using Policy = Workspace::ActivationPolicy;
    using Plist::Value;
    struct Case {
        const char* bundle;
        std::optional<std::string> info;  // the Info.plist's text; none for no file
        Policy policy;
    };
    auto info = [](std::map<std::string, Value> keys) { return Plist::toXml(Value::makeDict(std::move(keys))); };
    const Case cases[] = {
        {"Plain.app", info({{"CFBundleName", Value::makeString("Plain")}}), Policy::regular},
        {"NoInfo.app", std::nullopt, Policy::regular},
        {"Garbage.app", std::string("not a property list"), Policy::regular},
        {"Menu.app", info({{"LSUIElement", Value::makeBool(true)}}), Policy::accessory},
        {"MenuText.app", info({{"LSUIElement", Value::makeString("1")}}), Policy::accessory},
        {"MenuYes.app", info({{"LSUIElement", Value::makeString("YES")}}), Policy::accessory},
        {"MenuNumber.app", info({{"LSUIElement", Value::makeInteger(1)}}), Policy::accessory},
        {"NotMenu.app", info({{"LSUIElement", Value::makeBool(false)}}), Policy::regular},
        {"NotMenuText.app", info({{"LSUIElement", Value::makeString("0")}}), Policy::regular},
        {"Daemon.app", info({{"LSBackgroundOnly", Value::makeBool(true)}}), Policy::prohibited},
        {"Both.app", info({{"LSBackgroundOnly", Value::makeBool(true)}, {"LSUIElement", Value::makeBool(true)}}),
         Policy::prohibited},
        // A helper inside another application is none of its own, whatever it says.
        {"Host.app/Contents/Frameworks/Host Helper.app", info({{"CFBundleName", Value::makeString("Helper")}}),
         Policy::prohibited},
        {"Host.app/Contents/Library/LoginItems/Agent.app", info({{"LSUIElement", Value::makeBool(true)}}),
         Policy::prohibited},
    };
    for (const auto& c : cases) {
        const std::filesystem::path bundle = tmp() / "Applications" / c.bundle;
        makeFolders(bundle / "Contents/MacOS");
        if (c.info) writeFile(bundle / "Contents/Info.plist", *c.info);
        EXPECT_EQ(Workspace::activationPolicy(bundle), c.policy) << c.bundle;
    }
    // The application that holds helpers is an application like any other.
    EXPECT_EQ(Workspace::activationPolicy(tmp() / "Applications/Host.app"), Policy::regular);
}

TEST_F(TestEnv, WaitForExitPollsOnTheInjectedClock) {
    FakeClock clock;
    auto fake = installFakeWorkspace();
    Workspace::RunningApplication quick;
    quick.processIdentifier = 40;
    Workspace::RunningApplication slow;
    slow.processIdentifier = 41;
    quick = fake->add(quick, {.quitsAfter = std::chrono::milliseconds(400)});
    slow = fake->add(slow, {.quitsAfter = std::nullopt});
    Workspace::terminate(quick);
    Workspace::terminate(slow);

    auto left = Workspace::waitForExit({quick, slow}, std::chrono::milliseconds(1000), std::chrono::milliseconds(100));
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].processIdentifier, 41);
    EXPECT_EQ(clock.elapsed(), std::chrono::milliseconds(1000));

    // Nothing to wait for: no sleep at all.
    FakeClock fresh;
    EXPECT_TRUE(Workspace::waitForExit({quick}, std::chrono::milliseconds(1000), std::chrono::milliseconds(100)).empty());
    EXPECT_EQ(fresh.sleeps(), 0);
}
