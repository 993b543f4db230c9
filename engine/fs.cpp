#include "engine/fs.h"

#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <unordered_map>
#include <utility>

#include "platform/file_handle.h"
#include "platform/locations.h"
#include "platform/mounts.h"
#include "platform/packages.h"
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

// A file with more than one link met while measuring the item at index
// `item`, not yet in the caller's set when it was met.
struct Found {
    size_t item;
    FileIdentity identity;
    int64_t bytes;
};

// A folder met inside a walked item that an item before it measured whole.
struct Counted {
    size_t root;  // the walk root it lies below
    std::string path;
};

// What one thread of a measurement found, per walk root: the folders met and
// the bytes of files with one link; and the files with more than one link,
// the folders counted before, and the later items met inside earlier ones.
struct alignas(64) Tally {
    std::vector<int64_t> folders;
    std::vector<int64_t> bytes;
    std::vector<Found> shared;
    std::vector<Counted> counted;
    std::vector<size_t> met;
};

bool identityLess(const FileIdentity& a, const FileIdentity& b) {
    return a.device != b.device ? a.device < b.device : a.inode < b.inode;
}

// The items of one sizes() call measured whole, by identity: the first item
// of each, since the earlier of two items counts what they share.
class Batch {
public:
    void add(const FileIdentity& id, size_t item) { entries_.push_back({id, item}); }
    void seal() {
        std::stable_sort(entries_.begin(), entries_.end(),
                         [](const Entry& a, const Entry& b) { return identityLess(a.id, b.id); });
        entries_.erase(std::unique(entries_.begin(), entries_.end(),
                                   [](const Entry& a, const Entry& b) { return a.id == b.id; }),
                       entries_.end());
    }
    std::optional<size_t> first(const FileIdentity& id) const {
        auto it = std::lower_bound(entries_.begin(), entries_.end(), id,
                                   [](const Entry& e, const FileIdentity& v) { return identityLess(e.id, v); });
        if (it == entries_.end() || !(it->id == id)) return std::nullopt;
        return it->item;
    }

private:
    struct Entry {
        FileIdentity id;
        size_t item;
    };
    std::vector<Entry> entries_;
};

// The path as folders are recorded: without a trailing "/" ("/" stays).
std::string folderText(const std::filesystem::path& path) {
    std::string text = path.native();
    while (text.size() > 1 && text.back() == '/') text.pop_back();
    return text;
}

bool mayList(const std::string& folder) { return ::faccessat(AT_FDCWD, folder.c_str(), R_OK | X_OK, AT_EACCESS) == 0; }

