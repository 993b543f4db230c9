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

#include "platform/packages.h"
#include "platform/placeholders.h"
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

// Opens the root of a walk and notes its device. -1 when it is no folder or
// cannot be opened (reported).
int openRoot(const std::filesystem::path& root, const WalkOptions& options, dev_t* device) {
    int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st{};
    if (fd >= 0 && ::fstat(fd, &st) == 0) {
        *device = st.st_dev;
        return fd;
    }
    int error = errno;
    if (fd >= 0) ::close(fd);
    if (options.onError) options.onError(root.native(), error);
    return -1;
}

class ParallelWalk;

// Walks folders depth first on one thread. In a parallel walk a folder about to
// be entered may be handed to another thread instead.
class FolderWalk {
public:
    FolderWalk(const Visit* visit, const SlotVisit* slotVisit, const WalkOptions& options, dev_t rootDevice,
               ParallelWalk* shared = nullptr, unsigned slot = 0)
        : visit_(visit), slotVisit_(slotVisit), options_(options), rootDevice_(rootDevice), shared_(shared),
          slot_(slot) {}

    // Walks the folder open at fd, whose path is `path`; takes the handle.
    bool run(int fd, std::string path, int depth) {
        path_ = std::move(path);
        bool keepGoing = folder(fd, depth);
        ::close(fd);
        return keepGoing;
    }

private:
    void report(std::string_view path, int error) {
        if (options_.onError) options_.onError(path, error);
    }

    WalkAction visit(const WalkEntry& entry) {
        return visit_ ? (*visit_)(entry) : (*slotVisit_)(entry, slot_);
    }

    // Reads the whole folder into the level's buffers, then closes the stream.
    bool readFolder(int fd, Level& level) {
        level.entries.clear();
        level.names.clear();
        int dupfd = ::dup(fd);
        if (dupfd < 0) return false;
        DIR* dir = ::fdopendir(dupfd);
        if (!dir) {
            ::close(dupfd);
            return false;
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
        bool ok = errno == 0;
        ::closedir(dir);
        std::sort(level.entries.begin(), level.entries.end(),
                  [](const RawEntry& a, const RawEntry& b) { return a.inode < b.inode; });
        return ok;
    }

    bool folder(int fd, int depth);

    const Visit* visit_;
    const SlotVisit* slotVisit_;
    const WalkOptions& options_;
    const dev_t rootDevice_;
    ParallelWalk* shared_;
    const unsigned slot_;
    std::string path_;
    std::vector<Level> levels_;
};

// The state one parallel walk shares between its threads: the folders waiting
// for a thread (each with its open handle), and how many threads are busy or
// waiting. It lives as long as the last thread that took part holds it.
class ParallelWalk : public std::enable_shared_from_this<ParallelWalk> {
public:
    ParallelWalk(const SlotVisit& visit, const WalkOptions& options, dev_t rootDevice)
        : visit_(visit), options_(options), rootDevice_(rootDevice) {}

    ~ParallelWalk() {
        for (auto& task : queue_) ::close(task.fd);
    }

    bool stopped() const { return stopped_.load(std::memory_order_relaxed); }
    // Every thread leaves the walk before its next entry.
    void stop() { stopped_.store(true, std::memory_order_relaxed); }

    // Runs the walk on the calling thread (slot 0) until every folder is done.
    bool run(int rootFd, std::string rootPath) {
        {
            std::lock_guard lock(mutex_);
            queue_.push_back(Task{rootFd, std::move(rootPath), 1});
            queued_.store(1, std::memory_order_relaxed);
        }
        work(0);
        return !stopped();
    }

    // Hands a folder to a waiting thread. False when no thread waits for one,
    // so the caller walks it itself; a handle stays open only while its folder
    // waits, and no more folders wait than threads do.
    bool offer(int fd, const std::string& path, int depth) {
        if (!helpersAsked_.load(std::memory_order_relaxed)) askForHelpers();
        if (idle_.load(std::memory_order_relaxed) <= queued_.load(std::memory_order_relaxed)) return false;
        {
            std::lock_guard lock(mutex_);
            if (idle_.load(std::memory_order_relaxed) <= queue_.size()) return false;
            queue_.push_back(Task{fd, path, depth});
            queued_.store(queue_.size(), std::memory_order_relaxed);
        }
        changed_.notify_one();
        return true;
    }

private:
    struct Task {
        int fd;
        std::string path;
        int depth;
    };

