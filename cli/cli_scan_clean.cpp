// The `scan` and `clean` verbs.
#include <map>
#include <mutex>
#include <string>

#include "cli/cli.h"
#include "cli/cli_commands.h"
#include "engine/admin.h"
#include "engine/byte_format.h"
#include "engine/clean_history.h"
#include "engine/fs.h"
#include "engine/ignores.h"
#include "modules/system/schedule.h"
#include "platform/plain_text.h"

namespace CLICommands {

using PlainText::number;
using PlainText::padRight;
using PlainText::plural;
using PlainText::shown;
namespace {

int64_t categoryBytes(const ScanCategory& c) {
    int64_t total = 0;
    for (const auto& item : c.items) total += item.size;
    return total;
}

std::mutex hookLock;
std::function<void(const ScanReport&)> afterScanHook;

// The elevated items that the privileged batch did not remove.
int64_t privilegeRemainder(const std::vector<ScanItem>& items, const Admin::PrivilegedRemoval& removal) {
    int64_t remainder = 0;
    for (const auto& item : items) {
        bool removed = false;
        for (const auto& p : removal.removed)
            if (p == item.url.native()) removed = true;
        if (!removed) ++remainder;
    }
    return remainder;
}

}  // namespace

std::vector<ModuleID> moduleSet(const CLIOptions& options) {
    if (!options.modules.empty()) return options.modules;
    return std::vector<ModuleID>(Schedule::cleanableModules.begin(), Schedule::cleanableModules.end());
}

CLIResult scan(const CLIOptions& options) {
    auto modules = moduleSet(options);
    ScanReport report = buildReport(modules, options.deep, CLIOutput::progressHandler(options));
    CLIResult r;
    r.json = describe(report, modules);
    std::string titles;
    for (size_t i = 0; i < modules.size(); ++i) {
        if (i) titles += ", ";
        titles += Modules::title(modules[i]);
    }
    r.human = "Scanned " + titles + "\n";
    std::string incomplete;
    for (const auto& error : report.errors) incomplete += "\nIncomplete: " + shown(error);
    if (report.categories.empty()) {
        r.human += report.errors.empty() ? "Nothing to clean." : "Nothing to clean in what was examined.";
        r.human += incomplete;
        return r;
    }
    for (const auto& c : report.categories) {
        int64_t count = int64_t(c.items.size());
        r.human += "  " + padRight(ByteFormat::string(categoryBytes(c)), 10) + c.title + " (" + number(count) + " " +
                   plural(count, "item") + ")\n";
    }
    int64_t items = report.itemCount();
    r.human += "Cleanable: " + ByteFormat::string(report.totalSize()) + " across " + number(items) + " " +
               plural(items, "item");
    r.human += incomplete;
    return r;
}

void setAfterScanHookForTesting(std::function<void(const ScanReport& report)> hook) {
    std::lock_guard guard(hookLock);
    afterScanHook = std::move(hook);
}

CLIResult clean(const CLIOptions& options) {
    // What the ignore list protects is unknown while it cannot be read:
    // nothing is removed, and the user is told which file to mend.
    if (auto why = Ignores::unreadable()) {
        CLIResult r;
        r.exitCode = ExitCode::error;
        r.human = "Nothing was removed: the ignore list cannot be read (" + shown(*why) + "): " +
                  shown(Ignores::fileURL().native()) + "\nMend or remove that file, then clean again.";
        r.json = nlohmann::json{
            {"error", "ignore_list_unreadable"}, {"reason", *why}, {"file", Ignores::fileURL().string()}};
        return r;
    }
    if (!options.allowAdmin && !options.quiet && !options.json)
        CLIOutput::writeError("note: items needing administrator rights will be skipped (pass --allow-admin)");

    auto modules = moduleSet(options);
    ScanReport report = buildReport(modules, options.deep, CLIOutput::progressHandler(options));
    {
        std::function<void(const ScanReport&)> hook;
        {
            std::lock_guard guard(hookLock);
            hook = afterScanHook;
        }
        if (hook) hook(report);
    }

    // Eligibility is by safety alone: safe always, review on request, protected never.
    std::vector<ScanItem> eligible;
    for (const auto& c : report.categories)
        for (const auto& item : c.items)
            if (item.safety == Safety::safe || (item.safety == Safety::review && options.includeReview))
                eligible.push_back(item);

    std::vector<ScanItem> elevated, plain;
    for (const auto& item : eligible) (FS::requiresElevation(item.url) ? elevated : plain).push_back(item);

    auto before = FS::stats("/");
    int64_t reclaimed = 0, removed = 0, skipped = 0, measured = 0;
    bool measuredKnown = false;
    std::vector<std::string> failures;

    if (!options.apply) {
        for (const auto& item : eligible) reclaimed += item.size;
        removed = int64_t(eligible.size());
    } else {
        // Safe items are deleted for good; review items go to the Trash.
        for (bool toTrash : {false, true}) {
            std::vector<ScanItem> pass;
            for (const auto& item : plain)
                if ((item.safety == Safety::review) == toTrash) pass.push_back(item);
            if (pass.empty()) continue;
            FS::RemovalOutcome outcome = FS::remove(pass, toTrash);
            reclaimed += outcome.bytes;
            removed += int64_t(outcome.removed.size());
            for (const auto& [item, reason] : outcome.failures) failures.push_back(item.url.native() + ": " + reason);
        }
        if (!elevated.empty() && !options.allowAdmin) {
            skipped = int64_t(elevated.size());
        } else if (!elevated.empty()) {
            std::vector<std::filesystem::path> paths;
            std::map<std::string, int64_t> sizes;
            for (const auto& item : elevated) {
                paths.push_back(item.url);
                sizes.emplace(item.url.native(), item.size);
            }
            Admin::PrivilegedRemoval batch = Admin::removeAsRoot(paths);
            for (const auto& p : batch.removed) {
                auto it = sizes.find(p);
                if (it != sizes.end()) reclaimed += it->second;
            }
            removed += int64_t(batch.removed.size());
            for (size_t i = 0; i < batch.failed.size(); ++i) {
                const bool known = i < batch.reasons.size() && !batch.reasons[i].empty();
                failures.push_back(batch.failed[i] + ": " + (known ? batch.reasons[i] : "administrator removal failed"));
            }
            if (batch.cancelled) {
                failures.push_back("administrator authorization was cancelled");
                skipped = privilegeRemainder(elevated, batch);
            }
        }
        auto after = FS::stats("/");
        if (before && after) {
            measured = after->free - before->free;
            measuredKnown = true;
        }
    }

    CleanupRecord record;
    record.timestamp = Clock::now();
    record.source = "cli";
    for (auto m : modules) record.modules.emplace_back(Modules::rawValue(m));
    record.dryRun = !options.apply;
    record.reclaimedBytes = reclaimed;
    record.removedCount = removed;
    record.failureCount = int64_t(failures.size());
    record.permissionDeniedCount = skipped;
    CleanHistory::append(record);

    std::vector<std::string> lines;
    const std::string figures =
        ByteFormat::string(reclaimed) + " from " + number(removed) + " " + plural(removed, "item") + ".";
    if (options.apply) {
        lines.push_back("Reclaimed " + figures);
    } else {
        lines.push_back("Dry run \xE2\x80\x94 nothing was removed.");
        lines.push_back("Would reclaim " + figures);
    }
    if (skipped >= 1) lines.push_back("Skipped " + number(skipped) + " items needing administrator rights.");
    if (!failures.empty()) {
        lines.push_back(number(int64_t(failures.size())) + " item(s) could not be removed:");
        for (size_t i = 0; i < failures.size() && i < 10; ++i) lines.push_back("  " + shown(failures[i]));
    }
    for (const auto& error : report.errors) lines.push_back("Incomplete: " + shown(error));
    if (options.apply && measuredKnown) {
        if (measured >= 0)
            lines.push_back("Volume free space increased by " + ByteFormat::string(measured) + ".");
        else
            lines.push_back("Volume free space decreased by " + ByteFormat::string(-measured) +
                            " \xE2\x80\x94 other activity was writing to the disk.");
    }

    CLIResult r;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i) r.human += "\n";
        r.human += lines[i];
    }
    std::vector<std::string> firstFailures(failures.begin(),
                                           failures.begin() + std::min<size_t>(failures.size(), 50));
    std::vector<std::string> moduleNames = record.modules;
    r.json = nlohmann::json{{"dry_run", !options.apply},
                            {"reclaimed_bytes", reclaimed},
                            {"measured_reclaimed_bytes", options.apply && measuredKnown ? measured : 0},
                            {"removed_count", removed},
                            {"failed_count", int64_t(failures.size())},
                            {"skipped_for_admin", skipped},
                            {"modules", moduleNames},
                            {"failures", firstFailures}};
    r.exitCode = failures.empty() ? ExitCode::success : ExitCode::partial;
    return r;
}

}  // namespace CLICommands
