#pragma once
// The applications installed on this Mac, as one list for every decision that
// asks whether a file belongs to an installed application: the broken
// preferences, the orphaned files and the uninstaller's leftovers. Suites keep
// their applications in folders of their own ("/Applications/Suite
// Pro/Editor Pro.app"), so the application folders are looked into a few
// levels deep; the bundles themselves are never entered.
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engine/app_match.h"

namespace InstalledBundles {

// How many folders may lie between an application folder and a bundle in it.
inline constexpr int kFoldersBetween = 2;

struct Bundle {
    std::filesystem::path url;
    std::string name;                       // the file name without ".app"
    std::optional<std::string> identifier;  // CFBundleIdentifier, when it is text
    std::string version;                    // short version, else bundle version, else "—"

    // The identifier, else the bundle's file name ("Foo.app").
    std::string bundleID() const;
    AppMatch::App app() const;
};

// A bundle's facts, read from its Contents/Info.plist through the one reader.
Bundle read(const std::filesystem::path& url);

// The entries of a folder named like application bundles ("Name.app"), in
// the file system's order; nothing when it cannot be listed.
std::vector<std::filesystem::path> applicationsIn(const std::filesystem::path& folder);

// Every application in /Applications, /System/Applications and
// ~/Applications, and in their folders up to kFoldersBetween deep (so the
// Utilities folders too), ordered by path.
std::vector<Bundle> all();

// The identifiers of all() that their Info.plist gives.
std::set<std::string> identifiers();

// all() as applications to match names with.
std::vector<AppMatch::App> apps();

}  // namespace InstalledBundles
