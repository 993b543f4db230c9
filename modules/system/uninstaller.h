#pragma once
// Installed applications, the support files each one leaves in the Library
// folders, and removing an application with the ones the user chose.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/scan_model.h"
#include "modules/system/spotlight_search.h"

// One application bundle found in an applications folder.
struct InstalledApp {
    std::string id;  // the bundle's path, as text
    std::string name;  // the file name without ".app"
    std::filesystem::path url;
    std::string bundleID;  // from Info.plist, else the bundle's file name ("Foo.app")
    std::string version;   // short version, else bundle version, else "—"
    int64_t size = 0;
    bool isProtected = false;  // belongs to a password manager, VPN, backup tool, ...
    // The bundle the list measured: uninstalling takes only that one.
    std::optional<MeasuredObject> measured = {};

    bool operator==(const InstalledApp& other) const { return id == other.id; }
};

template <>
struct std::hash<InstalledApp> {
    size_t operator()(const InstalledApp& app) const noexcept { return std::hash<std::string>()(app.id); }
};

namespace Uninstaller {

// One support file or folder of an application.
struct Leftover {
    std::filesystem::path url;
    int64_t size = 0;
    std::string origin;  // the label of the folder it was found in, or "Spotlight"
    bool isSelected = false;
    // Why it is not ticked for the user (only part of its name matches, or it
    // matches another installed application as well); empty otherwise.
    std::string reason = {};
    // The object measured, which the removal holds it to.
    std::optional<MeasuredObject> measured = {};
};

// What one uninstall did.
struct RemovalResult {
    int64_t reclaimedBytes = 0;
    int removedCount = 0;
    std::vector<std::string> failures;  // "<name>: <reason>"
    std::vector<std::string> log;       // quit lines, then unregister lines
    // The application and the leftovers that are no longer where they were
    // (moved to the Trash, or already gone), in removal order.
    std::vector<std::filesystem::path> gone;
};

// The folders searched for leftovers with their labels, in search order.
std::vector<std::pair<std::filesystem::path, std::string>> leftoverRoots();

// The applications in /Applications, /Applications/Utilities,
// /System/Applications, /System/Applications/Utilities and ~/Applications,
// sorted by name without regard to case. Returns what it has once the token is
// cancelled; never fails.
std::vector<InstalledApp> installedApps(const ScanTokenRef& token, const ProgressCallback& progress);

// The application's support files in the Library folders (and, when asked,
// those Spotlight finds that look like application state), largest first.
// A name matches by the application's identifier (the identifier, or it and a
// dot-suffix) or by its name as whole words; what another installed
// application matches more exactly is left out. Only what is named after the
// application itself starts selected; the rest is listed with its reason.
std::vector<Leftover> leftovers(const InstalledApp& app, SpotlightSearch::Sensitivity sensitivity,
                                bool includeSpotlight);

// Whether a file looks like application state: it lies in a Library-style
// folder or has the extension of a preferences, cookie, log or database file.
bool isStateLike(const std::filesystem::path& path);

// Quits the application, unregisters its launchd jobs and moves the bundle and
// the selected leftovers to the Trash in one pass. Never stops part-way: each
// item that was not moved is a failure line.
RemovalResult uninstall(const InstalledApp& app, const std::vector<Leftover>& leftovers);

// Support files that belong to no installed application, one category per folder.
std::vector<ScanCategory> orphans(const std::vector<InstalledApp>& apps, const ScanTokenRef& token,
                                  const ProgressCallback& progress);

}  // namespace Uninstaller
