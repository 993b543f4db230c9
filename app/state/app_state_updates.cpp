// The update check, the thinning of universal binaries and the disk map.
#include "app/state/app_state.h"
#include "modules/system/thinning.h"
#include "modules/system/web_link.h"
#include "platform/locations.h"

void AppState::checkForUpdates() {
    if (updaterRunning_) return;
    ScanTokenRef token = newToken();
    updaterRunning_ = true;
    updaterHasRun_ = true;
    Q_EMIT updaterChanged();
    const Action action = beginAction(token, ModuleID::updater, "Reading your Applications\u2026");
    ProgressCallback progress = makeProgress();

    // The check runs on the applications once they are listed; whether it
    // includes pre-releases is read on the main thread in between, so a
    // change made while they were being listed still counts.
    // The volume is not read again: a check frees nothing.
    auto finish = [this, action](std::optional<std::vector<InstalledApp>> apps, std::optional<Updater::Outcome> outcome) {
        updaterRunning_ = false;
        if (isCurrent(action.token)) {
            if (apps && outcome) {
                setApps(std::move(*apps));
                appUpdates_ = std::move(outcome->updates);
                updaterChecked_ = outcome->checked;
                updaterWithoutFeed_ = outcome->withoutFeed;
            }
            endAction(action);
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

std::optional<std::string> AppState::webAddress(const std::optional<std::string>& text) {
    return text ? WebLink::parse(*text) : std::nullopt;
}

void AppState::thinSelectedBinaries() {
    std::vector<ScanItem> items = selectedBinaries();
    if (items.empty()) return;
    setThinning(true);
    // A token of its own that nothing cancels: Stop never halts a thinning
    // between the rewrite of a binary and its signing.
    const Action action = beginAction(std::make_shared<ScanToken>(), ModuleID::systemJunk, "Thinning\u2026");
    ProgressCallback progress = makeProgress();
    inBackground<Thinning::Outcome>(
        [items = std::move(items), token = action.token, progress] { return Thinning::thin(items, *token, progress); },
        [this, action](Thinning::Outcome outcome) {
            setThinning(false);
            const bool current = endAction(action);
            refreshVolume();
            CleanupSummary summary;
            summary.reclaimed = outcome.bytesSaved;
            summary.removedCount = outcome.thinned;
            summary.failures = std::move(outcome.failures);
            summary.title = "Thinned Universal Binaries";
            summary.notes = std::move(outcome.notes);
            setLastCleanup(std::move(summary));
            // The thinned binaries leave the report with a new scan, unless
            // the user started something else meanwhile: that runs on.
            if (current) runModuleScan(ModuleID::systemJunk, "Preparing\u2026");
        });
}

void AppState::buildDiskMap(const std::filesystem::path& root) {
    std::string name = std::filesystem::path(Locations::withoutTrailingSlash(root.native())).filename().native();
    if (name.empty()) name = root.native();
    const Action action = beginAction(newToken(), ModuleID::diskMap, "Measuring " + name + "\u2026");
    ProgressCallback progress = makeProgress();
    inBackground<SpaceNodeRef>(
        [root, token = action.token, progress] { return DiskMap::build(root, 4, *token, progress); },
        [this, action](SpaceNodeRef tree) {
            if (!isCurrent(action.token)) return;
            spaceRoot_ = tree;
            spacePath_ = {tree};
            Q_EMIT diskMapChanged();
            endScan(action);
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
