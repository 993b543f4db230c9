#pragma once
// The one way the system deletes files as the user. Every level is opened
// relative to its parent's handle with O_NOFOLLOW | O_DIRECTORY and every entry
// removed with unlinkat against that handle, so a symbolic link is removed as a
// link and never followed, a folder swapped for a link while the removal runs
// is never entered, and nothing on another device than the item is touched.
#include <filesystem>

namespace RemoveTree {

enum class Status {
    removed,      // the item was there and is gone now
    alreadyGone,  // nothing was at the path when its turn came
    failed,       // something could not be removed; what could, is gone
};

struct Result {
    Status status = Status::failed;
    int error = 0;  // errno of the first failure
};

// Removes the item at an absolute path: a file or link is unlinked, a folder
// is emptied depth first and then removed. The folders above the item may be
// reached through links; the item and everything below it never are. A folder
// that is a mount point, or one met inside on another device, is left alone
// (EXDEV). The root, relative paths and paths ending in "." or ".." are refused
// (EINVAL). The removal goes on past a failure and reports the first one.
Result remove(const std::filesystem::path& path);

}  // namespace RemoveTree
