// The window's removals as roads of the deletion-safety suite: cleaning a
// report (for good and to the Trash) and removing orphaned files. Each is
// handed its items ticked, whatever their rating, as a user could tick them.
#include "app/state/app_state.h"
#include "app/state/manual_executor.h"
#include "platform/authorization.h"
#include "safety/removal_safety.h"

namespace {

ScanCategory ticked(const std::vector<ScanItem>& items) {
    ScanCategory category{"orphans-Caches", "Leftovers in Caches", "", items};
    for (auto& item : category.items) item.isSelected = true;
    return category;
}

// Runs one window action to its end, the rescan that follows a cleaning included.
void inWindow(const std::function<void(AppState&)>& action) {
    // Nothing may ever reach a real authorization prompt from a test.
    Authorization::setToolForTesting(Authorization::Tool::none);
    auto executor = std::make_shared<ManualExecutor>();
    AppState state(executor, {"vessiltane"});
    // The report the window shows is the scan; the user's click comes later.
    betweenScanAndRemoval();
    action(state);
    executor->settle();
    EXPECT_TRUE(state.lastCleanup().has_value());
}

void cleanFor(const std::vector<ScanItem>& items, bool toTrash) {
    inWindow([&](AppState& state) {
        ScanReport report;
        report.categories.push_back(ticked(items));
        state.clean(report, ModuleID::systemJunk, toTrash);
    });
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(
    Window, EveryRoad,
    testing::Values(RemovalRoad{"window_clean",
                                [](const std::vector<ScanItem>& items) { cleanFor(items, false); }},
                    RemovalRoad{"window_clean_to_trash",
                                [](const std::vector<ScanItem>& items) { cleanFor(items, true); }},
                    RemovalRoad{"window_orphan_removal",
                                [](const std::vector<ScanItem>& items) {
                                    inWindow([&](AppState& state) { state.removeOrphanCategory(ticked(items)); });
                                }}),
    roadName);
