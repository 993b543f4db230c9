// The uninstaller's actions: the application list, an application's
// leftovers, the uninstall, and the orphaned-files scan.
#include "app/state/app_state.h"

std::optional<std::vector<InstalledApp>> AppState::listApps(const std::vector<InstalledApp>& known,
                                                            const ScanTokenRef& token,
                                                            const ProgressCallback& progress) {
    if (!known.empty()) return known;
    std::vector<InstalledApp> apps = Uninstaller::installedApps(token, progress);
    if (token->isCancelled()) return std::nullopt;
    return apps;
}

void AppState::loadApps() {
    if (!apps_.empty() || isLoadingApps_) return;
    setLoadingApps(true);
    setProgress({0, "Reading your Applications\u2026", true});
    ScanTokenRef token = newToken();
    ProgressCallback progress = makeProgress();
    inBackground<std::optional<std::vector<InstalledApp>>>(
        [token, progress] { return listApps({}, token, progress); },
        [this, token](std::optional<std::vector<InstalledApp>> listing) {
            setLoadingApps(false);
            if (listing) {
                setApps(std::move(*listing));
                endScan();
            } else if (isCurrent(token)) {
                // Stopped: the list stays empty, so the next call reads it again.
                endScan();
            }
        });
}

void AppState::reloadApps() {
    // Emptied first, so the listing reads the applications again.
    setApps({});
    loadApps();
}

void AppState::select(std::optional<InstalledApp> app) {
    selectedApp_ = app;
    Q_EMIT selectedAppChanged();
    leftovers_.clear();
    Q_EMIT leftoversChanged();
    if (!app) return;

    setProgress({0, "Finding leftovers of " + app->name + "\u2026", true});
    const SpotlightSearch::Sensitivity sensitivity = spotlightSensitivity_;
    inBackground<std::vector<Uninstaller::Leftover>>(
        [app = *app, sensitivity] { return Uninstaller::leftovers(app, sensitivity, true); },
        [this, id = app->id](std::vector<Uninstaller::Leftover> found) {
            if (selectedApp_ && selectedApp_->id == id) {
                leftovers_ = std::move(found);
                Q_EMIT leftoversChanged();
                setRunning(false);
                return;
            }
            // The pick changed. With nothing picked and nothing else running,
            // no search is left to end the progress line, so it ends here.
            if (!selectedApp_ && !activeScan_ && !isLoadingApps_ && progress_.isRunning) setRunning(false);
        });
}

void AppState::uninstallSelected() {
    if (!selectedApp_) return;
    const InstalledApp app = *selectedApp_;
    // The engine removes only the leftovers whose selected flag is set.
    std::vector<Uninstaller::Leftover> leftovers = leftovers_;
    setActiveScan(ModuleID::uninstaller);
    inBackground<Uninstaller::RemovalResult>(
        [app, leftovers = std::move(leftovers)] { return Uninstaller::uninstall(app, leftovers); },
        [this, app](Uninstaller::RemovalResult result) {
            CleanupSummary summary;
            summary.reclaimed = result.reclaimedBytes;
            summary.removedCount = result.removedCount;
            summary.failures = std::move(result.failures);
            summary.title = "Uninstalled " + app.name;
            summary.notes = std::move(result.log);
            setLastCleanup(std::move(summary));
            std::erase_if(apps_, [&](const InstalledApp& a) { return a.id == app.id; });
            Q_EMIT appsChanged();
            selectedApp_.reset();
            Q_EMIT selectedAppChanged();
            leftovers_.clear();
            Q_EMIT leftoversChanged();
            setActiveScan(std::nullopt);
            refreshVolume();
        });
}

void AppState::scanOrphans() {
    if (scanningOrphans_) return;
    setScanningOrphans(true);
    setActiveScan(ModuleID::uninstaller);
    setProgress({0, "Looking for orphaned files\u2026", true});
    ScanTokenRef token = newToken();
    ProgressCallback progress = makeProgress();

    struct Found {
        std::optional<std::vector<InstalledApp>> apps;
        std::vector<ScanCategory> categories;
    };
    inBackground<Found>(
        [known = apps_, token, progress] {
            Found found;
            found.apps = listApps(known, token, progress);
            if (found.apps) found.categories = Uninstaller::orphans(*found.apps, token, progress);
            return found;
        },
        [this, token](Found found) {
            // Cleared whatever became of the result, or no orphan scan could start again.
            setScanningOrphans(false);
            if (!isCurrent(token)) return;
            if (found.apps) {
                setApps(std::move(*found.apps));
                orphanCategories_ = std::move(found.categories);
                Q_EMIT orphanCategoriesChanged();
            }
            endScan();
        });
}
