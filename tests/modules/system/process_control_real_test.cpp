// Quitting real processes that run from a bundle: one ends on the polite
// request, one ignores it and has to be killed. Time runs on a fake clock
// whose every poll also waits a few real milliseconds, so a process has the
// chance to end without the test ever waiting out the grace period.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <thread>

#include "modules/system/process_control.h"
#include "platform/clock.h"
#include "support/bundled_process.h"
#include "support/test_env.h"

using namespace testing_support;

#ifdef __linux__

namespace {

class RealProcessTest : public TestEnv {
protected:
    // Other test programs may run at the same time on this machine, with
    // children of their own: names and identifiers are made unique.
    static std::string unique(const std::string& text) { return text + std::to_string(::getpid()); }

    void SetUp() override {
        TestEnv::SetUp();
        auto now = std::make_shared<Clock::TimePoint>(std::chrono::system_clock::time_point(std::chrono::hours(1)));
        Clock::setForTesting([now] { return *now; });
        Clock::setSleepForTesting([now](std::chrono::nanoseconds d) {
            *now += std::chrono::duration_cast<Clock::TimePoint::duration>(d);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        });
    }
};

}  // namespace

TEST_F(RealProcessTest, EndsOnTheQuitRequest) {
    BundledProcess child(tmp() / "Apps", unique("Polite"), unique("com.example.polite"), false);
    ASSERT_TRUE(child.started());
    auto log = ProcessControl::terminate(unique("com.example.polite"), child.bundle());
    EXPECT_EQ(log, (std::vector<std::string>{"Quit " + unique("Polite")}));
    EXPECT_EQ(child.endingSignal(), SIGTERM);
}

TEST_F(RealProcessTest, KilledWhenItIgnoresTheQuitRequest) {
    BundledProcess child(tmp() / "Apps", unique("Stubborn"), unique("com.example.stubborn"), true);
    ASSERT_TRUE(child.started());
    // Found by its bundle path alone: the identifier given is another one.
    auto log = ProcessControl::terminate(unique("com.example.other"), child.bundle());
    EXPECT_EQ(log, (std::vector<std::string>{"Quit " + unique("Stubborn"), "Force quit " + unique("Stubborn")}));
    for (int i = 0; i < 200 && child.endingSignal() == -1; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(child.endingSignal(), SIGKILL);
}

#endif
