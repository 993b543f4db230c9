// Removing what the user ticked: a module's report, and one category of
// orphaned support files.
#include <set>
#include <string_view>

#include "app/state/app_state.h"
#include "engine/admin.h"
#include "engine/clean_history.h"
#include "platform/decimal.h"

namespace {

// Smart Scan's categories that came from Mail attachments and from the adware
// check: their own screens move what they remove to the Trash, and so does
// Smart Scan, so a reviewed attachment is never deleted for good from one
// screen while another would have kept it.
bool trashedFromSmartScan(std::string_view categoryID) {
    return categoryID.starts_with("mail.") || categoryID.starts_with("malware.");
}

// One privileged batch for the items that need administrator rights. Each
// path goes once, the first item with it standing for it.
struct Batch {
    Admin::PrivilegedRemoval removal;
    std::vector<ScanItem> removed;     // items whose path the batch removed
    std::vector<ScanItem> notRemoved;  // the others, refused, still present or not tried
};

Batch removeAsRoot(const std::vector<ScanItem>& elevated) {
    std::vector<ScanItem> unique;
    std::set<std::string> paths;
    for (const auto& item : elevated)
        if (paths.insert(item.url.native()).second) unique.push_back(item);
    std::vector<std::filesystem::path> urls;
    for (const auto& item : unique) urls.push_back(item.url);

    Batch batch;
    batch.removal = Admin::removeAsRoot(urls);
    const std::set<std::string> removed(batch.removal.removed.begin(), batch.removal.removed.end());
    for (auto& item : unique) (removed.contains(item.url.native()) ? batch.removed : batch.notRemoved).push_back(item);
    return batch;
}

// One pass of FS::remove, as the state counts it: only what this pass
// removed is reclaimed (an item already gone was reclaimed by whoever removed
// it, and counting it again would put its bytes in the history twice), and
// both what it removed and what was already gone are no longer on disk.
struct Pass {
    FS::RemovalOutcome outcome;
    int64_t removedBytes = 0;
    std::vector<std::filesystem::path> gone;
};

Pass removePlain(const std::vector<ScanItem>& items, bool toTrash) {
    Pass pass;
    pass.outcome = FS::remove(items, toTrash);
    for (const auto& item : pass.outcome.removed) pass.removedBytes += item.size;
    std::set<Uuid> failed;
    for (const auto& [item, reason] : pass.outcome.failures) failed.insert(item.id);
    for (const auto& item : items)
        if (!failed.contains(item.id)) pass.gone.push_back(item.url);
    return pass;
}

// What a cleaning did, gathered off the main thread.
struct Cleaning {
    std::vector<std::filesystem::path> gone;  // no longer on disk
    int64_t reclaimed = 0;
    int64_t removedCount = 0;
    int64_t trashedBytes = 0;
    std::vector<std::string> failures;
    std::vector<std::string> notes;
    bool cancelled = false;
};

int64_t permissionDenied(const std::vector<std::string>& failures) {
    int64_t count = 0;
    for (const auto& line : failures)
        if (line.find("Full Disk Access") != std::string::npos) ++count;
    return count;
}

}  // namespace

