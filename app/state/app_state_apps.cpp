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
    const Action action = beginAction(newToken(), std::nullopt, "Reading your Applications\u2026");
    ProgressCallback progress = makeProgress();
    inBackground<std::optional<std::vector<InstalledApp>>>(
        [token = action.token, progress] { return listApps({}, token, progress); },
        [this, action](std::optional<std::vector<InstalledApp>> listing) {
            setLoadingApps(false);
            // A listing stopped part-way leaves the list empty, so the next call reads it again.
            if (listing) setApps(std::move(*listing));
            endScan(action);
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

    // The search cancels nothing: it has a token nobody else holds.
    const Action action =
        beginAction(std::make_shared<ScanToken>(), std::nullopt, "Finding leftovers of " + app->name + "\u2026");
    const SpotlightSearch::Sensitivity sensitivity = spotlightSensitivity_;
    inBackground<std::vector<Uninstaller::Leftover>>(
        [app = *app, sensitivity] { return Uninstaller::leftovers(app, sensitivity, true); },
        [this, id = app->id, action](std::vector<Uninstaller::Leftover> found) {
            // Only the pick that asked for them gets them.
            if (selectedApp_ && selectedApp_->id == id) {
                applyKnown(found);
                leftovers_ = std::move(found);
                Q_EMIT leftoversChanged();
            }
            // The progress line ends only while it is this search's: a newer
            // pick's search, or any later action, keeps its own.
            endAction(action);
        });
}

void AppState::uninstallSelected() {
    if (!selectedApp_) return;
    const InstalledApp app = *selectedApp_;
    // The engine removes only the leftovers whose selected flag is set.
    std::vector<Uninstaller::Leftover> leftovers = leftovers_;
    const Action action = beginAction(std::make_shared<ScanToken>(), ModuleID::uninstaller, std::nullopt);
    inBackground<Uninstaller::RemovalResult>(
        [app, leftovers = std::move(leftovers)] { return Uninstaller::uninstall(app, leftovers); },
        [this, app, action](Uninstaller::RemovalResult result) {
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
            // What went to the Trash leaves every other list too.
            itemsRemoved(result.gone);
            endScan(action);
        });
}

void AppState::scanOrphans() {
    if (scanningOrphans_) return;
    setScanningOrphans(true);
    const Action action = beginAction(newToken(), ModuleID::uninstaller, "Looking for orphaned files\u2026");
    ProgressCallback progress = makeProgress();

    struct Found {
        std::optional<std::vector<InstalledApp>> apps;
        std::vector<ScanCategory> categories;
    };
    inBackground<Found>(
        [known = apps_, token = action.token, progress] {
            Found found;
            found.apps = listApps(known, token, progress);
            if (found.apps) found.categories = Uninstaller::orphans(*found.apps, token, progress);
            return found;
        },
        [this, action](Found found) {
            // Cleared whatever became of the result, or no orphan scan could start again.
            setScanningOrphans(false);
            if (!isCurrent(action.token)) return;
            if (found.apps) {
                setApps(std::move(*found.apps));
                applyKnown(found.categories);
                orphanCategories_ = std::move(found.categories);
                Q_EMIT orphanCategoriesChanged();
            }
            endScan(action);
        });
}
