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

// The identifier a candidate names for matching against installed
// applications: a group container's "group." prefix and a team-identifier
// prefix ("ABCDE12345.com.example.shared") dropped. Empty when nothing is left.
std::string ownerCandidate(std::string_view candidate);

// Vendors and helper names that are never reported (Apple's own, updaters,
// installers, helpers).
bool isIgnored(std::string_view candidate);

// Whether an installed application owns the identifier: the identifier itself,
// an identifier below it (com.example for com.example.Editor), or one it lies
// below (an extension com.example.Editor.Share of com.example.Editor). An empty
// identifier on either side owns nothing.
bool isOwned(std::string_view candidate, const std::set<std::string>& installedBundleIDs);

// Lists the Library folders and reports the entries no installed application
// owns. installedNames (lowercased application names) is accepted for the
// caller's convenience and not consulted. A cancelled token ends the scan with
// what was gathered so far.
std::vector<ScanCategory> scan(const std::set<std::string>& installedBundleIDs,
                               const std::set<std::string>& installedNames, const ScanTokenRef& token,
                               const ProgressCallback& progress);

}  // namespace Orphans
