// The tool screens' actions: startup items, permissions and Wi-Fi networks,
// running applications and maintenance tasks.
#include "engine/admin.h"
#include "app/state/app_state.h"
#include "platform/unicode.h"

namespace {

constexpr size_t kOutcomeCharacters = 240;

// What a failed task said, trimmed and cut to its last characters; "Failed."
// when it said nothing.
std::string failureOutcome(std::string_view output) {
    const std::string trimmed = Unicode::trimmed(output);
    if (trimmed.empty()) return "Failed.";
    std::vector<std::string> characters = Unicode::characters(trimmed);
    if (characters.size() <= kOutcomeCharacters) return trimmed;
    std::string tail;
    for (size_t i = characters.size() - kOutcomeCharacters; i < characters.size(); ++i) tail += characters[i];
    return tail;
}

// The first line of the text holding more than white space, trimmed.
std::optional<std::string> firstLine(std::string_view text) {
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) end = text.size();
        std::string line = Unicode::trimmed(text.substr(start, end - start));
        if (!line.empty()) return line;
        start = end + 1;
    }
    return std::nullopt;
}

}  // namespace

void AppState::loadLoginItems() {
    if (activeScan_ == ModuleID::loginItems) return;
    readLoginItems();
}

namespace {

struct LoadedLoginItems {
    std::vector<LoginEntry> entries;
    ScanReport report;
};

// The startup items and the report of broken ones; nothing once the token stopped.
std::optional<LoadedLoginItems> loadLoginItemsWith(const ScanTokenRef& token) {
    if (token->isCancelled()) return std::nullopt;
    LoadedLoginItems loaded;
    loaded.entries = LoginItems::entries(token);
    loaded.report = LoginItems::scan(token, loaded.entries);
    if (token->isCancelled()) return std::nullopt;
    return loaded;
}

}  // namespace

void AppState::readLoginItems() {
    // This load reads them afresh: a read beside another scan is no longer needed.
    if (besideToken_) std::exchange(besideToken_, nullptr)->cancel();
    const Action action = beginScan(ModuleID::loginItems, "Reading login items\u2026");
    inBackground<std::optional<LoadedLoginItems>>(
        [token = action.token] { return loadLoginItemsWith(token); },
        [this, action](std::optional<LoadedLoginItems> loaded) {
            if (!loaded || !isCurrent(action.token)) return;
            loginEntries_ = std::move(loaded->entries);
            Q_EMIT loginEntriesChanged();
            storeReport(ModuleID::loginItems, std::move(loaded->report));
            endScan(action);
        });
}

void AppState::rereadLoginItemsBeside() {
    if (besideToken_) besideToken_->cancel();
    auto token = std::make_shared<ScanToken>();
    besideToken_ = token;
    inBackground<std::optional<LoadedLoginItems>>(
        [token] { return loadLoginItemsWith(token); },
        [this, token](std::optional<LoadedLoginItems> loaded) {
            if (besideToken_ != token) return;
            besideToken_.reset();
            if (!loaded) return;
            loginEntries_ = std::move(loaded->entries);
            Q_EMIT loginEntriesChanged();
            storeReport(ModuleID::loginItems, std::move(loaded->report));
        });
}

void AppState::setLoginItemEnabled(const LoginEntry& entry, bool enabled) {
    inBackground<LoginItems::ActionOutcome>([entry, enabled] { return LoginItems::setEnabled(entry, enabled); },
                                            [this, name = entry.name](LoginItems::ActionOutcome outcome) {
                                                finishLoginItemAction(name, outcome);
                                            });
}

void AppState::removeLoginItem(const LoginEntry& entry) {
    inBackground<LoginItems::ActionOutcome>(
        [entry] { return LoginItems::remove(entry); },
        [this, name = entry.name, plist = entry.plistURL](LoginItems::ActionOutcome outcome) {
            // Its property list is gone, from System Junk's broken entries too.
            if (outcome.isSuccess() && plist) itemsRemoved({*plist});
            finishLoginItemAction(name, outcome);
        });
}

