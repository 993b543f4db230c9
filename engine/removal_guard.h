#pragma once
// The check every removal road makes again just before it acts, whatever the
// scan said: deleting for good, moving to the Trash, the privileged batch, and
// every later road that removes files.
#include <filesystem>
#include <string>

namespace RemovalGuard {

enum class Verdict {
    allowed,
    invalid,     // not an absolute path naming one item ("." or ".." inside, empty, NUL)
    ignored,     // on the ignore list, or below an entry (checkWhole: or holding one)
    protected_,  // "/", under a protected system prefix or account folder, or the program's own files
    // The ignore list exists but cannot be read: what it protects is unknown,
    // so nothing is removed until it can be read again.
    ignoreListUnreadable,
};

// The failure text every road gives for a verdict other than allowed.
std::string text(Verdict verdict);

// Looks at the path as given and at the path its folder really resolves to, so
// neither a link on the way nor a test root hides a protected or ignored place.
Verdict check(const std::filesystem::path& path);

// check(), for an entry inside an item that was reached from the item one
// folder at a time without following a link: where it really is, is known (the
// item's real path and the entry's path below it), so nothing is resolved
// again, which would cost a look per folder of a deep path.
Verdict checkInside(const std::filesystem::path& path, const std::filesystem::path& realPath);

// check(), for a road that removes a folder with everything in it: a folder
// holding an ignore-list entry or a protected location is refused as well,
// since they would go with it.
Verdict checkWhole(const std::filesystem::path& path);

}  // namespace RemovalGuard
