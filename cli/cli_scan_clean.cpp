// The `scan` and `clean` verbs.
#include <algorithm>
#include <mutex>
#include <string>

#include "cli/cli.h"
#include "cli/cli_commands.h"
#include "engine/byte_format.h"
#include "engine/cleaning.h"
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

}  // namespace

std::vector<ModuleID> moduleSet(const CLIOptions& options) {
    if (!options.modules.empty()) {
        // A module named twice is scanned and cleaned once.
        std::vector<ModuleID> unique;
        for (ModuleID m : options.modules)
            if (std::find(unique.begin(), unique.end(), m) == unique.end()) unique.push_back(m);
        return unique;
    }
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

    // Eligibility is by safety alone: safe always, review on request, protected
    // never. Safe items are deleted for good; review items go to the Trash.
    Cleaning::Request request;
    for (const auto& c : report.categories)
        for (const auto& item : c.items) {
            if (item.safety == Safety::safe)
                request.forGood.push_back(item);
            else if (item.safety == Safety::review && options.includeReview)
                request.toTrash.push_back(item);
        }
    request.apply = options.apply;
    request.allowAdmin = options.allowAdmin;
    request.source = "cli";
    for (auto m : modules) request.modules.emplace_back(Modules::rawValue(m));

    const auto before = options.apply ? FS::stats("/") : std::nullopt;
    const Cleaning::Outcome outcome = Cleaning::run(request);
    const int64_t reclaimed = outcome.reclaimed, removed = outcome.removedCount;
    const int64_t skipped = int64_t(outcome.skippedForAdmin.size());
    int64_t measured = 0;
    bool measuredKnown = false;
    if (options.apply) {
        auto after = FS::stats("/");
        if (before && after) {
            measured = after->free - before->free;
            measuredKnown = true;
        }
    }
    std::vector<std::string> failures;
    for (const auto& f : outcome.failures)
        failures.push_back(f.item.url.native() + ": " +
                           (!f.reason.empty() ? f.reason : std::string("administrator removal failed")));
    if (outcome.adminCancelled) failures.push_back("administrator authorization was cancelled");
    const CleanupRecord& record = outcome.record;

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