void AppState::finishLoginItemAction(const std::string& name, const LoginItems::ActionOutcome& outcome) {
    if (outcome.isSuccess())
        showBanner(outcome.message, false);
    else
        showBanner(name + ": " + outcome.message, true);
    // The entries are read again, as the action changed them. A scan the
    // user started meanwhile on another screen goes on: they are read beside
    // it. Otherwise the load takes the scan's place, and a load under way,
    // which may have read the entries before the action changed them, is
    // dropped with its token.
    if (progress_.isRunning && activeScan_ && *activeScan_ != ModuleID::loginItems)
        rereadLoginItemsBeside();
    else
        readLoginItems();
}

void AppState::loadPrivacyExtras() {
    const Action action = beginScan(ModuleID::privacy, "Reading permissions\u2026");
    using Extras = std::pair<std::vector<PermissionGrant>, std::vector<std::string>>;
    inBackground<Extras>(
        [] { return Extras{PrivacyExtras::permissions(), PrivacyExtras::preferredNetworks()}; },
        [this, action](Extras extras) {
            if (!isCurrent(action.token)) return;
            permissionGrants_ = std::move(extras.first);
            wifiNetworks_ = std::move(extras.second);
            Q_EMIT privacyExtrasChanged();
            endScan(action);
        });
}

void AppState::revoke(const PermissionGrant& grant) {
    // The reset tool runs off the main thread; its service and client go to
    // it quoted, as single arguments.
    inBackground<bool>([grant] { return PrivacyExtras::revoke(grant); },
                       [this, grant](bool ok) {
                           if (!ok) {
                               showBanner("Could not revoke " + grant.displayName + ".", true);
                               return;
                           }
                           std::erase_if(permissionGrants_, [&](const PermissionGrant& g) { return g.id == grant.id; });
                           Q_EMIT privacyExtrasChanged();
                           showBanner("Revoked " + grant.displayName + " for " + grant.client + ".", false);
                       });
}

void AppState::loadProcesses() {
    const Action action = beginScan(ModuleID::optimization, "Sampling running apps\u2026");
    using Sample = std::pair<std::vector<RunningApp>, std::vector<RunningApp>>;
    inBackground<Sample>(
        [] {
            std::vector<RunningApp> heavy;
            for (auto& app : Processes::runningApps())
                if (isHeavyConsumer(app)) heavy.push_back(std::move(app));
            return Sample{std::move(heavy), Processes::hungProcesses()};
        },
        [this, action](Sample sample) {
            if (!isCurrent(action.token)) return;
            heavyConsumers_ = std::move(sample.first);
            hungApplications_ = std::move(sample.second);
            Q_EMIT processesChanged();
            endScan(action);
        });
}

void AppState::quit(const RunningApp& app, bool force) {
    inBackground<bool>([id = app.id, force] { return Processes::quit(id, force); },
                       [this, name = app.name](bool ok) {
                           if (ok)
                               showBanner("Quit " + name + ".", false);
                           else
                               showBanner("Could not quit " + name + ".", true);
                       });
}

void AppState::runTask(const std::string& id) {
    auto row = std::find_if(tasks_.begin(), tasks_.end(), [&](const MaintenanceTask& t) { return t.id == id; });
    if (row == tasks_.end()) return;
    if (auto reason = row->unavailable()) {
        showBanner(row->title + ": " + *reason, true);
        return;
    }
    row->isRunning = true;
    row->outcome.reset();
    Q_EMIT tasksChanged();

    inBackground<Admin::Result>(
        [task = *row] {
            return task.requiresAdmin ? Admin::runAsRoot(task.command, std::nullopt) : Admin::run(task.command, true);
        },
        [this, id](Admin::Result result) {
            auto row = std::find_if(tasks_.begin(), tasks_.end(), [&](const MaintenanceTask& t) { return t.id == id; });
            if (row == tasks_.end()) return;
            row->isRunning = false;
            row->succeeded = result.ok;
            if (result.cancelled)
                row->outcome = "Cancelled \u2014 no changes were made.";
            else if (result.ok)
                row->outcome = "Done.";
            else
                row->outcome = failureOutcome(result.output);
            Q_EMIT tasksChanged();

            if (result.cancelled) {
                showBanner(row->title + " needs administrator approval to run.", false);
            } else if (result.ok) {
                showBanner(row->title + " finished.", false);
            } else {
                std::string text = row->title + " could not complete.";
                if (auto line = firstLine(*row->outcome)) text += " " + *line;
                showBanner(std::move(text), true);
            }
            refreshVolume();
        });
}
