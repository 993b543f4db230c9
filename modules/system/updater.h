#pragma once
// The update check: for each installed application that names an update feed
// in its Info.plist, fetch the feed over HTTPS, pick its best entry and report
// an update when that entry's version is newer than the installed one. Nothing
// is ever downloaded beyond the feeds, and nothing is installed.
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/scan_model.h"
#include "modules/system/feed_fetcher.h"
#include "modules/system/uninstaller.h"
#include "platform/clock.h"

// One installed application whose feed advertises a newer version.
struct AppUpdate {
    std::string id;  // the installed application's id (its bundle path)
    std::string name;
    std::string appPath;
    std::string installedVersion;
    std::string availableVersion;
    std::optional<std::string> downloadURL;      // absolute http(s) address
    std::optional<std::string> releaseNotesURL;  // the entry's notes, else the feed itself
    std::optional<Clock::TimePoint> published;
    std::string feedHost;  // the feed's host, else the whole feed address

    bool operator==(const AppUpdate&) const = default;
};

namespace Updater {

struct Outcome {
    std::vector<AppUpdate> updates;  // sorted by name
    int checked = 0;                 // applications with a usable feed, all of them queued
    int withoutFeed = 0;             // the others
};

// How version a stands to version b.
enum class Order { ascending, same, descending };  // a older, equal, a newer

// The feed address an application bundle names: "SUFeedURL", else
// "SUFeedURLForFinalUserInitiatedCheck", trimmed, and only when it is an
// https address (the scheme written in lower case).
std::optional<std::string> appcastURL(const std::filesystem::path& bundle);

// Checks the applications' feeds in batches of at most five, each batch
// finished before the token is read again and the next one starts. Progress
// once per batch: "Checked <done> of <checked> apps…" at min(done/checked,
// 0.98). Never fails: a feed that cannot be fetched or read gives no update.
// Runs on the calling thread and blocks until done.
Outcome check(const std::vector<InstalledApp>& apps, bool includePrereleases, const ScanToken& token,
              const ProgressCallback& progress);
// The same with the given fetcher.
Outcome check(const std::vector<InstalledApp>& apps, bool includePrereleases, const ScanToken& token,
              const ProgressCallback& progress, FeedFetcher& fetcher);

// Compares two version texts piece by piece (pieces split at ".", "-" and
// "_"; a missing piece counts as "0"; whole numbers by value, anything else as
// text with runs of digits compared by value).
Order compareVersions(std::string_view a, std::string_view b);

// Test seam: the fetcher the four-argument check() uses instead of HTTPS;
// nullptr restores the real one.
void setFetcherForTesting(std::shared_ptr<FeedFetcher> fetcher);

}  // namespace Updater
