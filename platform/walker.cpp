#include "platform/walker.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/mounts.h"
#include "platform/packages.h"
#include "platform/placeholders.h"
#include "platform/reach.h"
#include "platform/work_pool.h"

namespace Walker {
namespace {

using Visit = std::function<WalkAction(const WalkEntry&)>;
using SlotVisit = std::function<WalkAction(const WalkEntry&, unsigned)>;

struct RawEntry {
    ino_t inode;
    uint32_t offset;  // into Level::names
    uint32_t length;
};

struct Level {
    std::vector<RawEntry> entries;
    std::string names;
};

// The root as entries are named below it: no trailing "/", and "/" as "".
std::string rootPrefix(const std::filesystem::path& root) {
    std::string path = root.native();
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    if (path == "/") path.clear();
    return path;
}

// What a walk that stays on one mount keeps of its root: where the mount ends,
// and how the paths it reports map to real paths for that test.
struct RootMount {
    Mounts::Boundary boundary;
    std::string given;  // the root's path as reported
    std::string real;   // and as it really is

    std::string realPathOf(std::string_view path) const {
        return real + std::string(path.substr(std::min(given.size(), path.size())));
    }
};

// Opens the root of a walk, reached without passing through a link or a mount,
// and notes where its mount ends when asked to. -1 when it is no folder or
// cannot be reached (reported).
int openRoot(const std::filesystem::path& root, const WalkOptions& options, std::shared_ptr<const RootMount>* mount) {
    Reach::Folder folder = Reach::folder(root, Reach::Use::listing);
    if (!folder.reached()) {
        if (options.onError) options.onError(root.native(), folder.error);
        return -1;
    }
    if (options.stayOnMount) {
        std::string real = folder.realPath == "/" ? "" : folder.realPath;
        *mount = std::make_shared<RootMount>(
            RootMount{Mounts::Boundary(folder.fd.get(), folder.realPath), rootPrefix(root), std::move(real)});
    }
    return folder.fd.release();
}

class ParallelWalk;

// Where a walk goes on: a folder open at fd (or, fd -1, a root still to be
// opened by its path), named path, at depth, below root number `root`.
struct Task {
    int fd;
    std::string path;
    int depth;
    size_t root;
    std::shared_ptr<const RootMount> mount;  // for a walk that stays on its root's mount
};

// Walks folders depth first on one thread. In a parallel walk a folder about to
// be entered may be handed to another thread instead.
class FolderWalk {
public:
    FolderWalk(const Visit* visit, const SlotVisit* slotVisit, const WalkOptions& options,
               ParallelWalk* shared = nullptr, unsigned slot = 0)
        : visit_(visit), slotVisit_(slotVisit), options_(options), shared_(shared), slot_(slot) {}

    // Walks the task's folder; takes its handle.
    bool run(Task task) {
        path_ = std::move(task.path);
        root_ = task.root;
        mount_ = std::move(task.mount);
        return folder(task.fd, task.depth);
    }

private:
    void report(std::string_view path, int error) {
        if (options_.onError) options_.onError(path, error);
    }

    WalkAction visit(const WalkEntry& entry) {
        return visit_ ? (*visit_)(entry) : (*slotVisit_)(entry, slot_);
    }

    // Reads the whole folder into the level's buffers. The stream takes over
    // the handle and stays open while the folder's entries are visited (they
    // are reached through the same handle); nullptr when the folder cannot be
    // read, with the handle closed.
    DIR* readFolder(int fd, Level& level) {
        level.entries.clear();
        level.names.clear();
        DIR* dir = ::fdopendir(fd);
        if (!dir) {
            int error = errno;
            ::close(fd);
            errno = error;
            return nullptr;
        }
        errno = 0;
        while (dirent* d = ::readdir(dir)) {
            const char* n = d->d_name;
            if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0))) continue;
            if (options_.skipHidden && n[0] == '.') continue;
            size_t len = std::strlen(n);
            level.entries.push_back({d->d_ino, uint32_t(level.names.size()), uint32_t(len)});
            level.names.append(n, len + 1);
        }
        if (errno != 0) report(path_, errno);
        std::sort(level.entries.begin(), level.entries.end(),
                  [](const RawEntry& a, const RawEntry& b) { return a.inode < b.inode; });
        return dir;
    }

    bool folder(int fd, int depth);

    const Visit* visit_;
    const SlotVisit* slotVisit_;
    const WalkOptions& options_;
    ParallelWalk* shared_;
    const unsigned slot_;
    size_t root_ = 0;
    std::shared_ptr<const RootMount> mount_;
    std::string path_;
    std::vector<Level> levels_;
};

