#pragma once
// File-system operations every scanner and every removal uses: the one size
// rule, catalog pattern expansion, listing probes, volumes and their capacity.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "engine/scan_model.h"
#include "platform/file_facts.h"
#include "platform/reach.h"

namespace FS {

// What one measuring pass has counted. A scan passes the same set to every
// size() call so a file reached twice is counted once. A file with one link can
// only be reached twice through an item measured before (the item itself, or a
// folder holding it), so the set records the items measured (their identities,
// and the paths of folders) and the files with more than one link: never every
// file, so its size follows the items and the hard links, not the tree.
class SeenSet {
public:
    // Adds the identity; true when it was not in the set yet.
    bool insert(const FileIdentity& id);
    bool contains(const FileIdentity& id) const;
    // The identities held.
    size_t size() const { return count_ + (holdsVacant_ ? 1 : 0); }
    // Makes room for that many more identities at once.
    void reserve(size_t more);

    // A folder measured whole: its identity, and its path for the folders and
    // files below it measured later.
    void addFolder(const FileIdentity& id, const std::string& path);
    bool holdsFolderPath(const std::string& path) const { return folderPaths_.count(path) != 0; }
    bool holdsFolders() const { return !folderPaths_.empty(); }
    // A file with one link measured as an item of its own.
    void addLoneFile(const FileIdentity& id);
    bool holdsLoneFiles() const { return loneFiles_ > 0; }

private:
    size_t slotOf(const FileIdentity& id) const;
    void grow();
    void rehash(size_t slots);

    std::vector<FileIdentity> slots_;  // vacant slots hold kVacant
    size_t count_ = 0;                 // identities in slots_
    bool holdsVacant_ = false;         // whether the identity equal to kVacant was added
    std::unordered_set<std::string> folderPaths_;
    size_t loneFiles_ = 0;
};

struct VolumeStats {
    int64_t total = 0;
    int64_t free = 0;
};

// The bytes an item occupies on disk: allocated size, symbolic links count
// nothing, a hard-linked file counts once per pass, a folder is the sum of what
// it holds plus 4,096 bytes per folder met inside it (packages met inside count
// as one folder and are not entered). Unreadable things measure 0.
int64_t size(const std::filesystem::path& path, SeenSet& seen);

// The sizes of several items measured together, all of them on every thread at
// once: exactly what size() gives for each in turn, in this order, with the
// same set (a file reached from two items counts for the earlier one). With a
// token, a cancel is seen at every entry and before every folder, and a
// measurement cut short gives nothing at all and leaves the set as it was.
std::vector<int64_t> sizes(const std::vector<std::filesystem::path>& paths, SeenSet& seen,
                           const ScanToken* token = nullptr);

// An item's size and the object its measurement looked at (nothing when
// nothing was there): the identity a removal later holds the item to.
struct Measured {
    int64_t size = 0;
    std::optional<MeasuredObject> object;
};

// sizes(), with the object each size belongs to; cut short by the token, it
// gives nothing at all.
std::vector<Measured> measure(const std::vector<std::filesystem::path>& paths, SeenSet& seen,
                              const ScanToken* token = nullptr);

// measure() of one item with a set of its own.
Measured measureAlone(const std::filesystem::path& path);

// The existing paths a catalog pattern names below a folder, base, which is
// taken as it is (the home folder or the system root: a "*", "?" or "[" in its
// name is just a character of it). The pattern is the rest of the path, and
// only its own segments are patterns. "x/*" gives the entries of x except
// .DS_Store, hidden ones included, in listing order; a segment holding "*", "?"
// or "[" is matched against the names of its folder the way a shell would (a
// leading "." only by a pattern starting with "."), .DS_Store left out; a plain
// last segment gives itself when something is there. No folder on the way is
// ever reached through a symbolic link or across a mount: a fixed folder of the
// pattern that is a link yields nothing, and neither does a matched one. The
// item a pattern names may itself be a link, reported as the link.
std::vector<std::filesystem::path> expand(const std::filesystem::path& base, std::string_view pattern);

// Whether a pattern segment is a wildcard.
bool hasWildcard(std::string_view segment);

// The fixed leading folder of a pattern below base: base and the segments
// before the first wildcard; for a pattern without one, the pattern less a
// final "/*".
std::string patternBase(const std::filesystem::path& base, std::string_view pattern);

// Whether the folder at path can be listed.
bool canList(const std::filesystem::path& path);

// The mounted, browsable, writable volumes.
std::vector<std::filesystem::path> mountedVolumes();

// Total and available bytes of the volume holding path.
std::optional<VolumeStats> stats(const std::filesystem::path& path);

// What one removal pass did. Items already gone count as reclaimed but are
// listed neither as removed nor as failed.
struct RemovalOutcome {
    std::vector<ScanItem> removed;
    std::vector<std::pair<ScanItem, std::string>> failures;  // item and failure text
    int64_t bytes = 0;
    // Where each item moved to the Trash went, in the order of removed.
    std::vector<std::filesystem::path> trashedTo;
};

// Whether removing the item as the current user cannot work and needs
// administrator rights.
bool requiresElevation(const std::filesystem::path& path);

// Removes the items one by one, for good or to the Trash, never following a
// link and never touching a protected or ignored path. An item whose folder is
// reached only through a link or across a mount, or that is (or holds) a mount
// point, fails with a text saying so (blockedText).
RemovalOutcome remove(const std::vector<ScanItem>& items, bool toTrash);

// The failure text of an item whose path holds another object than the one
// its scan measured (moved away and something else put in its place, or a
// file rewritten), and of an item no scan measured.
inline constexpr std::string_view kChangedText = "Changed since the scan";
inline constexpr std::string_view kNotMeasuredText = "Not measured by a scan";

// The failure text of an item that a link or a mount stood in the way of.
std::string blockedText(Reach::Blocked blocked);

// The failure text of an item whose removal failed with an errno: what stood
// in the way (blockedText), "Locked file" or "Locked folder" for a lock,
// "Needs administrator access" when removing the item as this user cannot
// work (needsElevation), "Needs Full Disk Access" for a refusal that neither
// a lock nor the permissions explain (the system's privacy protection), and
// otherwise the system's own text ("Permission denied", ...).
std::string failureText(int error, Reach::Blocked blocked, Refusal refusal, bool needsElevation);

}  // namespace FS
