#include "modules/system/uninstaller.h"

#include <algorithm>
#include <array>
#include <set>
#include <unordered_set>

#include "engine/app_match.h"
#include "engine/fs.h"
#include "engine/installed_bundles.h"
#include "engine/protection.h"
#include "modules/protection/orphans.h"
#include "modules/system/process_control.h"
#include "platform/locations.h"
#include "platform/unicode.h"
#include "platform/walker.h"
#include "engine/own_files.h"

namespace Uninstaller {
namespace {

constexpr int kSpotlightLimit = 400;

constexpr std::array<std::string_view, 13> kStateFragments = {
    "/Library/",      "/Preferences/",   "/Caches/",        "/Logs/",
    "/Containers/",   "/Application Support/", "/Saved Application State/", "/HTTPStorages/",
    "/WebKit/",       "/LaunchAgents/",  "/LaunchDaemons/", "/PrivilegedHelperTools/",
    "/Application Scripts/",
};

constexpr std::array<std::string_view, 11> kStateExtensions = {
    "plist", "savedstate", "binarycookies", "log", "db", "sqlite", "sqlite3", "wal", "shm", "conf", "config",
};

// The folders applications are installed in, in search order.
std::vector<std::filesystem::path> applicationFolders() {
    return {
        Locations::system("/Applications"),
        Locations::system("/Applications/Utilities"),
        Locations::system("/System/Applications"),
        Locations::system("/System/Applications/Utilities"),
        Locations::home() / "Applications",
    };
}

// Why a leftover is not ticked for the user; empty when it is named after the
// application itself and nothing else.
std::string reasonFor(const AppMatch::Judgement& judgement, const InstalledApp& app) {
    if (judgement.shared)
        return "Also matches " + judgement.shared->name + " (" +
               Locations::abbreviateTilde(judgement.shared->url.string()) + ")";
    if (judgement.mine.kind == AppMatch::Kind::words) return "Its name only contains \u201C" + app.name + "\u201D";
    return {};
}

// A lower-case extension without its dot, as the path shows it.
std::string extensionOf(const std::filesystem::path& path) {
    std::string ext = path.extension().string();
    if (!ext.empty()) ext.erase(0, 1);
    return Unicode::lower(ext);
}

}  // namespace

std::vector<std::pair<std::filesystem::path, std::string>> leftoverRoots() {
    const std::filesystem::path library = Locations::home() / "Library";
    return {
        {library / "Application Support", "Application Support"},
        {library / "Caches", "Caches"},
        {library / "Preferences", "Preferences"},
        {library / "Logs", "Logs"},
        {library / "Containers", "Containers"},
        {library / "Group Containers", "Group Containers"},
        {library / "Saved Application State", "Saved State"},
        {library / "LaunchAgents", "Launch Agents"},
        {library / "Application Scripts", "Application Scripts"},
        {library / "HTTPStorages", "HTTP Storages"},
        {library / "WebKit", "WebKit"},
        {library / "Cookies", "Cookies"},
        {library / "Application Support" / "CrashReporter", "Crash Reports"},
        {Locations::system("/Library/Application Support"), "System Application Support"},
        {Locations::system("/Library/Caches"), "System Caches"},
        {Locations::system("/Library/Preferences"), "System Preferences"},
        {Locations::system("/Library/LaunchAgents"), "System Launch Agents"},
        {Locations::system("/Library/LaunchDaemons"), "System Launch Daemons"},
        {library / "Application Support" / "com.apple.sharedfilelist" /
             "com.apple.LSSharedFileList.ApplicationRecentDocuments",
         "Recent Documents"},
    };
}

std::vector<InstalledApp> installedApps(const ScanTokenRef& token, const ProgressCallback& progress) {
    std::vector<InstalledApp> apps;
    std::unordered_set<std::string> taken;
    int count = 0;
    bool cancelled = false;

    for (const auto& folder : applicationFolders()) {
        if (cancelled) break;
        for (const auto& url : InstalledBundles::applicationsIn(folder)) {
            if (token && token->isCancelled()) {
                cancelled = true;
                break;
            }
            if (!taken.insert(url.string()).second) continue;

            ++count;
            const std::string name = url.stem().string();
            if (progress) progress(std::min(count / 60.0, 0.95), "Measuring " + name + "\xE2\x80\xA6");

            InstalledBundles::Bundle bundle = InstalledBundles::read(url);
            InstalledApp app;
            app.id = url.string();
            app.name = name;
            app.url = url;
            app.bundleID = bundle.bundleID();
            app.version = std::move(bundle.version);
            FS::Measured measured = FS::measureAlone(url);
            app.size = measured.size;
            app.measured = std::move(measured.object);
            app.isProtected = Protection::hasProtectedBundleIDPrefix(app.bundleID) ||
                              Protection::matchesProtectedName(url.filename().string());
            apps.push_back(std::move(app));
        }
    }

    std::stable_sort(apps.begin(), apps.end(), [](const InstalledApp& a, const InstalledApp& b) {
        return Unicode::lessIgnoringCase(a.name, b.name);
    });
    return apps;
}

bool isStateLike(const std::filesystem::path& path) {
    const std::string text = path.string();
    for (auto fragment : kStateFragments)
        if (text.find(fragment) != std::string::npos) return true;
    const std::string ext = extensionOf(path);
    return std::find(kStateExtensions.begin(), kStateExtensions.end(), ext) != kStateExtensions.end();
}

std::vector<Leftover> leftovers(const InstalledApp& app, SpotlightSearch::Sensitivity sensitivity,
                                bool includeSpotlight) {
    // Names match as whole words, identifiers up to a dot; what another
    // installed application matches more exactly is that one's.
    const AppMatch::Matcher matcher(AppMatch::App{app.name, app.bundleID, app.url}, InstalledBundles::apps());
    const std::string appPath = app.url.string();
    std::unordered_set<std::string> listed;
    std::vector<Leftover> found;


    for (const auto& [root, label] : leftoverRoots()) {
        for (const auto& entry : Walker::list(root)) {
            const AppMatch::Judgement judgement = matcher.judge(entry);
            if (judgement.mine.kind == AppMatch::Kind::none) continue;

            const std::filesystem::path url = root / entry;
            if (Protection::isPathProtected(url) || OwnFiles::touches(url)) continue;
            // Noted even when it is another application's, so Spotlight does
            // not offer it again.
            if (!listed.insert(url.string()).second) continue;
            if (url.string() == appPath || judgement.owner) continue;
            // Only what is named after the application itself is taken unasked.
            const bool selected = judgement.mine.exact() && !judgement.shared;
            FS::Measured measured = FS::measureAlone(url);
            found.push_back({url, measured.size, label, selected, reasonFor(judgement, app), std::move(measured.object)});
        }
    }

    if (includeSpotlight) {
        for (const auto& hit : SpotlightSearch::paths(app.name, app.bundleID, sensitivity, kSpotlightLimit)) {
            if (!listed.insert(hit.string()).second) continue;
            if (hit.string() == appPath || !isStateLike(hit) || OwnFiles::touches(hit)) continue;
            const AppMatch::Judgement judgement = matcher.judge(hit.filename().string());
            if (judgement.owner) continue;
            FS::Measured measured = FS::measureAlone(hit);
            found.push_back({hit, measured.size, "Spotlight", false, judgement.shared ? reasonFor(judgement, app) : "",
                             std::move(measured.object)});
        }
    }

    std::stable_sort(found.begin(), found.end(), [](const Leftover& a, const Leftover& b) { return a.size > b.size; });
    return found;
}

RemovalResult uninstall(const InstalledApp& app, const std::vector<Leftover>& leftovers) {
    RemovalResult result;
    result.log = ProcessControl::terminate(app.bundleID, app.url);
    for (auto& line : ProcessControl::unregisterLoginItems(app.bundleID, app.name)) result.log.push_back(std::move(line));

    std::vector<ScanItem> items;
    ScanItem bundle;
    bundle.url = app.url;
    bundle.name = app.name;
    bundle.detail = "Application";
    bundle.size = app.size;
    bundle.safety = Safety::review;
    bundle.measured = app.measured;
    items.push_back(std::move(bundle));
    for (const auto& leftover : leftovers) {
        if (!leftover.isSelected) continue;
        ScanItem item;
        item.url = leftover.url;
        item.name = leftover.url.filename().string();
        item.detail = leftover.origin;
        item.size = leftover.size;
        item.safety = Safety::review;
        item.measured = leftover.measured;
        items.push_back(std::move(item));
    }

    // FS::remove checks every item against the ignore list and the protected
    // locations just before it moves it, and refuses it with a failure.
    FS::RemovalOutcome outcome = FS::remove(items, true);
    result.reclaimedBytes = outcome.bytes;
    // Items already gone count as removed.
    result.removedCount = int(items.size() - outcome.failures.size());
    std::set<Uuid> failed;
    for (const auto& [item, reason] : outcome.failures) {
        result.failures.push_back(item.name + ": " + reason);
        failed.insert(item.id);
    }
    for (const auto& item : items)
        if (!failed.contains(item.id)) result.gone.push_back(item.url);
    return result;
}

std::vector<ScanCategory> orphans(const std::vector<InstalledApp>& apps, const ScanTokenRef& token,
                                  const ProgressCallback& progress) {
    // Every installed application counts, also one in a suite's folder that
    // the list of applications does not show.
    std::set<std::string> bundleIDs = InstalledBundles::identifiers(), names;
    for (const auto& app : apps) {
        bundleIDs.insert(app.bundleID);
        names.insert(Unicode::lower(app.name));
    }
    std::vector<ScanCategory> found = Orphans::scan(bundleIDs, names, token, progress);
    OwnFiles::dropFrom(found);
    return found;
}

}  // namespace Uninstaller