// The state one parallel walk shares between its threads: the roots, taken up
// one at a time without a lock, the folders handed out while they are walked,
// and how many threads are busy or waiting. It lives as long as the last
// thread that took part holds it.
class ParallelWalk : public std::enable_shared_from_this<ParallelWalk> {
public:
    ParallelWalk(std::vector<std::filesystem::path> roots, const SlotVisit& visit, const WalkOptions& options)
        : roots_(std::move(roots)), visit_(visit), options_(options) {}

    ~ParallelWalk() {
        for (auto& task : queue_) ::close(task.fd);
    }

    bool stopped() const { return stopped_.load(std::memory_order_relaxed); }
    // Every thread leaves the walk before its next entry.
    void stop() { stopped_.store(true, std::memory_order_relaxed); }

    // Runs the walk on the calling thread (slot 0) too, until every root and
    // folder is done. A root is opened only when a thread takes it up, so a
    // long list of roots never holds more handles open than there are threads.
    bool run() {
        if (roots_.size() > 1) askForHelpers();
        work(0);
        return !stopped();
    }

    // Hands a folder to a waiting thread. False when no thread waits for one,
    // so the caller walks it itself; a handle stays open only while its folder
    // waits, and no more folders wait than threads do.
    bool offer(int fd, const std::string& path, int depth, size_t root, const std::shared_ptr<const RootMount>& mount) {
        if (!helpersAsked_.load(std::memory_order_relaxed)) askForHelpers();
        if (idle_.load(std::memory_order_relaxed) <= queued_.load(std::memory_order_relaxed)) return false;
        {
            std::lock_guard lock(mutex_);
            if (idle_.load(std::memory_order_relaxed) <= queue_.size()) return false;
            queue_.push_back(Task{fd, path, depth, root, mount});
            queued_.store(queue_.size(), std::memory_order_relaxed);
        }
        changed_.notify_one();
        return true;
    }

private:
    // Pool threads join only once the walk has more than one folder to give
    // out, so measuring a lone file or a flat folder never wakes them.
    void askForHelpers() {
        if (helpersAsked_.exchange(true)) return;
        for (unsigned i = 1; i < WorkPool::width(); ++i)
            WorkPool::post([self = shared_from_this()] { self->work(self->nextSlot_.fetch_add(1)); });
    }

    // One thread fewer is busy; the last one wakes those waiting for the end.
    void release() {
        if (busy_.fetch_sub(1) != 1) return;
        { std::lock_guard lock(mutex_); }
        changed_.notify_all();
    }

    void work(unsigned slot) {
        std::unique_ptr<FolderWalk> walker;
        auto walk = [&](Task task) {
            if (!walker) walker = std::make_unique<FolderWalk>(nullptr, &visit_, options_, this, slot);
            if (!walker->run(std::move(task))) stop();
        };
        // The roots first. A thread counts itself busy before it takes one,
        // so no thread sees the walk over while a root taken is not yet done.
        for (;;) {
            busy_.fetch_add(1);
            const size_t r = nextRoot_.fetch_add(1);
            if (r >= roots_.size() || stopped()) {
                release();
                break;
            }
            Task task{-1, {}, 1, r, nullptr};
            task.fd = openRoot(roots_[r], options_, &task.mount);
            task.path = rootPrefix(roots_[r]);
            if (task.fd >= 0) walk(std::move(task));
            release();
        }
        // Then the folders other threads hand out, until nothing waits and no
        // thread is still walking (and so perhaps inside the visitor).
        std::unique_lock lock(mutex_);
        for (;;) {
            if (stopped()) {
                // Folders still waiting are given up; their handles close now.
                for (auto& task : queue_) ::close(task.fd);
                queue_.clear();
                queued_.store(0, std::memory_order_relaxed);
            }
            if (!queue_.empty()) {
                Task task = std::move(queue_.front());
                queue_.pop_front();
                queued_.store(queue_.size(), std::memory_order_relaxed);
                busy_.fetch_add(1);
                lock.unlock();
                walk(std::move(task));
                lock.lock();
                if (busy_.fetch_sub(1) == 1) changed_.notify_all();
                continue;
            }
            if (busy_.load() == 0) break;
            idle_.fetch_add(1, std::memory_order_relaxed);
            changed_.wait(lock);
            idle_.fetch_sub(1, std::memory_order_relaxed);
        }
    }

    // The roots are the walk's own, as a helper may start after the walk is
    // over. The visitor and options are used only by a thread that walks
    // something, which happens only while the caller of run() waits.
    const std::vector<std::filesystem::path> roots_;
    const SlotVisit& visit_;
    const WalkOptions& options_;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Task> queue_;             // folders handed out, each open
    std::atomic<size_t> nextRoot_{0};
    std::atomic<int> busy_{0};           // threads walking a root or folder
    std::atomic<size_t> idle_{0};        // threads waiting for a folder
    std::atomic<size_t> queued_{0};
    std::atomic<bool> stopped_{false};
    std::atomic<bool> helpersAsked_{false};
    std::atomic<unsigned> nextSlot_{1};
};

