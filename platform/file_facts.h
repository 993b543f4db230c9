#pragma once
// What the system knows about one file, read with lstat/fstatat without
// following symbolic links. Allocated size is st_blocks * 512: the space the
// file really occupies (a sparse file measures what it has allocated).
#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

enum class FileType { regular, directory, symlink, other };

// The file object itself: every hard link to one file has the same identity.
struct FileIdentity {
    uint64_t device = 0;
    uint64_t inode = 0;
    bool operator==(const FileIdentity&) const = default;
};

template <>
struct std::hash<FileIdentity> {
    size_t operator()(const FileIdentity& id) const noexcept {
        uint64_t h = id.inode * 0x9E3779B97F4A7C15ull;
        h ^= id.device + 0x7F4A7C159E3779B9ull + (h << 6) + (h >> 2);
        return static_cast<size_t>(h);
    }
};

struct FileFacts {
    FileType type = FileType::other;
    int64_t allocatedSize = 0;  // st_blocks * 512
    int64_t logicalSize = 0;    // st_size
    FileIdentity identity;
    mode_t mode = 0;
    uid_t owner = 0;
    gid_t group = 0;
    nlink_t links = 0;
    // The platform marks the item hidden (on macOS the UF_HIDDEN flag), which
    // is more than a name starting with ".".
    bool hidden = false;
    timespec modified{};
    timespec accessed{};
    timespec changed{};

    bool isDirectory() const { return type == FileType::directory; }
    bool isSymlink() const { return type == FileType::symlink; }
    bool isRegular() const { return type == FileType::regular; }

    static FileFacts from(const struct stat& st);
#ifdef __linux__
    // From statx, asked for kStatxFields (what FileFacts holds).
    static FileFacts from(const struct statx& sx);
    static constexpr unsigned kStatxFields = STATX_TYPE | STATX_MODE | STATX_NLINK | STATX_UID | STATX_GID |
                                             STATX_INO | STATX_SIZE | STATX_BLOCKS | STATX_MTIME | STATX_ATIME |
                                             STATX_CTIME;
#endif
};

// The object a scan measured at a path, which a removal compares with what is
// there when it acts: the same device and inode, and for anything but a
// folder also the same size and modification time (a file rewritten in place,
// or a new file that got the inode number of a removed one, differs there). A
// folder's own size and date change as its entries come and go, so they are
// not compared.
struct MeasuredObject {
    FileType type = FileType::other;
    FileIdentity identity;
    int64_t size = 0;  // st_size
    timespec modified{};

    static MeasuredObject of(const FileFacts& facts);
    // Whether what is there now is the object measured.
    bool matches(const FileFacts& now) const;
    bool operator==(const MeasuredObject& other) const;
};

// The object at the path itself (a link is measured, not followed); nothing
// when nothing is there.
std::optional<MeasuredObject> measureObject(const std::filesystem::path& path);

// Whether the platform marks the item hidden; every FileFacts reads the flag
// here. A test may decide in the platform's place (by file identity) until
// reset with an empty function, on systems without the flag too.
bool isMarkedHidden(const struct stat& st);
// Whether any item can be marked hidden here: always on macOS, elsewhere only
// while a test decides. A walk that leaves hidden items out must read the facts
// of every entry then, links included.
bool mayMarkHidden();
void setMarkedHiddenForTesting(std::function<bool(const FileIdentity&)> decide);

// The facts of the item itself (a symbolic link is described, not followed).
std::optional<FileFacts> lstatFacts(const std::filesystem::path& path);
// The facts of what the path leads to (links followed).
std::optional<FileFacts> statFacts(const std::filesystem::path& path);
// The facts of an entry of an open folder, not following a link.
std::optional<FileFacts> factsAt(int dirfd, const char* name);

// Why the system refused (EPERM or EACCES) to remove, or move, an entry of an
// open folder, as far as the entry and the folder tell.
enum class Refusal {
    unexplained,   // neither a lock nor the permissions explain it
    lockedFile,    // the entry is locked (immutable or append-only)
    lockedFolder,  // the entry is a locked folder, or the folder holding it is locked
    permissions,   // the mode bits, or a sticky folder's rule on ownership
};
// The entry is name in the folder open at dirfd; an empty name stands for the
// folder itself (one that could not be listed).
Refusal refusalAt(int error, int dirfd, const char* name);

// Whether anything is at the path, following symbolic links (a dangling link is nothing).
bool existsFollowingLinks(const std::filesystem::path& path);
// Whether the item itself exists (a dangling link exists).
bool existsItself(const std::filesystem::path& path);

// Seconds since the epoch of a timespec, as a double.
inline double seconds(const timespec& t) { return double(t.tv_sec) + double(t.tv_nsec) / 1e9; }
