#pragma once
// Stand-ins for the running applications and the passing of time, so tests of
// quitting never start real programs and never wait for real.
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/workspace.h"

namespace testing_support {

// A clock that moves only when something sleeps. Installed on construction,
// removed on destruction.
class FakeClock {
public:
    FakeClock();
    ~FakeClock();
    FakeClock(const FakeClock&) = delete;
    FakeClock& operator=(const FakeClock&) = delete;

    Clock::TimePoint start() const { return start_; }
    // Time slept so far, and how many sleeps it took.
    std::chrono::nanoseconds elapsed() const { return *now_ - start_; }
    int sleeps() const { return *sleeps_; }

private:
    Clock::TimePoint start_;
    std::shared_ptr<Clock::TimePoint> now_;
    std::shared_ptr<int> sleeps_;
};

// How a fake application answers the requests it gets.
struct FakeBehaviour {
    bool acceptsQuit = true;                                  // terminate() is delivered
    std::optional<std::chrono::milliseconds> quitsAfter{0};   // ends this long after a quit request; never when empty
    bool diesWhenForced = true;
};

class FakeWorkspace final : public Workspace::Backend {
public:
    // Adds an application; returns its listing record.
    Workspace::RunningApplication add(Workspace::RunningApplication app, FakeBehaviour behaviour = {});

    std::vector<Workspace::RunningApplication> runningApplications() override;
    bool terminate(const Workspace::RunningApplication& app) override;
    bool forceTerminate(const Workspace::RunningApplication& app) override;
    bool isTerminated(const Workspace::RunningApplication& app) override;

    // "terminate <pid>" and "force <pid>", in the order they were asked.
    const std::vector<std::string>& requests() const { return requests_; }

private:
    struct Entry {
        Workspace::RunningApplication app;
        FakeBehaviour behaviour;
        bool ended = false;
        std::optional<Clock::TimePoint> endsAt;
    };
    Entry* find(int32_t pid);
    bool ended(Entry& e);

    std::vector<Entry> entries_;
    std::vector<std::string> requests_;
};

// Installs a fake workspace for the life of the object.
std::shared_ptr<FakeWorkspace> installFakeWorkspace();

}  // namespace testing_support
