#pragma once
// The program-wide safety net: system locations, the shared and system
// accounts' home folders, and names that show a file belongs to a VPN client,
// a password manager, an input method, a sync or backup tool or a security tool.
#include <array>
#include <filesystem>
#include <string_view>

namespace Protection {

extern const std::array<std::string_view, 12> protectedPathPrefixes;
extern const std::array<std::string_view, 55> protectedNameFragments;
extern const std::array<std::string_view, 51> protectedBundleIDPrefixes;

// Whether a path must never be offered for removal: under a system prefix, in
// a protected folder directly under /Users, or a last component with a
// protected name. System locations are seen through Locations::systemView.
bool isPathProtected(const std::filesystem::path& path);

// The path rules alone (system prefixes, protected account folders and other
// users' trash folders), without the name test: the rules every removal checks
// again just before it acts.
bool isUnderProtectedLocation(const std::filesystem::path& path);

// Whether the path is another user's trash folder on a volume, or lies in one:
// a folder of a .Trashes named by a uid that is not User::uid().
bool isInAnotherUsersTrash(const std::filesystem::path& path);

// Whether a protected location lies inside the folder at the path ("/usr"
// holds "/usr/bin", "/Users" the shared and system accounts' folders, a
// volume's .Trashes every user's trash).
bool holdsProtectedLocation(const std::filesystem::path& path);

// Whether a name contains a protected fragment, without regard to case.
bool matchesProtectedName(std::string_view name);

// Whether a bundle identifier begins with a protected prefix (case as written).
bool hasProtectedBundleIDPrefix(std::string_view bundleID);

}  // namespace Protection
