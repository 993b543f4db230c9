#pragma once
// How the system gets to a folder it is about to read from or remove in. Every
// location has a root whose real path is resolved when the folder is reached:
// the home folder, the folder right below the system root that the path lies in
// (/Library, /Applications, /private, ...; the platform's own aliases such as
// /var and /tmp on macOS resolve there), or a mounted volume. Below that root
// the path is followed one component at a time, and a component that is a
// symbolic link, or that lies on another mount (a bind mount included), stops
// it: nothing is ever reached through a link someone planted, or across a mount.
//
// Where the kernel has it this is one openat2() with RESOLVE_NO_SYMLINKS and
// RESOLVE_NO_XDEV; elsewhere each component is opened with O_NOFOLLOW
// (O_NOFOLLOW_ANY too on macOS), checked to be the folder that was looked at,
// and compared with the root's mount.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_handle.h"

namespace Reach {

// What stood in the way: a link, a mount, or (for an item) that it is the
// root of a location itself, which no road removes.
enum class Blocked { none, link, mount, locationRoot };

struct Folder {
    FileHandle fd;          // the folder, when it was reached
    std::string realPath;   // where it is: its root's real path and the components below it
    int error = 0;          // errno when it was not reached (ELOOP for a link, EXDEV for a mount)
    Blocked blocked = Blocked::none;

    bool reached() const { return fd.valid(); }
};

// What the folder is opened for: looking up and removing its entries only,
// or listing them too.
enum class Use { entries, listing };

// The folder at an absolute path, the folder itself not a link either. A
// relative path, or one with "." or ".." in it, fails with EINVAL.
Folder folder(const std::filesystem::path& path, Use use = Use::listing);

// The folder holding the item at an absolute path, reached the same way, and
// the item's name. The item itself is not looked at. The root of a location is
// never an item: naming one fails with EPERM (Blocked::locationRoot), and so
// does "/".
struct Parent {
    Folder folder;
    std::string name;
};
Parent parent(const std::filesystem::path& path);

// The root a path is reached from, as written at the start of the path and as
// it really is; nothing for a relative or dotted path or a root that is gone.
// "/" is the root of itself alone: a path below it has the root of its first
// component (or a nearer one).
struct Root {
    std::string given;
    std::string real;
};
std::optional<Root> rootOf(std::string_view path);

// Where a walk to the path starts: its root, or a mounted volume below the
// root when the path lies in one, by its real path; and the path written from
// there (the root's real path and the components below it). Nothing when
// rootOf() has nothing.
struct Start {
    std::string rootReal;
    std::string path;
};
std::optional<Start> startOf(std::string_view path);

// The privileged side of the removal batch opens its roots itself, before it
// reaches anything (see RootPin). While roots are pinned, a folder is reached
// only from the pinned root it lies in (the longest), through the handle held
// here, never by looking the root up again; a folder in none of them is not
// reached at all (EPERM), so a pinned root is never removed as an item either.
struct PinnedRoot {
    std::string realPath;
    FileHandle fd;
};
void pinRoots(std::vector<PinnedRoot> roots);
void unpinRoots();

// Tests force the component walk, which the kernel's openat2 otherwise spares.
enum class Method { automatic, componentWalk };
void setMethodForTesting(Method method);

}  // namespace Reach
