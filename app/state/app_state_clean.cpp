// Removing what the user ticked: a module's report, and one category of
// orphaned support files.
#include <algorithm>
#include <mutex>
#include <string_view>
#include <utility>

#include "app/state/app_state.h"
#include "engine/cleaning.h"
#include "engine/fs.h"
#include "platform/decimal.h"

namespace {

// Smart Scan's categories that came from Mail attachments and from the adware
// check: their own screens move what they remove to the Trash, and so does
// Smart Scan, so a reviewed attachment is never deleted for good from one
// screen while another would have kept it.
bool trashedFromSmartScan(std::string_view categoryID) {
    return categoryID.starts_with("mail.") || categoryID.starts_with("malware.");
}

// The failure lines the summary shows: the item's name and why.
std::vector<std::string> failureLines(const Cleaning::Outcome& out) {
    std::vector<std::string> lines;
    for (const auto& f : out.failures)
        // What took the item's place since the scan says so on every road.
        lines.push_back(f.item.name + ": " +
                        (f.asRoot && f.reason != FS::kChangedText ? "Could not be removed with administrator rights"
                                                                  : f.reason));
    return lines;
}

// The progress line of a removal: the item under way of how many, or that it stops.
std::string removingText(const Cleaning::Step& step, bool stopping) {
    if (stopping) return "Stopping after the item under way\u2026";
    const size_t at = std::min(step.done + 1, step.total);
    return "Removing " + Decimal::text(at) + " of " + Decimal::text(step.total) + " items\u2026";
}

}  // namespace

void AppState::clean(const ScanReport& report, ModuleID module, bool toTrash) {
    // The items of a removal under way would be removed twice, and counted twice.
    if (removal_) {
        showBanner("A removal is already running.", false);
        return;
    }
    // The selection alone decides, whatever the items' safety; the removal
    // roads themselves refuse protected and ignored places. A path the user
    // cleared on any screen stays, even in a report handed in from elsewhere
    // that still has it ticked.
    std::vector<ScanItem> forGood, toTheTrash;
    for (const auto& category : report.categories) {
        const bool trash = toTrash || (module == ModuleID::smartScan && trashedFromSmartScan(category.id));
        for (const auto& item : category.items)
            if (item.isSelected && !cleared_.contains(item.url.native())) (trash ? toTheTrash : forGood).push_back(item);
    }
    const size_t count = forGood.size() + toTheTrash.size();
    if (count == 0) {
        showBanner("Nothing is selected.", false);
        return;
    }

    const std::optional<FS::VolumeStats> before = FS::stats("/");
    // The cleaning cancels nothing: it has a token nobody else holds, which
    // only its Stop cancels.
    const ScanTokenRef stop = std::make_shared<ScanToken>();
    const Action action = beginAction(stop, module, "Removing " + Decimal::text(count) + " items\u2026");
    removal_ = Removal{module, stop};
    Q_EMIT removalChanged();

    Cleaning::Request request;
    request.forGood = std::move(forGood);
    request.toTrash = std::move(toTheTrash);
    request.source = "gui";
    request.modules = {std::string(Modules::rawValue(module))};
    inBackground<Cleaning::Outcome>(
        [request = std::move(request), tell = makeMessage(), post = mainPoster(), this, stop] {
            // The latest step waits in one slot, and at most one call to show
            // it is on its way to the main thread: the line follows the
            // removal however fast items go, and always ends at its last step.
            struct Latest {
                std::mutex lock;
                Cleaning::Step step;
                bool posted = false;
            };
            auto latest = std::make_shared<Latest>();
            auto step = [&](const Cleaning::Step& step) {
                if (step.awaitingApproval) return tell("Waiting for administrator approval…");
                if (step.total == 0) return;
                {
                    std::lock_guard guard(latest->lock);
                    latest->step = step;
                    if (std::exchange(latest->posted, true)) return;
                }
                post([this, latest, stop] {
                    Cleaning::Step shown;
                    {
                        std::lock_guard guard(latest->lock);
                        shown = latest->step;
                        latest->posted = false;
                    }
                    if (progressHolder_ == stop)
                        applyProgress(double(shown.done) / double(shown.total),
                                      removingText(shown, stop->isCancelled()));
                });
            };
            // What was removed is recorded even when the window has gone meanwhile.
            return Cleaning::run(request, stop.get(), step);
        },
        [this, module, before, action](Cleaning::Outcome out) {
            removal_.reset();
            refreshVolume();
            CleanupSummary summary;
            summary.reclaimed = out.reclaimed;
            summary.removedCount = out.removedCount;
            // A dismissed prompt changed nothing: the title says so, and the
            // system items are neither counted nor listed.
            summary.failures = failureLines(out);
            summary.title = std::string(Modules::title(module)) + (out.adminCancelled ? " \u2014 cancelled" : "") +
                            (out.stopped ? " \u2014 stopped" : "");
            if (out.stopped)
                summary.notes.push_back("Stopped: " + Decimal::text(out.notTried) + " item" +
                                        (out.notTried == 1 ? " was" : "s were") + " left as they were");
            if (out.removedAsRoot > 0) {
                const int64_t n = out.removedAsRoot;
                summary.notes.push_back("Removed " + Decimal::text(n) + " system item" + (n == 1 ? "" : "s") +
                                        " with administrator rights");
            }
            if (out.authorizationUnavailable)
                summary.notes.push_back("Administrator authorization was not available, so system items were left alone");
            if (before && volume_) summary.measuredReclaimed = volume_->free - before->free;
            summary.trashedBytes = out.trashedBytes;
            setLastCleanup(std::move(summary));
            // Every other screen lets go of what is gone before the rescan
            // brings this one's new report.
            itemsRemoved(out.gone);
            // Back to the cleaned module, which is scanned again: the removed
            // items leave the screen with the new report. Not when the user
            // started something else meanwhile: that stays on screen and runs on.
            const bool held = endAction(action);
            Q_EMIT removalChanged();
            if (!held) return;
            setModule(module);
            rescanCurrent();
        });
}