// Walks the folder open at fd, and closes it.
bool FolderWalk::folder(int fd, int depth) {
    if (levels_.size() < size_t(depth)) levels_.resize(depth);
    // levels_ may grow (and move) while a subfolder is walked, so this
    // level's buffers are looked up again on every turn of the loop.
    DIR* dir = readFolder(fd, levels_[depth - 1]);
    if (!dir) {
        report(path_, errno ? errno : EIO);
        return !(shared_ && shared_->stopped());
    }
    struct Closer {
        DIR* dir;
        ~Closer() { ::closedir(dir); }
    } closer{dir};
    const size_t base = path_.size();
    const size_t count = levels_[depth - 1].entries.size();
    for (size_t i = 0; i < count; ++i) {
        if (shared_ && shared_->stopped()) break;
        const Level& level = levels_[depth - 1];
        const RawEntry raw = level.entries[i];
        const char* name = level.names.data() + raw.offset;
        std::string_view nameView(name, raw.length);
        path_.resize(base);
        path_ += '/';
        path_.append(nameView);
        struct stat st;
        if (::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            report(path_, errno);
            continue;
        }
        const FileFacts facts = FileFacts::from(st);
        if (options_.skipHidden && facts.hidden) continue;
        const bool isDir = facts.isDirectory();
        const bool isPackage = isDir && Packages::isPackageName(nameView);
        WalkAction action =
            visit(WalkEntry{path_, std::string_view(path_).substr(base + 1), facts, depth, isPackage, root_});
        if (action == WalkAction::stop) {
            if (shared_) shared_->stop();
            path_.resize(base);
            return false;
        }
        if (!isDir || action == WalkAction::skipSubtree) continue;
        if (isPackage && !options_.enterPackages) continue;
        int child = ::openat(fd, levels_[depth - 1].names.data() + raw.offset,
                             O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (child < 0) {
            report(path_, errno);
            continue;
        }
        // The folder may have been swapped between fstatat and openat: only
        // walk the object that was stat'ed.
        if (::fstat(child, &st) != 0 || uint64_t(st.st_ino) != facts.identity.inode ||
            uint64_t(st.st_dev) != facts.identity.device) {
            ::close(child);
            continue;
        }
        if (mount_ && mount_->boundary.crossedBy(child, mount_->realPathOf(path_))) {
            ::close(child);
            report(path_, EXDEV);
            continue;
        }
        if (shared_ && shared_->offer(child, path_, depth + 1, root_, mount_)) continue;
        if (!folder(child, depth + 1)) {
            path_.resize(base);
            return false;
        }
    }
    path_.resize(base);
    return !(shared_ && shared_->stopped());
}

}  // namespace

bool walk(const std::filesystem::path& root, const Visit& visit, const WalkOptions& options) {
    Placeholders::neverFetch();
    std::shared_ptr<const RootMount> mount;
    int fd = openRoot(root, options, &mount);
    if (fd < 0) return true;
    FolderWalk w(&visit, nullptr, options);
    return w.run(Task{fd, rootPrefix(root), 1, 0, std::move(mount)});
}

bool walkParallel(const std::vector<std::filesystem::path>& roots, const SlotVisit& visit,
                  const WalkOptions& options) {
    Placeholders::neverFetch();
    if (roots.empty()) return true;
    auto shared = std::make_shared<ParallelWalk>(roots, visit, options);
    return shared->run();
}

bool walkParallel(const std::filesystem::path& root, const SlotVisit& visit, const WalkOptions& options) {
    return walkParallel(std::vector<std::filesystem::path>{root}, visit, options);
}

std::optional<std::vector<std::string>> names(int fd, int* error) {
    auto fail = [&](int err) -> std::optional<std::vector<std::string>> {
        if (error) *error = err;
        return std::nullopt;
    };
    int dupfd = ::dup(fd);
    if (dupfd < 0) return fail(errno);
    DIR* dir = ::fdopendir(dupfd);
    if (!dir) {
        int err = errno;
        ::close(dupfd);
        return fail(err);
    }
    ::rewinddir(dir);  // the handle shares its offset with earlier readers
    std::vector<std::string> out;
    errno = 0;
    while (dirent* d = ::readdir(dir)) {
        const char* n = d->d_name;
        if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0))) continue;
        out.emplace_back(n);
    }
    int err = errno;
    ::closedir(dir);
    if (err != 0) return fail(err);
    if (error) *error = 0;
    return out;
}

std::vector<std::string> list(const std::filesystem::path& folder, bool* ok) {
    Placeholders::neverFetch();
    Reach::Folder reached = Reach::folder(folder, Reach::Use::listing);
    std::optional<std::vector<std::string>> found;
    if (reached.reached()) found = names(reached.fd.get());
    if (ok) *ok = found.has_value();
    return found ? std::move(*found) : std::vector<std::string>();
}

}  // namespace Walker
