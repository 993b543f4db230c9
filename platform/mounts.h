#pragma once
// Where one mount ends. A removal must never reach onto another mount than the
// one it started on, and a bind mount shares its device number with the folder
// it shows, so the device alone cannot tell. The mount itself is compared: its
// id from statx where the kernel gives one, else the device number together with
// the mount table (is this folder's real path a mount point?). On macOS, which
// has no bind mounts, the device number is the mount.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>

namespace Mounts {

// The mount a reference folder lies on, and the test of whether other folders
// lie on it too.
class Boundary {
public:
    Boundary() = default;
    // The mount of the folder open at fd, whose real path is realPath.
    Boundary(int fd, const std::string& realPath);

    // Whether the folder open at fd, whose real path is realPath, lies on
    // another mount than the reference: a mount point below it (a bind mount
    // included), or anything that cannot be looked at.
    bool crossedBy(int fd, const std::string& realPath) const;

    // The same for the entry `name` of the folder open at dirfd (an absolute
    // path with AT_FDCWD), looked at without following a link: a file mounted
    // over that name (a bind mount of a single file) lies on another mount
    // than the folder holding it, and the name shows the outside file.
    bool crossedAt(int dirfd, const char* name, const std::string& realPath) const;

    // Whether the two tests above look at a real path this long at all: only
    // without mount ids, and only as long as the longest mount point. A walk
    // thousands of folders deep builds no path it would not look at, so its
    // cost stays one step per folder rather than one per folder above it.
    bool needsPath(size_t realLength) const;

private:
    bool byMountId_ = false;
    uint64_t mountId_ = 0;
    uint64_t device_ = 0;
    std::set<std::string> mountPoints_;  // when the kernel gives no mount ids
    size_t longestMountPoint_ = 0;
};

// Whether something is mounted below the folder whose real path is given
// (by the mount table): moving that folder would carry the mount along.
bool holdsMountPoint(const std::string& realPath);

// Which facts tell one mount from another. Tests force the mount table to
// cover kernels whose statx knows no mount id.
enum class Source { automatic, mountTable };
void setSourceForTesting(Source source);

}  // namespace Mounts
