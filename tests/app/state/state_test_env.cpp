#include "state_test_env.h"

#include <QCoreApplication>
#include <QThread>

#include "platform/clock.h"

void StateTest::SetUp() {
    TestEnv::SetUp();
    executor = std::make_shared<ManualExecutor>();
    makeState();
}

void StateTest::TearDown() {
    state_.reset();
    // Nothing a test left queued may run against the next test's home.
    if (executor) executor->settle();
    executor.reset();
    TestEnv::TearDown();
}

AppState& StateTest::makeState(std::vector<std::string> arguments) {
    state_.reset();
    state_ = std::make_unique<AppState>(executor, std::move(arguments));
    return *state_;
}

void StateTest::age(const std::filesystem::path& path, int daysOld) {
    testing_support::setTimes(path, Clock::now() - std::chrono::hours(24) * daysOld);
}

void StateTest::oldFile(const std::filesystem::path& path, int64_t bytes, int daysOld) {
    testing_support::allocateFile(path, bytes);
    age(path, daysOld);
}

const ScanItem* StateTest::itemNamed(ModuleID module, const std::string& name) {
    for (const auto& category : state().report(module).categories)
        for (const auto& item : category.items)
            if (item.name == name) return &item;
    ADD_FAILURE() << "no item " << name << " in " << Modules::rawValue(module);
    return nullptr;
}

std::vector<std::string> StateTest::categoryIDs(const ScanReport& report) const {
    std::vector<std::string> ids;
    for (const auto& category : report.categories) ids.push_back(category.id);
    return ids;
}

bool onMainThread() { return QThread::currentThread() == QCoreApplication::instance()->thread(); }
