#pragma once
// Where things live. The home folder comes from $HOME; the fixed system folders
// (/Library, /Applications, /Volumes, /private/var, /Users, ...) are spelled only
// through Locations::system(), which places them under a root that tests move
// into a temporary folder. Nothing else in the code spells those paths.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace Locations {

// The current user's home folder: $HOME, or the password database when unset.
std::filesystem::path home();

// The root under which system folders are looked up: "" (the real "/") unless
// set by setRoot() or by the VESSILTANE_ROOT environment variable.
std::string root();
void setRoot(std::string root);

// A fixed system folder, such as "/Library/Caches", placed under root().
std::filesystem::path system(std::string_view absolute);

// The inverse of system(): a path under root() as the system would see it
// ("/tmp/r/Library/x" -> "/Library/x"); any other path unchanged.
std::string systemView(std::string_view path);

// Where a path that another program wrote as the system sees it (the program
// of a launch item, say) lies here: an absolute path inside the home folder as
// it stands, since the home is $HOME's wherever that is; any other absolute
// path under root(), like every fixed system folder. A relative path is
// returned unchanged.
std::filesystem::path fromSystemView(std::string_view path);

// ~/Library/Application Support/Vessiltane: history, ignore list, user rules.
std::filesystem::path supportFolder();

// "~" and "~/x" become the home folder; "~name" and "~name/x" that user's home
// folder; any other text is returned unchanged (also when the user is unknown).
std::string expandTilde(std::string_view path);

// The home folder at the start of a path becomes "~".
std::string abbreviateTilde(std::string_view path);

// The path without trailing "/" ("/" itself stays): "/a/b/" names the item b,
// and a removal must never see "link/" (which the system resolves through the link).
std::string withoutTrailingSlash(std::string_view path);

// A path with "." and ".." resolved and no trailing "/", without touching the
// disk (symbolic links are not resolved). Relative paths stay relative.
std::string standardize(std::string_view path);

// Where the path leads as the disk stands now, every link resolved; nothing
// when it cannot be resolved (something on the way is gone).
std::optional<std::string> realPath(const std::string& path);

// Whether a path names a folder or lies below it; both absolute, written with
// single slashes and none at the end ("/" is every absolute path's folder).
bool isWithin(std::string_view path, std::string_view folder);

}  // namespace Locations
