#pragma once
// The one way the system deletes files. The item's folder is reached from the
// root of its location without passing through a link or onto another mount
// (see Reach); below it every level is opened relative to its parent's handle
// with O_NOFOLLOW | O_DIRECTORY, the same object checked again after opening,
// and every entry removed with unlinkat against that handle. So a symbolic link
// is removed as a link and never followed, a folder swapped for a link while the
// removal runs is never entered, and nothing on another mount than the item's
// folder is touched: a mount point met inside, a bind mount too, is left alone.
// The removal never recurses per folder level (see FolderStack): a tree of any
// depth is removed on a thread of any stack.
#include <filesystem>

#include "platform/file_facts.h"
#include "platform/reach.h"

namespace RemoveTree {

enum class Status {
    removed,      // the item was there and is gone now
    alreadyGone,  // nothing was at the path when its turn came
    changed,      // what is at the path is not the object measured: left alone
    failed,       // something could not be removed; what could, is gone
};

struct Result {
    Status status = Status::failed;
    int error = 0;  // errno of the first failure
    // Why the item could not be reached or emptied whole: a link on the way to
    // it, or a mount on the way or inside it.
    Reach::Blocked blocked = Reach::Blocked::none;
    // What the entry that failed first, and its folder, tell of a refusal
    // (EPERM or EACCES): a lock, the permissions, or nothing.
    Refusal refusal = Refusal::unexplained;
};

// Removes the item at an absolute path: a file or link is unlinked, a folder
// is emptied depth first and then removed. A folder on the way that is a link
// or another mount fails the item (ELOOP, EXDEV) before anything is touched; an
// item that is itself a mount point is left alone (EXDEV), and so is a mount
// point met inside. The root of a location, relative paths and paths with "."
// or ".." in them are refused (EINVAL). The removal goes on past a failure and
// reports the first one.
//
// With an object measured, the item is removed only while that object is at
// the path: what the removal finds there, through the handle of the item's
// folder, is compared with it just before anything is touched (and again
// whenever the entry turned out to change between the look and the open), and
// anything else is left alone (changed). Only the program's own files (a
// temporary folder it made) are removed without one (nullptr).
Result remove(const std::filesystem::path& path, const MeasuredObject* measured);

}  // namespace RemoveTree
