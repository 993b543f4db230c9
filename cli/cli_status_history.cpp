// The `status` and `history` verbs.
#include <ctime>
#include <string>

#include "cli/cli_commands.h"
#include "engine/admin.h"
#include "engine/byte_format.h"
#include "engine/clean_history.h"
#include "engine/fs.h"
#include "platform/iso8601.h"
#include "platform/plain_text.h"

namespace CLICommands {

using PlainText::number;
using PlainText::padRight;
using PlainText::twoDigits;
namespace {

// "yyyy-MM-dd HH:mm" in local time.
std::string localMinute(Clock::TimePoint when) {
    std::time_t t = std::chrono::system_clock::to_time_t(when);
    std::tm local{};
    if (!::localtime_r(&t, &local)) return "";
    std::string year = number(local.tm_year + 1900);
    while (year.size() < 4) year.insert(year.begin(), '0');
    return year + "-" + twoDigits(local.tm_mon + 1) + "-" + twoDigits(local.tm_mday) + " " +
           twoDigits(local.tm_hour) + ":" + twoDigits(local.tm_min);
}

std::string isoText(Clock::TimePoint when) { return Iso8601::format(when).value_or(""); }

}  // namespace

CLIResult status(const CLIOptions&) {
    auto stats = FS::stats("/");
    bool fda = Admin::hasFullDiskAccess();
    auto last = CleanHistory::recent(1);

    CLIResult r;
    nlohmann::json payload = {{"full_disk_access", fda}};
    if (stats) {
        r.human += "Disk: " + ByteFormat::string(stats->free) + " free of " + ByteFormat::string(stats->total) + "\n";
        int64_t used = stats->total - stats->free;
        if (used < 0) used = 0;
        double fraction = stats->total < 1 ? 0.0 : double(used) / double(stats->total);
        payload["disk"] = {{"total_bytes", stats->total},
                           {"free_bytes", stats->free},
                           {"used_bytes", used},
                           {"used_fraction", fraction}};
    }
    r.human += std::string("Full Disk Access: ") + (fda ? "granted" : "NOT granted") + "\n";
    if (!last.empty()) {
        const CleanupRecord& rec = last.front();
        r.human += "Last run: " + isoText(rec.timestamp) + " \xC2\xB7 " + (rec.dryRun ? "preview" : "cleaned") + " " +
                   ByteFormat::string(rec.reclaimedBytes) + " from " + number(rec.removedCount) + " items\n";
        payload["last_run"] = {{"timestamp", isoText(rec.timestamp)},
                               {"dry_run", rec.dryRun},
                               {"reclaimed_bytes", rec.reclaimedBytes},
                               {"removed_count", rec.removedCount}};
    } else {
        r.human += "Last run: never\n";
    }
    r.json = std::move(payload);
    return r;
}

CLIResult history(const CLIOptions&) {
    auto records = CleanHistory::recent(50);
    CLIResult r;
    if (records.empty()) {
        r.human = "No cleanup runs recorded yet.";
        r.json = nlohmann::json{{"runs", nlohmann::json::array()}};
        return r;
    }
    nlohmann::json runs = nlohmann::json::array();
    r.human = "Recent runs:";
    for (const auto& rec : records) {
        std::string line = "  " + localMinute(rec.timestamp) + "  " + padRight(rec.dryRun ? "preview" : "cleaned", 8) +
                           " " + padRight(ByteFormat::string(rec.reclaimedBytes), 10) + number(rec.removedCount) +
                           " " + (rec.removedCount == 1 ? "item" : "items");
        if (rec.failureCount > 0) line += " \xC2\xB7 " + number(rec.failureCount) + " failed";
        if (rec.stopped) line += " \xC2\xB7 stopped";
        r.human += "\n" + line;
        runs.push_back({{"timestamp", isoText(rec.timestamp)},
                        {"source", rec.source},
                        {"modules", rec.modules},
                        {"dry_run", rec.dryRun},
                        {"reclaimed_bytes", rec.reclaimedBytes},
                        {"removed_count", rec.removedCount},
                        {"failure_count", rec.failureCount}});
        if (rec.stopped) runs.back()["stopped"] = true;
    }
    r.json = nlohmann::json{{"log_path", CleanHistory::logURL().string()}, {"runs", runs}};
    return r;
}

}  // namespace CLICommands
