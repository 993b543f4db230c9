#include "engine/cleaning.h"

#include <map>
#include <mutex>
#include <set>
#include <string_view>
#include <unordered_map>

#include "engine/admin.h"
#include "engine/fs.h"
#include "platform/file_facts.h"
#include "platform/locations.h"
#include "platform/trash.h"

namespace Cleaning {
namespace {

std::mutex hookLock;
Progress afterItemHook;

Progress hook() {
    std::lock_guard guard(hookLock);
    return afterItemHook;
}

std::string key(const ScanItem& item) { return Locations::withoutTrailingSlash(item.url.native()); }

bool inside(std::string_view path, std::string_view folder) {
    return path.size() > folder.size() && path.starts_with(folder) && path[folder.size()] == '/';
}

// Whether the item lies in the Trash folder a move would put it in: moving it
// there would only rename it, and free nothing.
bool inItsTrash(const ScanItem& item) {
    const std::string path = key(item);
    auto folder = Trash::folderFor(path);
    if (!folder) return false;
    const std::string trash = Locations::withoutTrailingSlash(folder->native());
    if (inside(path, trash)) return true;
    // The same places by their real paths, where a test root or a link on
    // the way spells them differently.
    const std::filesystem::path written(path);
    auto parent = Locations::realPath(written.parent_path().native());
    auto trashReal = Locations::realPath(trash);
    if (!parent || !trashReal) return false;
    const std::string real = *parent + "/" + written.filename().native();
    return inside(real, *trashReal) || *parent == *trashReal;
}

enum class Road { forGood, trash };

struct Planned {
    ScanItem item;
    Road road;
};

// The items to clean, each path once. A path listed for both roads goes to
// the Trash, where it can still be taken back; one already in its Trash is
// deleted for good.
std::vector<Planned> plan(const Request& request) {
    std::vector<Planned> out;
    std::unordered_map<std::string, size_t> at;
    for (Road road : {Road::forGood, Road::trash})
        for (const ScanItem& item : road == Road::trash ? request.toTrash : request.forGood) {
            auto [it, fresh] = at.emplace(key(item), out.size());
            if (fresh)
                out.push_back({item, road});
            else if (road == Road::trash)
                out[it->second].road = Road::trash;
        }
    for (Planned& p : out)
        if (p.road == Road::trash && inItsTrash(p.item)) p.road = Road::forGood;
    return out;
}

// What this run removed, and the bytes each removal counted.
class Removed {
public:
    // Whether the path or a folder holding it was removed earlier in the run.
    bool covers(const std::string& path) const {
        if (counted_.empty()) return false;
        std::string_view p = path;
        while (!p.empty()) {
            if (counted_.contains(std::string(p))) return true;
            const size_t slash = p.rfind('/');
            if (slash == std::string_view::npos || slash == 0) break;
            p = p.substr(0, slash);
        }
        return false;
    }

