#pragma once
// The state's tests: a temporary home and system root, a manual executor that
// runs nothing until the test says, and the state made on it.
#include <QSignalSpy>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/state/app_state.h"
#include "app/state/manual_executor.h"
#include "support/test_env.h"

class StateTest : public TestEnv {
protected:
    void SetUp() override;
    void TearDown() override;

    // The state made afresh with these process arguments.
    AppState& makeState(std::vector<std::string> arguments = {"vessiltane"});
    AppState& state() { return *state_; }

    // Runs every queued background job and posted call, and what they queue in turn.
    void settle() { executor->settle(); }

    // A file of the given allocated size, last changed that many days ago.
    void oldFile(const std::filesystem::path& path, int64_t bytes, int daysOld);
    // Sets the item's own times that many days back.
    void age(const std::filesystem::path& path, int daysOld);

    // The item of the module's report with that name; fails the test when absent.
    const ScanItem* itemNamed(ModuleID module, const std::string& name);
    std::vector<std::string> categoryIDs(const ScanReport& report) const;

    std::shared_ptr<ManualExecutor> executor;
    std::unique_ptr<AppState> state_;
};

// Whether the calling thread is the one the tests (and the state) run on.
bool onMainThread();