// Whether the item at `path` lies below a folder measured whole before it
// (`measuredBefore` tells), reached the way that walk reached it: through
// folders that could be listed, none of them a link or a package (which a
// walk never enters), so every file of one link below the item was counted
// there. A path spelled through "." or ".." is not compared.
bool belowMeasuredFolder(const std::string& path, const std::function<bool(const std::string&)>& measuredBefore) {
    if (path.empty() || path.front() != '/') return false;
    if (path.find("/./") != std::string::npos || path.find("/../") != std::string::npos) return false;
    std::string folder;
    for (size_t end = path.rfind('/'); end != std::string::npos; end = end == 0 ? std::string::npos : path.rfind('/', end - 1)) {
        std::string prefix = end == 0 ? std::string("/") : path.substr(0, end);
        if (measuredBefore(prefix)) {
            folder = std::move(prefix);
            break;
        }
    }
    if (folder.empty() || !mayList(folder)) return false;
    // The item itself: a package below the folder was met but not entered.
    auto item = lstatFacts(path);
    if (!item || item->isSymlink()) return false;
    if (item->isDirectory() && Packages::isPackageName(std::filesystem::path(path).filename().native())) return false;
    // Every folder between them was entered and listed.
    for (size_t at = path.find('/', folder.size() + 1); at != std::string::npos && at < path.size();
         at = path.find('/', at + 1)) {
        const std::string between = path.substr(0, at);
        auto facts = lstatFacts(between);
        if (!facts || !facts->isDirectory()) return false;
        if (Packages::isPackageName(std::filesystem::path(between).filename().native())) return false;
        if (!mayList(between)) return false;
    }
    return true;
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

void SeenSet::addFolder(const FileIdentity& id, const std::string& path) {
    insert(id);
    folderPaths_.insert(path);
}

void SeenSet::addLoneFile(const FileIdentity& id) {
    if (insert(id)) ++loneFiles_;
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

// The items are measured together on every thread: folders are walked at
// once, and what they share is settled afterwards in the callers' order, as in
// a measurement one item after the other. A file with one link is counted by
// the first item whose walk reaches it: it is passed over below a folder an
// earlier item measured (that folder's own folders still count), and when it
// was an earlier item itself. Files with more than one link join the caller's
// set item by item; both links give the same allocated size, so which one
// counts does not change the figure.
namespace {

std::vector<int64_t> measureAll(const std::vector<std::filesystem::path>& paths, SeenSet& seen,
                                std::vector<std::optional<MeasuredObject>>* objects, const ScanToken* token) {
    auto cancelled = [token] { return token && token->isCancelled(); };
    if (cancelled()) return {};
    const size_t n = paths.size();
    std::vector<int64_t> out(n, 0);
    std::vector<std::optional<FileFacts>> facts(n);
    std::vector<std::string> texts(n);
    Batch batch;
    std::unordered_map<std::string, size_t> batchFolders;
    bool batchHasLoneFiles = false;
    for (size_t i = 0; i < n; ++i) {
        facts[i] = lstatFacts(paths[i]);
        if (objects && facts[i]) (*objects)[i] = MeasuredObject::of(*facts[i]);
        if (!facts[i] || !(facts[i]->isRegular() || facts[i]->isDirectory())) continue;
        texts[i] = folderText(paths[i]);
        batch.add(facts[i]->identity, i);
        if (facts[i]->isDirectory()) batchFolders.try_emplace(texts[i], i);
        else if (facts[i]->links <= 1) batchHasLoneFiles = true;
    }
    batch.seal();
    auto earlierItem = [&](const FileIdentity& id, size_t item) {
        auto first = batch.first(id);
        return first && *first < item;
    };

    // Whether each item's files of one link were all counted before it.
    std::vector<char> counted(n, 0);
    std::vector<Found> shared;
    std::vector<std::filesystem::path> folders;
    std::vector<size_t> folderItems;
    for (size_t i = 0; i < n; ++i) {
        if (texts[i].empty()) continue;
        const FileFacts& f = *facts[i];
        bool before = seen.contains(f.identity) || earlierItem(f.identity, i);
        if (!before && (seen.holdsFolders() || !batchFolders.empty()))
            before = belowMeasuredFolder(texts[i], [&](const std::string& folder) {
                if (seen.holdsFolderPath(folder)) return true;
                auto it = batchFolders.find(folder);
                return it != batchFolders.end() && it->second < i;
            });
        counted[i] = before;
        if (f.isDirectory()) {
            folders.push_back(paths[i]);
            folderItems.push_back(i);
        } else if (f.links > 1) {
            shared.push_back({i, f.identity, f.allocatedSize});
        }
    }

    std::vector<int64_t> bytes(folders.size(), 0);
    if (!folders.empty()) {
        std::vector<Tally> tallies(WorkPool::width());
        for (auto& tally : tallies) {
            tally.folders.assign(folders.size(), 0);
            tally.bytes.assign(folders.size(), 0);
        }
        const bool loneFilesBefore = seen.holdsLoneFiles();
        WalkOptions options;
        if (token) options.stopRequested = cancelled;
        const bool walked = Walker::walkParallel(folders, [&](const WalkEntry& e, unsigned slot) {
            if (cancelled()) return WalkAction::stop;
            if (e.facts.isSymlink()) return WalkAction::skipSubtree;
            Tally& tally = tallies[slot];
            const size_t item = folderItems[e.root];
            const FileIdentity& id = e.facts.identity;
            if (e.facts.isDirectory()) {
                ++tally.folders[e.root];
                if (seen.contains(id) || earlierItem(id, item)) {
                    tally.counted.push_back({e.root, std::string(e.path)});
                    return WalkAction::skipSubtree;
                }
                if (auto first = batch.first(id); first && *first > item) tally.met.push_back(*first);
                return WalkAction::proceed;
            }
            if (e.facts.links > 1) {
                if (!seen.contains(id)) tally.shared.push_back({item, id, e.facts.allocatedSize});
                return WalkAction::proceed;
            }
            if (counted[item]) return WalkAction::proceed;
            if (loneFilesBefore && seen.contains(id)) return WalkAction::proceed;
            if (batchHasLoneFiles) {
                if (auto first = batch.first(id)) {
                    if (*first < item) return WalkAction::proceed;
                    if (*first > item) tally.met.push_back(*first);
                }
            }
            tally.bytes[e.root] += e.facts.allocatedSize;
            return WalkAction::proceed;
        }, options);
        if (!walked) return {};

        // Folders an earlier item measured: their folders count here too,
        // their files were counted there.
        std::vector<std::filesystem::path> again;
        std::vector<size_t> againItems;
        for (auto& tally : tallies) {
            for (size_t r = 0; r < folders.size(); ++r) {
                out[folderItems[r]] += tally.folders[r] * kFolderBytes;
                bytes[r] += tally.bytes[r];
            }
            shared.insert(shared.end(), tally.shared.begin(), tally.shared.end());
            for (auto& c : tally.counted) {
                again.emplace_back(std::move(c.path));
                againItems.push_back(folderItems[c.root]);
            }
            for (size_t item : tally.met) counted[item] = 1;
        }
        if (!again.empty()) {
            std::vector<std::vector<int64_t>> againFolders(WorkPool::width(), std::vector<int64_t>(again.size(), 0));
            const bool recounted = Walker::walkParallel(again, [&](const WalkEntry& e, unsigned slot) {
                if (cancelled()) return WalkAction::stop;
                if (e.facts.isSymlink()) return WalkAction::skipSubtree;
                if (e.facts.isDirectory()) ++againFolders[slot][e.root];
                return WalkAction::proceed;
            }, options);
            if (!recounted) return {};
            for (const auto& perSlot : againFolders)
                for (size_t r = 0; r < again.size(); ++r) out[againItems[r]] += perSlot[r] * kFolderBytes;
        }
    }
    for (size_t r = 0; r < folders.size(); ++r)
        if (!counted[folderItems[r]]) out[folderItems[r]] += bytes[r];
    for (size_t i = 0; i < n; ++i)
        if (!texts[i].empty() && facts[i]->isRegular() && facts[i]->links <= 1 && !counted[i])
            out[i] += facts[i]->allocatedSize;

    seen.reserve(shared.size() + n);
    std::stable_sort(shared.begin(), shared.end(), [](const Found& a, const Found& b) { return a.item < b.item; });
    for (const auto& file : shared)
        if (seen.insert(file.identity)) out[file.item] += file.bytes;
    for (size_t i = 0; i < n; ++i) {
        if (texts[i].empty()) continue;
        if (facts[i]->isDirectory()) seen.addFolder(facts[i]->identity, texts[i]);
        else if (facts[i]->links <= 1) seen.addLoneFile(facts[i]->identity);
    }
    return out;
}

}  // namespace

std::vector<int64_t> sizes(const std::vector<std::filesystem::path>& paths, SeenSet& seen, const ScanToken* token) {
    return measureAll(paths, seen, nullptr, token);
}

std::vector<Measured> measure(const std::vector<std::filesystem::path>& paths, SeenSet& seen, const ScanToken* token) {
    std::vector<std::optional<MeasuredObject>> objects(paths.size());
    std::vector<int64_t> sized = measureAll(paths, seen, &objects, token);
    if (sized.size() != paths.size()) return {};
    std::vector<Measured> out(paths.size());
    for (size_t i = 0; i < paths.size(); ++i) out[i] = {sized[i], std::move(objects[i])};
    return out;
}

Measured measureAlone(const std::filesystem::path& path) {
    SeenSet seen;
    return std::move(measure({path}, seen)[0]);
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