void AppState::stopRemoval() {
    if (!removal_ || removal_->stop->isCancelled()) return;
    removal_->stop->cancel();
    if (progressHolder_ == removal_->stop) {
        progress_.message = "Stopping after the item under way\u2026";
        Q_EMIT progressChanged();
    }
}

void AppState::removeOrphanCategory(const ScanCategory& category) {
    std::vector<ScanItem> selected;
    for (const auto& item : category.items)
        if (item.isSelected && !cleared_.contains(item.url.native())) selected.push_back(item);
    if (selected.empty()) {
        showBanner("Nothing is selected.", false);
        return;
    }

    Cleaning::Request request;
    request.toTrash = std::move(selected);
    inBackground<Cleaning::Outcome>([request = std::move(request)] { return Cleaning::run(request); },
        [this](Cleaning::Outcome out) {
            // Only what is gone leaves the card, and every other list: the
            // files that were not ticked, and those whose removal failed, are
            // still on disk and stay listed. A card left with nothing goes.
            itemsRemoved(out.gone);
            CleanupSummary summary;
            summary.reclaimed = out.reclaimed;
            summary.removedCount = out.removedCount;
            // Every path the batch did not remove is listed, a dismissed
            // prompt's included, so nothing leaves the list unaccounted for.
            for (const auto& f : out.failures)
                summary.failures.push_back(f.asRoot ? f.item.url.native() + ": administrator removal failed"
                                                    : f.item.name + ": " + f.reason);
            for (const auto& item : out.skippedForAdmin)
                summary.failures.push_back(item.url.native() + ": administrator removal failed");
            summary.title = "Orphaned Files";
            setLastCleanup(std::move(summary));
        });
}