    // Pool threads join only once the walk meets a second folder, so measuring
    // a lone file or a flat folder never wakes them.
    void askForHelpers() {
        if (helpersAsked_.exchange(true)) return;
        for (unsigned i = 1; i < WorkPool::width(); ++i)
            WorkPool::post([self = shared_from_this()] { self->work(self->nextSlot_.fetch_add(1)); });
    }

    void work(unsigned slot) {
        std::unique_ptr<FolderWalk> walker;
        std::unique_lock lock(mutex_);
        for (;;) {
            if (stopped()) {
                // Folders still waiting are given up; their handles close now.
                for (auto& task : queue_) ::close(task.fd);
                queue_.clear();
                queued_.store(0, std::memory_order_relaxed);
            }
            // The walk is over once nothing waits and no thread is still
            // inside a folder (and so perhaps inside the visitor).
            if (queue_.empty() && active_ == 0) break;
            if (queue_.empty()) {
                idle_.fetch_add(1, std::memory_order_relaxed);
                changed_.wait(lock);
                idle_.fetch_sub(1, std::memory_order_relaxed);
                continue;
            }
            Task task = std::move(queue_.front());
            queue_.pop_front();
            queued_.store(queue_.size(), std::memory_order_relaxed);
            ++active_;
            lock.unlock();
            if (!walker) walker = std::make_unique<FolderWalk>(nullptr, &visit_, options_, rootDevice_, this, slot);
            bool keepGoing = walker->run(task.fd, std::move(task.path), task.depth);
            lock.lock();
            if (!keepGoing) stopped_.store(true, std::memory_order_relaxed);
            --active_;
        }
        // Wake the others: the walk is over for everyone.
        changed_.notify_all();
    }

    // Read only by the thread that holds a task, and a task is handed out only
    // while the caller of run() waits, so these outlive every use.
    const SlotVisit& visit_;
    const WalkOptions& options_;
    const dev_t rootDevice_;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Task> queue_;
    int active_ = 0;  // threads walking a task
    std::atomic<size_t> idle_{0};
    std::atomic<size_t> queued_{0};
    std::atomic<bool> stopped_{false};
    std::atomic<bool> helpersAsked_{false};
    std::atomic<unsigned> nextSlot_{1};
};

bool FolderWalk::folder(int fd, int depth) {
    if (levels_.size() < size_t(depth)) levels_.resize(depth);
    // levels_ may grow (and move) while a subfolder is walked, so this
    // level's buffers are looked up again on every turn of the loop.
    if (!readFolder(fd, levels_[depth - 1])) report(path_, errno ? errno : EIO);
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
        const bool isDir = facts.isDirectory();
        const bool isPackage = isDir && Packages::isPackageName(nameView);
        WalkAction action = visit(WalkEntry{path_, std::string_view(path_).substr(base + 1), facts, depth, isPackage});
        if (action == WalkAction::stop) {
            if (shared_) shared_->stop();
            path_.resize(base);
            return false;
        }
        if (!isDir || action == WalkAction::skipSubtree) continue;
        if (isPackage && !options_.enterPackages) continue;
        if (options_.stayOnDevice && facts.identity.device != uint64_t(rootDevice_)) continue;
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
        if (shared_ && shared_->offer(child, path_, depth + 1)) continue;
        bool keepGoing = folder(child, depth + 1);
        ::close(child);
        if (!keepGoing) {
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
    dev_t device = 0;
    int fd = openRoot(root, options, &device);
    if (fd < 0) return true;
    FolderWalk w(&visit, nullptr, options, device);
    return w.run(fd, rootPrefix(root), 1);
}

bool walkParallel(const std::filesystem::path& root, const SlotVisit& visit, const WalkOptions& options) {
    Placeholders::neverFetch();
    dev_t device = 0;
    int fd = openRoot(root, options, &device);
    if (fd < 0) return true;
    auto shared = std::make_shared<ParallelWalk>(visit, options, device);
    return shared->run(fd, rootPrefix(root));
}

std::vector<std::string> list(const std::filesystem::path& folder, bool* ok) {
    Placeholders::neverFetch();
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) {
        if (ok) *ok = false;
        return names;
    }
    errno = 0;
    while (dirent* d = ::readdir(dir)) {
        const char* n = d->d_name;
        if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0))) continue;
        names.emplace_back(n);
    }
    bool good = errno == 0;
    ::closedir(dir);
    if (ok) *ok = good;
    return names;
}

}  // namespace Walker
