#include "engine/fs.h"

#include <fnmatch.h>

#include <algorithm>
#include <cstdint>
#include <utility>

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
    size_t i = 0;
    while (i < path.size()) {
        size_t j = path.find('/', i);
        if (j == std::string_view::npos) j = path.size();
        if (j > i) out.emplace_back(path.substr(i, j - i));
        i = j + 1;
    }
    return out;
}

std::string join(const std::string& base, const std::string& name) {
    if (base == "/") return "/" + name;
    return base + "/" + name;
}

// Expands a pattern whose segments may hold wildcards, segment by segment.
// With descendAfter, the caller will list what is found, so a final match that
// is a symbolic link is dropped like a link met halfway.
std::vector<std::string> globExpand(std::string_view pattern, bool descendAfter) {
    std::vector<std::string> current = {pattern.empty() || pattern.front() != '/' ? std::string() : "/"};
    // Whether each candidate was produced by a wildcard and is a symbolic link.
    std::vector<bool> isMatchedLink = {false};
    auto segments = splitSegments(pattern);
    for (size_t s = 0; s < segments.size(); ++s) {
        const std::string& seg = segments[s];
        std::vector<std::string> next;
        std::vector<bool> nextLinks;
        for (size_t c = 0; c < current.size(); ++c) {
            if (isMatchedLink[c]) continue;  // never descend through a matched link
            const std::string& base = current[c];
            if (!hasWildcard(seg)) {
                next.push_back(base.empty() ? seg : join(base, seg));
                nextLinks.push_back(false);
                continue;
            }
            bool ok = false;
            auto names = Walker::list(base.empty() ? "." : base, &ok);
            std::sort(names.begin(), names.end());
            for (const auto& name : names) {
                if (name == ".DS_Store") continue;
                if (::fnmatch(seg.c_str(), name.c_str(), FNM_PERIOD) != 0) continue;
                std::string path = base.empty() ? name : join(base, name);
                auto facts = lstatFacts(path);
                next.push_back(path);
                nextLinks.push_back(facts && facts->isSymlink() && (descendAfter || s + 1 < segments.size()));
            }
        }
        current = std::move(next);
        isMatchedLink = std::move(nextLinks);
        if (current.empty()) break;
    }
    std::vector<std::string> out;
    for (size_t c = 0; c < current.size(); ++c)
        if (!isMatchedLink[c] && existsItself(current[c])) out.push_back(current[c]);
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

std::string patternBase(std::string_view pattern) {
    std::string_view p = pattern;
    if (p.size() >= 2 && p.substr(p.size() - 2) == "/*") p.remove_suffix(2);
    std::string base = p.empty() || p.front() != '/' ? "" : "/";
    for (const auto& seg : splitSegments(p)) {
        if (hasWildcard(seg)) break;
        base = base.empty() ? seg : join(base, seg);
    }
    return base;
}

std::vector<std::filesystem::path> expand(std::string_view pattern) {
    std::vector<std::filesystem::path> out;
    if (pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == "/*") {
        std::string_view base = pattern.substr(0, pattern.size() - 2);
        std::vector<std::string> bases;
        bool wild = false;
        for (const auto& seg : splitSegments(base)) wild = wild || hasWildcard(seg);
        if (wild) {
            for (auto& b : globExpand(base, true))
                if (existsFollowingLinks(b)) bases.push_back(std::move(b));
        } else if (existsFollowingLinks(std::string(base))) {
            bases.emplace_back(base);
        }
        for (const auto& b : bases) {
            bool ok = false;
            auto names = Walker::list(b, &ok);
            if (!ok) continue;
            for (const auto& name : names)
                if (name != ".DS_Store") out.emplace_back(join(b, name));
        }
        return out;
    }
    bool wild = false;
    for (const auto& seg : splitSegments(pattern)) wild = wild || hasWildcard(seg);
    if (wild) {
        for (auto& p : globExpand(pattern, false)) out.emplace_back(std::move(p));
        return out;
    }
    if (existsFollowingLinks(std::string(pattern))) out.emplace_back(std::string(pattern));
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
    return VolumeStats{c->total, c->available};
}

}  // namespace FS
