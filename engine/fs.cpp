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

int64_t countFile(const FileFacts& facts, SeenSet& seen) {
    if (!seen.insert(facts.identity)) return 0;
    return facts.allocatedSize;
}

// What one thread of a folder measurement found: its folders, and the files not
// yet in the caller's set with their sizes.
struct alignas(64) Tally {
    int64_t folders = 0;
    std::vector<std::pair<FileIdentity, int64_t>> files;
};

// The subtrees are walked on several threads at once. The caller's set is only
// read while they run; the files they found join it afterwards, one by one, so
// a file reached through two hard links in subtrees walked at the same time
// counts once. Both links give the same allocated size, so which one counts
// does not change the total: it is the sequential walk's total.
int64_t treeSize(const std::filesystem::path& folder, SeenSet& seen) {
    std::vector<Tally> tallies(WorkPool::width());
    Walker::walkParallel(folder, [&](const WalkEntry& e, unsigned slot) {
        if (e.facts.isSymlink()) return WalkAction::skipSubtree;
        Tally& tally = tallies[slot];
        if (e.facts.isDirectory()) {
            ++tally.folders;
            return WalkAction::proceed;
        }
        if (!seen.contains(e.facts.identity)) tally.files.emplace_back(e.facts.identity, e.facts.allocatedSize);
        return WalkAction::proceed;
    });
    int64_t total = 0;
    for (auto& tally : tallies) {
        total += tally.folders * kFolderBytes;
        for (const auto& [identity, bytes] : tally.files)
            if (seen.insert(identity)) total += bytes;
    }
    return total;
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

void SeenSet::grow() {
    std::vector<FileIdentity> old(std::max<size_t>(64, slots_.size() * 2), kVacant);
    old.swap(slots_);
    for (const auto& id : old)
        if (id != kVacant) slots_[slotOf(id)] = id;
}

int64_t size(const std::filesystem::path& path, SeenSet& seen) {
    auto facts = lstatFacts(path);
    if (!facts) return 0;
    if (facts->isSymlink()) return 0;
    if (facts->isRegular()) return countFile(*facts, seen);
    if (facts->isDirectory()) return treeSize(path, seen);
    return 0;
}

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
