#pragma once
// How the privileged side takes hold of a location root before it removes
// anything below it. Root trusts no path a user can change: the root is opened
// from "/" one component at a time, never through a link, and every folder on
// the way is judged by the handle that was opened, so what is judged is what is
// used. A folder owned by anyone but root and the user the batch acts for, or
// one that others may write, lets someone else put another folder in place of
// what lies below it. A sticky folder (such as /tmp) is the exception when the
// next folder in it belongs to root or that user: no one else may rename or
// remove that one.
#include <sys/types.h>

#include <optional>
#include <string>

#include "platform/file_facts.h"
#include "platform/file_handle.h"

namespace RootPin {

enum class Problem {
    none,
    // A component is missing, a link, or not a folder: the place is not what
    // it was when it was looked at.
    unreachable,
    // A folder on the way (folder names it) can be changed by someone else.
    unsafe,
};

struct Opened {
    FileHandle fd;  // the root, when it was reached and judged safe
    FileIdentity identity;
    uid_t owner = 0;
    Problem problem = Problem::none;
    std::string folder;  // the folder at fault, for unsafe
    int error = 0;       // errno, for unreachable

    bool reached() const { return fd.valid(); }
};

// Opens the folder at an absolute path (no "." or ".." in it) from "/"
// without following any link on the way or at the end. With an invoker, each
// folder from "/" down to it, itself included, must also be safe for that
// user (see isSafeFolder).
Opened open(const std::string& path, std::optional<uid_t> invoker = std::nullopt);

// Whether a folder with this mode and owner is safe on the way to a root for
// the invoker: owned by root or the invoker, and writable by no one else,
// unless it is sticky and the next folder on the way belongs to root or the
// invoker (the root itself has no next folder).
bool isSafeFolder(mode_t mode, uid_t owner, std::optional<uid_t> nextOwner, uid_t invoker);

}  // namespace RootPin
