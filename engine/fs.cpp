#include "engine/fs.h"

#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <utility>

#include "platform/file_handle.h"
#include "platform/locations.h"
#include "platform/mounts.h"
#include "platform/reach.h"
#include "platform/text_lines.h"
#include "platform/volumes.h"
#include "platform/work_pool.h"
#include "platform/walker.h"

namespace FS {
namespace {

constexpr int64_t kFolderBytes = 4096;

// No file has this identity (no file system hands out the last inode number of
// the last device); should one turn up, it is kept apart.
constexpr FileIdentity kVacant{UINT64_MAX, UINT64_MAX};

// A file met while measuring the item at index `item`, not yet in the
// caller's set when it was met.
struct Found {
    size_t item;
    FileIdentity identity;
    int64_t bytes;
};

// What one thread of a measurement found: the folders met inside each item, and
// the files.
struct alignas(64) Tally {
    std::vector<int64_t> folders;
    std::vector<Found> files;
};

// Walks the folders on several threads at once, adding to each folder item's
// figure its folders' flat size and appending the files met to `files`. The
// caller's set is only read while the threads run.
void walkFolders(const std::vector<std::filesystem::path>& folders, const std::vector<size_t>& items,
                 const SeenSet& seen, std::vector<int64_t>& out, std::vector<Found>& files) {
    std::vector<Tally> tallies(WorkPool::width());
    for (auto& tally : tallies) tally.folders.assign(folders.size(), 0);
    Walker::walkParallel(folders, [&](const WalkEntry& e, unsigned slot) {
        if (e.facts.isSymlink()) return WalkAction::skipSubtree;
        Tally& tally = tallies[slot];
        if (e.facts.isDirectory()) {
            ++tally.folders[e.root];
            return WalkAction::proceed;
        }
        if (!seen.contains(e.facts.identity)) tally.files.push_back({items[e.root], e.facts.identity, e.facts.allocatedSize});
        return WalkAction::proceed;
    });
    for (auto& tally : tallies) {
        for (size_t r = 0; r < folders.size(); ++r) out[items[r]] += tally.folders[r] * kFolderBytes;
        files.insert(files.end(), tally.files.begin(), tally.files.end());
    }
}

std::vector<std::string> splitSegments(std::string_view path) {
    std::vector<std::string> out;
    for (auto segment : TextLines::nonEmpty(path, '/')) out.emplace_back(segment);
    return out;
}

std::string join(const std::string& base, const std::string& name) {
    if (base == "/") return "/" + name;
    return base + "/" + name;
}

bool isAllEntries(std::string_view pattern) {
    return pattern == "*" || (pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == "/*");
}

// A folder an expansion stands in: its handle, the path as the scan reports
// it, and where it really is (for telling mounts apart).
struct OpenFolder {
    FileHandle fd;
    std::string path;
    std::string real;
};

// The subfolder of an open folder, never a link and never on another mount
// than the expansion started on; nothing otherwise.
std::optional<OpenFolder> openSubfolder(const OpenFolder& folder, const std::string& name,
                                        const Mounts::Boundary& mount) {
    FileHandle fd(::openat(folder.fd.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd.valid()) return std::nullopt;
    std::string real = join(folder.real, name);
    if (mount.crossedBy(fd.get(), real)) return std::nullopt;
    return OpenFolder{std::move(fd), join(folder.path, name), std::move(real)};
}

// The names in an open folder that a wildcard segment matches, the way a
// shell would (a leading "." only by a pattern starting with "."), .DS_Store
// left out, in name order.
std::vector<std::string> matching(const OpenFolder& folder, const std::string& segment) {
    std::vector<std::string> out;
    auto names = Walker::names(folder.fd.get());
    if (!names) return out;
    std::sort(names->begin(), names->end());
    for (auto& name : *names)
        if (name != ".DS_Store" && ::fnmatch(segment.c_str(), name.c_str(), FNM_PERIOD) == 0) out.push_back(std::move(name));
    return out;
}

}  // namespace

size_t SeenSet::slotOf(const FileIdentity& id) const {
    size_t mask = slots_.size() - 1;
    size_t i = std::hash<FileIdentity>{}(id) & mask;
    while (slots_[i] != id && slots_[i] != kVacant) i = (i + 1) & mask;
    return i;
}

bool SeenSet::contains(const FileIdentity& id) const {
    if (id == kVacant) return holdsVacant_;
    return !slots_.empty() && slots_[slotOf(id)] == id;
}

bool SeenSet::insert(const FileIdentity& id) {
    if (id == kVacant) return !std::exchange(holdsVacant_, true);
    // At most half full, so probes stay short.
    if ((count_ + 1) * 2 > slots_.size()) grow();
    size_t i = slotOf(id);
    if (slots_[i] == id) return false;
    slots_[i] = id;
    ++count_;
    return true;
}

void SeenSet::grow() { rehash(std::max<size_t>(64, slots_.size() * 2)); }

void SeenSet::reserve(size_t more) {
    size_t slots = std::max<size_t>(64, slots_.size());
    while ((count_ + more) * 2 > slots) slots *= 2;
    if (slots > slots_.size()) rehash(slots);
}

void SeenSet::rehash(size_t slots) {
    std::vector<FileIdentity> old(slots, kVacant);
    old.swap(slots_);
    for (const auto& id : old)
        if (id != kVacant) slots_[slotOf(id)] = id;
}

// The files found join the caller's set one by one, item by item in the
// callers' order: a file reached from two items counts for the earlier one, as
// in a measurement one item after the other, and a file reached through two
// hard links within one item (perhaps by two threads at once) counts once.
// Both links give the same allocated size, so which one counts does not change
// the figure.
std::vector<int64_t> sizes(const std::vector<std::filesystem::path>& paths, SeenSet& seen) {
    std::vector<int64_t> out(paths.size(), 0);
    std::vector<Found> files;
    std::vector<std::filesystem::path> folders;
    std::vector<size_t> folderItems;
    for (size_t i = 0; i < paths.size(); ++i) {
        auto facts = lstatFacts(paths[i]);
        if (!facts || facts->isSymlink()) continue;
        if (facts->isRegular()) {
            files.push_back({i, facts->identity, facts->allocatedSize});
        } else if (facts->isDirectory()) {
            folders.push_back(paths[i]);
            folderItems.push_back(i);
        }
    }
    if (!folders.empty()) walkFolders(folders, folderItems, seen, out, files);
    seen.reserve(files.size());
    if (paths.size() > 1) {
        std::stable_sort(files.begin(), files.end(), [](const Found& a, const Found& b) { return a.item < b.item; });
    }
    for (const auto& file : files)
        if (seen.insert(file.identity)) out[file.item] += file.bytes;
    return out;
}

int64_t size(const std::filesystem::path& path, SeenSet& seen) { return sizes({path}, seen)[0]; }

bool hasWildcard(std::string_view segment) { return segment.find_first_of("*?[") != std::string_view::npos; }

std::string patternBase(const std::filesystem::path& base, std::string_view pattern) {
    std::string_view p = pattern;
    if (isAllEntries(p)) p.remove_suffix(p.size() == 1 ? 1 : 2);
    std::string out = Locations::withoutTrailingSlash(base.native());
    for (const auto& seg : splitSegments(p)) {
        if (hasWildcard(seg)) break;
        out = join(out, seg);
    }
    return out;
}

std::vector<std::filesystem::path> expand(const std::filesystem::path& base, std::string_view pattern) {
    std::vector<std::filesystem::path> out;
    const bool allEntries = isAllEntries(pattern);
    std::vector<std::string> segments = splitSegments(pattern);
    if (allEntries) segments.pop_back();
    const std::string top = Locations::withoutTrailingSlash(base.native());
    if (!allEntries && segments.empty()) {
        if (existsItself(top)) out.emplace_back(top);
        return out;
    }

    // The folders every match lies in: the fixed ones in front of the first
    // wildcard are reached from the location's root, none of them a link or
    // across a mount; below them each folder is opened without following a
    // link, and a folder on another mount is not entered. The last segment of
    // a pattern naming items is the item itself, which may be a link: it is
    // reported as one, never looked through.
    const size_t folderSegments = allEntries ? segments.size() : segments.size() - 1;
    size_t fixed = 0;
    std::string start = top;
    while (fixed < folderSegments && !hasWildcard(segments[fixed])) start = join(start, segments[fixed++]);
    Reach::Folder reached = Reach::folder(start, Reach::Use::listing);
    if (!reached.reached()) return out;
    const Mounts::Boundary mount(reached.fd.get(), reached.realPath);
    std::vector<OpenFolder> current;
    current.push_back(OpenFolder{std::move(reached.fd), start, reached.realPath == "/" ? "" : reached.realPath});

    for (size_t s = fixed; s < folderSegments && !current.empty(); ++s) {
        std::vector<OpenFolder> next;
        for (const auto& folder : current) {
            std::vector<std::string> names;
            if (hasWildcard(segments[s])) names = matching(folder, segments[s]);
            else names.push_back(segments[s]);
            for (const auto& name : names)
                if (auto sub = openSubfolder(folder, name, mount)) next.push_back(std::move(*sub));
        }
        current = std::move(next);
    }

    for (const auto& folder : current) {
        if (allEntries) {
            auto names = Walker::names(folder.fd.get());
            if (!names) continue;
            for (const auto& name : *names)
                if (name != ".DS_Store") out.emplace_back(join(folder.path, name));
            continue;
        }
        const std::string& last = segments.back();
        if (!hasWildcard(last)) {
            struct stat st{};
            if (::fstatat(folder.fd.get(), last.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
                out.emplace_back(join(folder.path, last));
            continue;
        }
        for (const auto& name : matching(folder, last)) out.emplace_back(join(folder.path, name));
    }
    return out;
}

bool canList(const std::filesystem::path& path) {
    bool ok = false;
    Walker::list(path, &ok);
    return ok;
}

std::vector<std::filesystem::path> mountedVolumes() { return Volumes::mounted(); }

std::optional<VolumeStats> stats(const std::filesystem::path& path) {
    auto c = Volumes::capacity(path);
    if (!c) return std::nullopt;
    return VolumeStats{c->total, c->freeForUser()};
}

}  // namespace FS
