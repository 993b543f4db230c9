#pragma once
// Mounted volumes and their capacity. A volume is a real, writable file system
// (backed by a block device or the network) mounted on a folder; pseudo file
// systems (proc, sysfs, tmpfs, overlay, ...) are not volumes.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Volumes {

struct MountEntry {
    std::string device;      // major:minor as the table gives it
    std::string root;        // the part of the file system mounted here
    std::string mountPoint;  // unescaped
    std::string type;
    std::string source;
    bool readOnly = false;
};

// Parses the Linux mount table (/proc/self/mountinfo). Malformed lines are skipped.
std::vector<MountEntry> parseMountInfo(std::string_view text);

// The current mount table of the process (empty where there is none to read).
std::vector<MountEntry> mountTable();

// Whether an entry is a volume: a whole real file system, not read-only.
bool isVolume(const MountEntry& entry);

// The mount points of the volumes in the table's order, each file system once.
// Tests may replace the answer.
std::vector<std::filesystem::path> mounted();
void setForTesting(std::optional<std::vector<std::filesystem::path>> volumes);

struct Capacity {
    int64_t total = 0;
    int64_t available = 0;  // bytes an unprivileged user may still write
    // The bytes the system would make room for when something important is
    // to be stored (space it can purge counted as free); macOS gives it.
    std::optional<int64_t> availableForImportantUsage;

    // The free space a person should be shown: the important-usage figure
    // where the system gives one, else the plain available bytes.
    int64_t freeForUser() const { return availableForImportantUsage.value_or(available); }
};

// statvfs of anything on the volume, with the important-usage figure where
// the system gives one; nothing when it cannot be read.
std::optional<Capacity> capacity(const std::filesystem::path& anyPathOnVolume);

// The name people know a volume by (its file system's label), for the volume
// mounted at mountPoint; nothing when it has none or it cannot be read. On
// Linux the label comes from the mount table and the labels folder the system
// keeps (/dev/disk/by-label, one link per label to its device).
std::optional<std::string> name(const std::filesystem::path& mountPoint);
std::optional<std::string> labelOf(const std::filesystem::path& mountPoint, const std::vector<MountEntry>& table,
                                   const std::filesystem::path& labelsFolder);

}  // namespace Volumes
