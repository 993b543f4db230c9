// The update check, the thinning of universal binaries and the disk map.
#include "app/state/app_state.h"
#include "modules/system/thinning.h"
#include "platform/locations.h"

void AppState::checkForUpdates() {
    if (updaterRunning_) return;
    ScanTokenRef token = newToken();
    updaterRunning_ = true;
    updaterHasRun_ = true;
    Q_EMIT updaterChanged();
    setActiveScan(ModuleID::updater);
    setProgress({0, "Reading your Applications\u2026", true});
    ProgressCallback progress = makeProgress();

    // The check runs on the applications once they are listed; whether it
    // includes pre-releases is read on the main thread in between, so a
    // change made while they were being listed still counts.
    auto finish = [this, token](std::optional<std::vector<InstalledApp>> apps, std::optional<Updater::Outcome> outcome) {
        updaterRunning_ = false;
        if (isCurrent(token)) {
            if (apps && outcome) {
                setApps(std::move(*apps));
                appUpdates_ = std::move(outcome->updates);
                updaterChecked_ = outcome->checked;
                updaterWithoutFeed_ = outcome->withoutFeed;
            }
            setActiveScan(std::nullopt);
            progress_.isRunning = false;
            progress_.fraction = 1.0;
            Q_EMIT progressChanged();
        }
        // Cleared on every way out, or no check could start again.
        Q_EMIT updaterChanged();
    };
    inBackground<std::optional<std::vector<InstalledApp>>>(
        [known = apps_, token, progress] { return listApps(known, token, progress); },
        [this, token, progress, finish](std::optional<std::vector<InstalledApp>> apps) {
            if (!apps) {
                finish(std::nullopt, std::nullopt);
                return;
            }
            const bool prereleases = updaterIncludesPrereleases_;
            auto listed = std::make_shared<std::vector<InstalledApp>>(std::move(*apps));
            inBackground<Updater::Outcome>(
                [listed, prereleases, token, progress] { return Updater::check(*listed, prereleases, *token, progress); },
                [listed, finish](Updater::Outcome outcome) { finish(std::move(*listed), std::move(outcome)); });
        });
}

void AppState::thinSelectedBinaries() {
    std::vector<ScanItem> items = selectedBinaries();
    if (items.empty()) return;
    setThinning(true);
    setActiveScan(ModuleID::systemJunk);
    setProgress({0, "Thinning\u2026", true});
    ProgressCallback progress = makeProgress();
    inBackground<Thinning::Outcome>(
        [items = std::move(items), progress] {
            // A token of its own that nothing cancels: Stop never halts a
            // thinning between the rewrite of a binary and its signing.
            ScanToken own;
            return Thinning::thin(items, own, progress);
        },
        [this](Thinning::Outcome outcome) {
            setThinning(false);
            endScan();
            CleanupSummary summary;
            summary.reclaimed = outcome.bytesSaved;
            summary.removedCount = outcome.thinned;
            summary.failures = std::move(outcome.failures);
            summary.title = "Thinned Universal Binaries";
            summary.notes = std::move(outcome.notes);
            setLastCleanup(std::move(summary));
            // The thinned binaries leave the report with a new scan.
            runModuleScan(ModuleID::systemJunk, "Preparing\u2026");
        });
}

void AppState::buildDiskMap(const std::filesystem::path& root) {
    std::string name = std::filesystem::path(Locations::withoutTrailingSlash(root.native())).filename().native();
    if (name.empty()) name = root.native();
    setActiveScan(ModuleID::diskMap);
    setProgress({0, "Measuring " + name + "\u2026", true});
    ScanTokenRef token = newToken();
    ProgressCallback progress = makeProgress();
    inBackground<SpaceNodeRef>(
        [root, token, progress] { return DiskMap::build(root, 4, *token, progress); },
        [this, token](SpaceNodeRef tree) {
            if (!isCurrent(token)) return;
            spaceRoot_ = tree;
            spacePath_ = {tree};
            Q_EMIT diskMapChanged();
            endScan();
        });
}

void AppState::drill(const SpaceNodeRef& node) {
    if (!spaceRoot_ || !node) return;
    if (node->id == spaceRoot_->id)
        spacePath_ = {spaceRoot_};
    else
        spacePath_.push_back(node);
    Q_EMIT diskMapChanged();
}
