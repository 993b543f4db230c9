#pragma once
// Support files left behind by applications that are no longer installed.
// Applications name their preferences, caches, containers, saved states,
// launch agents and helpers after their bundle identifier; an entry of the
// Library folders whose reverse-DNS name belongs to no installed application
// is offered for review, one category per folder.
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "engine/scan_model.h"

namespace Orphans {

// The reverse-DNS identifier a file name stands for ("com.example.Editor.plist"
// gives "com.example.Editor"), or nothing when the name does not look like one.
std::optional<std::string> bundleIDCandidate(std::string_view fileName);

// Vendors and helper names that are never reported (Apple's own, updaters,
// installers, helpers).
bool isIgnored(std::string_view candidate);

// Lists the Library folders and reports the entries no installed application
// owns (AppMatch::isOwned, once a group or team prefix is taken off).
// installedNames (lowercased application names) is accepted for the caller's
// convenience and not consulted. A cancelled token ends the scan with what was
// gathered so far.
std::vector<ScanCategory> scan(const std::set<std::string>& installedBundleIDs,
                               const std::set<std::string>& installedNames, const ScanTokenRef& token,
                               const ProgressCallback& progress);

}  // namespace Orphans