    // Records a removal and gives the bytes it counts: its measured size less
    // what items inside it counted before it, never below zero.
    int64_t add(const std::string& path, int64_t size) {
        int64_t within = 0;
        const std::string from = path + "/";
        const std::string to = path + "0";  // '0' follows '/'
        for (auto it = counted_.lower_bound(from); it != counted_.end() && it->first < to; ++it)
            within += it->second;
        const int64_t bytes = size > within ? size - within : 0;
        counted_[path] = bytes;
        return bytes;
    }

private:
    std::map<std::string, int64_t> counted_;
};

int64_t permissionDenied(const Outcome& out) {
    int64_t count = int64_t(out.skippedForAdmin.size());
    for (const Failure& f : out.failures)
        if (f.reason.find("Full Disk Access") != std::string::npos) ++count;
    return count;
}

void dryRun(const std::vector<Planned>& planned, Outcome& out) {
    // What lies inside another item that goes goes with it, and counts there.
    std::set<std::string> paths;
    for (const Planned& p : planned) paths.insert(key(p.item));
    for (const Planned& p : planned) {
        const std::string path = key(p.item);
        bool covered = false;
        for (std::filesystem::path up = std::filesystem::path(path).parent_path();
             !covered && up.has_relative_path(); up = up.parent_path())
            covered = paths.contains(up.native());
        if (covered) continue;
        out.reclaimed += p.item.size;
        ++out.removedCount;
    }
}

}  // namespace

void setAfterItemHookForTesting(Progress h) {
    std::lock_guard guard(hookLock);
    afterItemHook = std::move(h);
}

Outcome run(const Request& request, const ScanToken* stop, const Progress& progress) {
    Outcome out;
    const std::vector<Planned> planned = plan(request);

    if (!request.apply) {
        dryRun(planned, out);
    } else {
        std::vector<Planned> plain;
        std::vector<ScanItem> elevated;
        for (const Planned& p : planned)
            if (FS::requiresElevation(p.item.url))
                elevated.push_back(p.item);
            else
                plain.push_back(p);
        const size_t total = plain.size() + elevated.size();
        size_t done = 0;
        const Progress afterItem = hook();
        auto step = [&](bool awaiting = false) {
            if (progress) progress({done, total, awaiting});
        };
        auto stopped = [&] { return stop && stop->isCancelled(); };
        step();

        Removed removed;
        // Deleted for good first, then to the Trash, one item at a time so a
        // stop comes between items.
        for (Road road : {Road::forGood, Road::trash}) {
            for (const Planned& p : plain) {
                if (p.road != road) continue;
                if (stopped()) {
                    out.stopped = true;
                    break;
                }
                const std::string path = key(p.item);
                if (removed.covers(path)) {
                    out.gone.push_back(p.item.url);
                } else {
                    FS::RemovalOutcome one = FS::remove({p.item}, road == Road::trash);
                    for (const ScanItem& item : one.removed) {
                        const int64_t bytes = removed.add(path, item.size);
                        out.reclaimed += bytes;
                        if (road == Road::trash) out.trashedBytes += bytes;
                        ++out.removedCount;
                    }
                    for (auto& [item, reason] : one.failures) out.failures.push_back({item, reason, false});
                    if (one.failures.empty()) out.gone.push_back(p.item.url);
                }
                ++done;
                step();
                if (afterItem) afterItem({done, total, false});
            }
            if (out.stopped) break;
        }

        if (!elevated.empty() && !out.stopped && stopped()) out.stopped = true;
        if (!elevated.empty() && !out.stopped) {
            // What an earlier removal of the run took, or what is gone
            // already, needs no administrator and counts nothing.
            std::vector<ScanItem> batch;
            for (const ScanItem& item : elevated) {
                if (removed.covers(key(item)) || !existsItself(item.url)) {
                    out.gone.push_back(item.url);
                    ++done;
                } else {
                    batch.push_back(item);
                }
            }
            if (!batch.empty() && !request.allowAdmin) {
                out.skippedForAdmin = batch;
                done += batch.size();
            } else if (!batch.empty()) {
                step(true);
                std::vector<Admin::Target> urls;
                for (const ScanItem& item : batch) urls.push_back({item.url, item.measured});
                const Admin::PrivilegedRemoval result = Admin::removeAsRoot(urls);
                out.authorizationUnavailable = result.authorizationUnavailable;
                if (result.cancelled) {
                    out.adminCancelled = true;
                    out.skippedForAdmin = batch;
                } else {
                    const std::set<std::string> gone(result.removed.begin(), result.removed.end());
                    std::map<std::string, std::string> why;
                    for (size_t i = 0; i < result.failed.size(); ++i)
                        why.emplace(result.failed[i], i < result.reasons.size() ? result.reasons[i] : std::string());
                    for (const ScanItem& item : batch) {
                        if (gone.contains(item.url.native())) {
                            out.reclaimed += removed.add(key(item), item.size);
                            ++out.removedCount;
                            ++out.removedAsRoot;
                            out.gone.push_back(item.url);
                        } else {
                            auto it = why.find(item.url.native());
                            out.failures.push_back({item, it != why.end() ? it->second : std::string(), true});
                        }
                    }
                }
                done += batch.size();
            }
            step();
        }
        if (out.stopped) out.notTried = int64_t(total - done);
    }

    CleanupRecord& record = out.record;
    record.timestamp = Clock::now();
    record.source = request.source;
    record.modules = request.modules;
    record.dryRun = !request.apply;
    record.reclaimedBytes = out.reclaimed;
    record.removedCount = out.removedCount;
    record.failureCount = int64_t(out.failures.size());
    record.permissionDeniedCount = permissionDenied(out);
    record.stopped = out.stopped;
    if (!request.source.empty()) CleanHistory::append(record);
    return out;
}

}  // namespace Cleaning
