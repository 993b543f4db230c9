// The actions of the screens that work on files the user names: the
// shredder's measuring and shredding, the settings window's writes of the
// ignore list and of the daily cleanup job.
#include "app/state/app_state.h"
#include "modules/system/schedule.h"
#include "modules/system/shredder.h"

void AppState::measure(const std::filesystem::path& url, Executor::Receiver receiver,
                       std::function<void(int64_t)> done) {
    // A dropped home folder takes a while: never on the main thread.
    runThenPost(
        executor_, std::move(receiver),
        [url] {
            FS::SeenSet seen;
            return FS::size(url, seen);
        },
        std::move(done));
}

void AppState::shred(std::vector<ScanItem> items, Executor::Receiver receiver,
                     std::function<void(const std::string&)> message,
                     std::function<void(const std::vector<std::string>&)> done) {
    // The messages go to the screen; the summary to the state, which outlives it.
    auto tell = [post = poster(executor_, receiver), message = std::move(message)](double, const std::string& text) {
        post([message, text] { message(text); });
    };
    inBackground<Shredder::Outcome>(
        [items = std::move(items), tell] {
            // A token of its own: nothing stops a shred once it is confirmed.
            ScanToken token;
            return Shredder::shred(items, 1, token, tell);
        },
        [this, receiver = std::move(receiver), done = std::move(done)](Shredder::Outcome outcome) {
            if (!receiver.expired()) done(outcome.shreddedPaths);
            itemsRemoved({outcome.shreddedPaths.begin(), outcome.shreddedPaths.end()});
            CleanupSummary summary;
            summary.reclaimed = outcome.bytes;
            summary.removedCount = outcome.shreddedCount;
            summary.failures = std::move(outcome.failures);
            summary.title = "Shredder";
            setLastCleanup(std::move(summary));
        });
}

void AppState::addIgnored(std::vector<std::filesystem::path> paths, Executor::Receiver receiver,
                          std::function<void(IgnoreEdits)> done) {
    runThenPost(
        executor_, std::move(receiver),
        [paths = std::move(paths)] {
            IgnoreEdits edits;
            for (const auto& path : paths) edits.emplace_back(path.string(), Ignores::add(path.string()));
            return edits;
        },
        std::move(done));
}

void AppState::removeIgnored(std::string path, Executor::Receiver receiver, std::function<void(Ignores::Edit)> done) {
    runThenPost(executor_, std::move(receiver), [path = std::move(path)] { return Ignores::remove(path); },
                std::move(done));
}

Schedule::InstalledJob AppState::dailyJob() const { return Schedule::read(); }

std::filesystem::path AppState::dailyJobLogFolder() const { return Schedule::logFolder(); }

void AppState::installDailyCleanup(int hour, std::vector<ModuleID> modules, Executor::Receiver receiver,
                                   std::function<void(DailyJobChange)> done) {
    runThenPost(
        executor_, std::move(receiver),
        [hour, modules = std::move(modules)] {
            DailyJobChange change;
            try {
                Schedule::install(hour, modules);
                change.installed = true;
            } catch (const std::exception& error) {
                change.error = error.what();
                change.installed = Schedule::isInstalled();
            }
            return change;
        },
        std::move(done));
}

void AppState::removeDailyCleanup(Executor::Receiver receiver, std::function<void(DailyJobChange)> done) {
    runThenPost(
        executor_, std::move(receiver),
        [] {
            Schedule::uninstall();
            DailyJobChange change;
            // The job runs as long as its file is there, whatever launchctl said.
            change.installed = Schedule::isInstalled();
            if (change.installed)
                change.error = "Could not turn off the daily cleanup: " + Schedule::plistURL().string() + " is still there.";
            return change;
        },
        std::move(done));
}
