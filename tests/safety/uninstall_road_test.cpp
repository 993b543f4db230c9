// The uninstaller as a removal road: the first item stands for the
// application bundle, the others for its selected leftovers.
#include "modules/system/uninstaller.h"
#include "safety/removal_safety.h"
#include "support/fake_workspace.h"
#include "support/recording_runner.h"

using namespace testing_support;

namespace {

void uninstallItems(const std::vector<ScanItem>& items) {
    if (items.empty()) return;
    // Nothing runs and launchctl is missing: only the removal itself is tested.
    auto workspace = installFakeWorkspace();
    RecordingRunner runner;
    InstalledApp app;
    app.url = items.front().url;
    app.id = app.url.string();
    app.name = app.url.stem().string();
    app.bundleID = "com.example.road";
    app.size = items.front().size;
    app.measured = items.front().measured;
    std::vector<Uninstaller::Leftover> leftovers;
    for (size_t i = 1; i < items.size(); ++i)
        leftovers.push_back({items[i].url, items[i].size, "Caches", true, "", items[i].measured});
    betweenScanAndRemoval();
    Uninstaller::uninstall(app, leftovers);
    Workspace::setForTesting(nullptr);
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(Uninstaller, EveryRoad, testing::Values(RemovalRoad{"uninstaller", uninstallItems}), roadName);
