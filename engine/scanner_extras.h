#pragma once
// The categories System Junk and Privacy add beside the catalog scan, for junk
// no path rule can express: preferences of removed applications, startup
// entries whose program is gone, the private data of Chromium-family browsers,
// and the extra detectors run in their fixed order. Every item is rated review
// and starts unselected, except what a detector rates itself.
#include <set>
#include <string>
#include <vector>

#include "engine/scan_model.h"

namespace Scanner {

// The bundle identifiers of the installed applications (InstalledBundles):
// those in the application folders and in their subfolders.
std::set<std::string> installedBundleIDs();

// Preference files in ~/Library/Preferences that no installed application
// owns, by its identifier or as its helper's ("broken-preferences"), largest
// first.
ScanCategory scanBrokenPreferences(const std::set<std::string>& installedIDs);

// Launch agent and daemon property lists whose absolute program path leads
// nowhere ("broken-login-items"), in folder and listing order.
ScanCategory scanBrokenLoginItems();

// One category per Chromium-family browser that holds private data, in
// browser order.
std::vector<ScanCategory> chromiumCategories();

// Runs the five extra detectors in order, reporting progress before each, and
// returns the categories that found something. The token only reaches the
// universal-binaries detector: the later detectors still run once it is set.
std::vector<ScanCategory> systemJunkExtras(const ScanToken& token, const ProgressCallback& progress);

}  // namespace Scanner
