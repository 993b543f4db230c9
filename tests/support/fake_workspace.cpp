#include "support/fake_workspace.h"

namespace testing_support {

FakeClock::FakeClock()
    : start_(std::chrono::system_clock::time_point(std::chrono::seconds(1'700'000'000))),
      now_(std::make_shared<Clock::TimePoint>(start_)),
      sleeps_(std::make_shared<int>(0)) {
    auto now = now_;
    auto sleeps = sleeps_;
    Clock::setForTesting([now] { return *now; });
    Clock::setSleepForTesting([now, sleeps](std::chrono::nanoseconds d) {
        *now += std::chrono::duration_cast<Clock::TimePoint::duration>(d);
        ++*sleeps;
    });
}

FakeClock::~FakeClock() {
    Clock::setForTesting(nullptr);
    Clock::setSleepForTesting(nullptr);
}

Workspace::RunningApplication FakeWorkspace::add(Workspace::RunningApplication app, FakeBehaviour behaviour) {
    app.startTime = 1000 + entries_.size();
    entries_.push_back({app, behaviour, false, std::nullopt});
    return app;
}

FakeWorkspace::Entry* FakeWorkspace::find(int32_t pid) {
    for (auto& e : entries_)
        if (e.app.processIdentifier == pid) return &e;
    return nullptr;
}

bool FakeWorkspace::ended(Entry& e) {
    if (!e.ended && e.endsAt && Clock::now() >= *e.endsAt) e.ended = true;
    return e.ended;
}

std::vector<Workspace::RunningApplication> FakeWorkspace::runningApplications() {
    std::vector<Workspace::RunningApplication> apps;
    for (auto& e : entries_)
        if (!ended(e)) apps.push_back(e.app);
    return apps;
}

bool FakeWorkspace::terminate(const Workspace::RunningApplication& app) {
    requests_.push_back("terminate " + std::to_string(app.processIdentifier));
    Entry* e = find(app.processIdentifier);
    if (!e || ended(*e) || !e->behaviour.acceptsQuit) return false;
    if (e->behaviour.quitsAfter && !e->endsAt) e->endsAt = Clock::now() + *e->behaviour.quitsAfter;
    return true;
}

bool FakeWorkspace::forceTerminate(const Workspace::RunningApplication& app) {
    requests_.push_back("force " + std::to_string(app.processIdentifier));
    Entry* e = find(app.processIdentifier);
    if (!e || ended(*e)) return false;
    if (e->behaviour.diesWhenForced) e->ended = true;
    return e->behaviour.diesWhenForced;
}

bool FakeWorkspace::isTerminated(const Workspace::RunningApplication& app) {
    Entry* e = find(app.processIdentifier);
    return !e || ended(*e);
}

std::shared_ptr<FakeWorkspace> installFakeWorkspace() {
    auto fake = std::make_shared<FakeWorkspace>();
    Workspace::setForTesting(fake);
    return fake;
}

}  // namespace testing_support