void AppState::clean(const ScanReport& report, ModuleID module, bool toTrash) {
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
    // The cleaning cancels nothing: it has a token nobody else holds.
    const Action action =
        beginAction(std::make_shared<ScanToken>(), module, "Removing " + Decimal::text(count) + " items\u2026");

    inBackground<Cleaning>(
        [forGood = std::move(forGood), toTheTrash = std::move(toTheTrash), module, tell = makeMessage()] {
            Cleaning out;
            std::vector<ScanItem> elevated;
            for (bool trash : {false, true}) {
                std::vector<ScanItem> plain;
                for (const auto& item : trash ? toTheTrash : forGood)
                    (FS::requiresElevation(item.url) ? elevated : plain).push_back(item);
                if (plain.empty()) continue;
                Pass pass = removePlain(plain, trash);
                out.removedCount += int64_t(pass.outcome.removed.size());
                out.reclaimed += pass.removedBytes;
                if (trash) out.trashedBytes += pass.removedBytes;
                for (const auto& [item, reason] : pass.outcome.failures) out.failures.push_back(item.name + ": " + reason);
                out.gone.insert(out.gone.end(), pass.gone.begin(), pass.gone.end());
            }
            if (!elevated.empty()) {
                tell("Waiting for administrator approval\u2026");
                Batch batch = removeAsRoot(elevated);
                for (const auto& item : batch.removed) out.gone.push_back(item.url);
                // A dismissed prompt changed nothing: the title says so.
                out.cancelled = batch.removal.cancelled;
                if (!out.cancelled) {
                    for (const auto& item : batch.removed) {
                        out.reclaimed += item.size;
                        ++out.removedCount;
                    }
                    for (const auto& item : batch.notRemoved)
                        out.failures.push_back(item.name + ": Could not be removed with administrator rights");
                    if (!batch.removed.empty()) {
                        const size_t n = batch.removed.size();
                        out.notes.push_back("Removed " + Decimal::text(n) + " system item" + (n == 1 ? "" : "s") +
                                            " with administrator rights");
                    }
                    if (batch.removal.authorizationUnavailable)
                        out.notes.push_back(
                            "Administrator authorization was not available, so system items were left alone");
                }
            }
            // What was removed is recorded even when the window has gone meanwhile.
            CleanupRecord record;
            record.timestamp = Clock::now();
            record.source = "gui";
            record.modules = {std::string(Modules::rawValue(module))};
            record.reclaimedBytes = out.reclaimed;
            record.removedCount = out.removedCount;
            record.failureCount = int64_t(out.failures.size());
            record.permissionDeniedCount = permissionDenied(out.failures);
            CleanHistory::append(record);
            return out;
        },
        [this, module, before, action](Cleaning out) {
            refreshVolume();
            CleanupSummary summary;
            summary.reclaimed = out.reclaimed;
            summary.removedCount = out.removedCount;
            summary.failures = std::move(out.failures);
            summary.title = std::string(Modules::title(module)) + (out.cancelled ? " \u2014 cancelled" : "");
            summary.notes = std::move(out.notes);
            if (before && volume_) summary.measuredReclaimed = volume_->free - before->free;
            summary.trashedBytes = out.trashedBytes;
            setLastCleanup(std::move(summary));
            // Every other screen lets go of what is gone before the rescan
            // brings this one's new report.
            itemsRemoved(out.gone);
            // Back to the cleaned module, which is scanned again: the removed
            // items leave the screen with the new report. Not when the user
            // started something else meanwhile: that stays on screen and runs on.
            if (!endAction(action)) return;
            setModule(module);
            rescanCurrent();
        });
}

void AppState::removeOrphanCategory(const ScanCategory& category) {
    std::vector<ScanItem> selected;
    for (const auto& item : category.items)
        if (item.isSelected && !cleared_.contains(item.url.native())) selected.push_back(item);
    if (selected.empty()) {
        showBanner("Nothing is selected.", false);
        return;
    }

    struct Removal {
        int64_t reclaimed = 0;
        int64_t removedCount = 0;
        std::vector<std::string> failures;
        std::vector<std::filesystem::path> gone;  // no longer on disk
    };
    inBackground<Removal>(
        [selected = std::move(selected)] {
            Removal out;
            std::vector<ScanItem> plain, elevated;
            for (const auto& item : selected) (FS::requiresElevation(item.url) ? elevated : plain).push_back(item);
            if (!plain.empty()) {
                Pass pass = removePlain(plain, true);
                out.removedCount = int64_t(pass.outcome.removed.size());
                out.reclaimed = pass.removedBytes;
                out.gone = std::move(pass.gone);
                for (const auto& [item, reason] : pass.outcome.failures)
                    out.failures.push_back(item.name + ": " + reason);
            }
            if (!elevated.empty()) {
                // Every path the batch did not remove is listed, a dismissed
                // prompt's included, so nothing leaves the list unaccounted for.
                Batch batch = removeAsRoot(elevated);
                for (const auto& item : batch.removed) {
                    out.reclaimed += item.size;
                    ++out.removedCount;
                    out.gone.push_back(item.url);
                }
                for (const auto& item : batch.notRemoved)
                    out.failures.push_back(item.url.native() + ": administrator removal failed");
            }
            return out;
        },
        [this](Removal out) {
            // Only what is gone leaves the card, and every other list: the
            // files that were not ticked, and those whose removal failed, are
            // still on disk and stay listed. A card left with nothing goes.
            itemsRemoved(out.gone);
            CleanupSummary summary;
            summary.reclaimed = out.reclaimed;
            summary.removedCount = out.removedCount;
            summary.failures = std::move(out.failures);
            summary.title = "Orphaned Files";
            setLastCleanup(std::move(summary));
        });
}
