#include "platform/walker.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
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
#include "platform/race_seam.h"
#include "platform/reach.h"
#include "platform/work_pool.h"

namespace Walker {
namespace {

using Visit = std::function<WalkAction(const WalkEntry&)>;
using SlotVisit = std::function<WalkAction(const WalkEntry&, unsigned)>;

constexpr int kOpenFolder = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
constexpr size_t kReadBuffer = 32 * 1024;
// ".." components joined into one open when a folder is found again from
// below; far inside PATH_MAX.
constexpr size_t kUpsPerOpen = 512;
constexpr size_t kLongestHandedPath = 4096;
// The type an entry is given once it was handed to another thread before its
// turn: its turn then passes it over.
constexpr unsigned char kHandedOut = 0xff;

std::atomic<size_t> windowForTesting{0};

// How many folder handles one walking thread keeps open at most: a share of
// the process's limit, so that every thread of a parallel walk, the folders
// handed between them and the rest of the program stay well inside it.
size_t handleWindow() {
    if (size_t forced = windowForTesting.load(std::memory_order_relaxed)) return forced;
    static const size_t window = [] {
        rlimit limit{};
        size_t soft = 256;
        if (::getrlimit(RLIMIT_NOFILE, &limit) == 0)
            soft = limit.rlim_cur == RLIM_INFINITY ? 65536 : size_t(limit.rlim_cur);
        const size_t share = soft / 4 / (size_t(WorkPool::width()) + 1);
        return std::clamp<size_t>(share, 4, 64);
    }();
    return window;
}

// One entry of a folder as read: its name in the walk's name store (followed
// by a NUL there), its inode (the order entries are met in) and its type when
// the file system tells it (DT_UNKNOWN otherwise).
struct RawEntry {
    uint64_t inode;
    size_t offset;
    uint32_t length;
    unsigned char type;
};

bool isDotOrDotDot(const char* n) { return n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0)); }

// Reads the folder open at fd from where its offset stands to its end, and
// hands every name but "." and ".." to add(name, length, inode, type). 0, or
// the errno value of a read that failed (the names read before it were
// handed on). On Linux the entries come straight from getdents64 into the
// caller's buffer: no directory stream, so no calls beyond the reads.
template <class Add>
int readEntries(int fd, std::vector<char>& buffer, Add&& add) {
#ifdef __linux__
    if (buffer.size() < kReadBuffer) buffer.resize(kReadBuffer);
    for (;;) {
        const ssize_t n = ::getdents64(fd, buffer.data(), buffer.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (n == 0) return 0;
        for (ssize_t at = 0; at < n;) {
            const auto* d = reinterpret_cast<const struct dirent64*>(buffer.data() + at);
            at += d->d_reclen;
            if (isDotOrDotDot(d->d_name)) continue;
            add(d->d_name, std::strlen(d->d_name), uint64_t(d->d_ino), (unsigned char)d->d_type);
        }
    }
#else
    (void)buffer;
    // A stream on a copy of the handle, which the caller keeps.
    const int copy = ::dup(fd);
    if (copy < 0) return errno;
    DIR* dir = ::fdopendir(copy);
    if (!dir) {
        const int error = errno;
        ::close(copy);
        return error;
    }
    errno = 0;
    while (dirent* d = ::readdir(dir)) {
        if (!isDotOrDotDot(d->d_name)) add(d->d_name, std::strlen(d->d_name), uint64_t(d->d_ino), (unsigned char)d->d_type);
        errno = 0;
    }
    const int error = errno;
    ::closedir(dir);
    return error;
#endif
}

#ifdef __linux__
std::atomic<bool> statxMissing{false};
#endif

// The facts of the entry name of the folder open at dirfd, a link described,
// not followed; false with errno set when it cannot be looked at.
bool statEntry(int dirfd, const char* name, FileFacts& out) {
#ifdef __linux__
    if (!statxMissing.load(std::memory_order_relaxed)) {
        struct statx sx;
        if (::statx(dirfd, name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, FileFacts::kStatxFields, &sx) == 0) {
            out = FileFacts::from(sx);
            return true;
        }
        // A kernel or sandbox without statx: stat from now on.
        if (errno != ENOSYS) return false;
        statxMissing.store(true, std::memory_order_relaxed);
    }
#endif
    struct stat st;
    if (::fstatat(dirfd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
    out = FileFacts::from(st);
    return true;
}

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

    // The boundary's tests, given the reported path; the real one is built
    // only when the boundary looks at it.
    bool crossedBy(int fd, std::string_view path) const { return boundary.crossedBy(fd, realPathFor(path)); }
    bool crossedAt(int dirfd, const char* name, std::string_view path) const {
        return boundary.crossedAt(dirfd, name, realPathFor(path));
    }

private:
    std::string realPathFor(std::string_view path) const {
        const size_t length = real.size() + path.size() - std::min(given.size(), path.size());
        return boundary.needsPath(length) ? realPathOf(path) : std::string();
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

// Where a walk goes on: a folder open at fd, named path, whose entries are at
// depth, below root number `root`. A folder handed to another thread has no
// handle (fd -1): handles belong to the thread that opened them, so the thread
// taking it up opens it by its path and walks it only if it is the folder,
// identity, that the thread handing it out looked at.
struct Task {
    int fd;
    std::string path;
    int depth;
    size_t root;
    std::shared_ptr<const RootMount> mount;  // for a walk that stays on its root's mount
    FileIdentity identity{};
};

// Walks a folder and everything below it, depth first, on one thread, without
// recursion: the folders being walked are a stack of frames, each with its
// entries still to visit. Only the last few frames keep their handles open
// (handleWindow()); a frame whose handle was let go is opened again when the
// walk comes back to it, from a folder below it through "..", or else from an
// open folder above it one name at a time, never through a link, and always
// checked to be the very folder (device and inode) that was left. In a
// parallel walk, when a thread waits for work, the shallowest folder still to
// walk is handed to it by its path and identity (see ParallelWalk::reach).
class FolderWalk {
public:
    FolderWalk(const Visit* visit, const SlotVisit* slotVisit, const WalkOptions& options,
               ParallelWalk* shared = nullptr, unsigned slot = 0)
        : visit_(visit),
          slotVisit_(slotVisit),
          options_(options),
          shared_(shared),
          slot_(slot),
          linkFacts_(options.skipHidden && mayMarkHidden()) {}

    // Walks the task's folder; takes its handle. False when the walk was
    // asked to stop.
    bool run(Task task);

private:
    struct Frame {
        int fd;                 // -1 while let go
        FileIdentity identity;  // of the folder, as opened on the way down
        size_t next;            // its entries still to visit: entries_[next, end)
        size_t end;
        size_t entriesFrom;     // the stores' sizes before its entries
        size_t namesFrom;
        size_t pathLength;      // path_ up to the folder itself
        int depth;              // of its entries
        size_t handFrom;        // no folder to hand out among its entries before this one
        size_t lastFolder;      // the last of its entries that can be handed out (end when none)
    };

    bool canHandOut(const RawEntry& raw) const {
        return raw.type == DT_DIR &&
               (options_.enterPackages || !Packages::isPackageName(std::string_view(names_.data() + raw.offset, raw.length)));
    }
    // Whether the thread keeps a folder of its own to walk when it hands out
    // entry j of the top frame: handing out its last one would only pass the
    // walk from thread to thread down a chain, one level at a time.
    bool keepsAFolderAfter(size_t j) const {
        const Frame& top = frames_.back();
        return top.lastFolder != top.end && top.lastFolder > j;
    }

    void report(std::string_view path, int error) {
        if (options_.onError) options_.onError(path, error);
    }

    WalkAction visit(const WalkEntry& entry) {
        return visit_ ? (*visit_)(entry) : (*slotVisit_)(entry, slot_);
    }

    bool stopped() const;
    // Whether the walk's owner asked it to end; the other threads of a
    // parallel walk are then told too.
    bool stopRequested();
    bool step(const RawEntry& raw, size_t frameIndex, bool handingOut);
    bool handOut();
    void enter(int fd, const FileIdentity& identity, int depth);
    void closeFrame(Frame& frame) {
        if (frame.fd < 0) return;
        ::close(frame.fd);
        frame.fd = -1;
        --open_;
    }
    void pop();
    void leave();
    int reachFromBelow(size_t index, int from, size_t fromIndex);
    int reachFromAbove(size_t index);
    std::string_view nameOf(size_t index) const {
        const size_t from = frames_[index - 1].pathLength + 1;
        return std::string_view(path_).substr(from, frames_[index].pathLength - from);
    }

    const Visit* visit_;
    const SlotVisit* slotVisit_;
    const WalkOptions& options_;
    ParallelWalk* shared_;
    const unsigned slot_;
    // Links are looked at only when their facts can matter: to leave out those
    // the platform marks hidden. Otherwise the type alone says all a walk
    // needs of one (it measures nothing and is never entered).
    const bool linkFacts_;
    size_t root_ = 0;
    std::shared_ptr<const RootMount> mount_;
    std::string path_;
    std::vector<Frame> frames_;
    std::vector<RawEntry> entries_;  // the entries of every frame, deepest last
    std::string names_;
    std::vector<char> buffer_;
    std::string handedPath_;  // the path of a folder being handed out
    size_t handFrom_ = 0;     // frames below this one have no folder left to hand out
    size_t open_ = 0;      // frames whose handle is open
    size_t lowOpen_ = 1;   // frames [1, lowOpen_) have let their handles go
};

// The state one parallel walk shares between its threads: the roots, taken up
// one at a time without a lock, the folders handed out while they are walked,
// and how many threads are busy or waiting. It lives as long as the last
// thread that took part holds it.
class ParallelWalk : public std::enable_shared_from_this<ParallelWalk> {
public:
    ParallelWalk(std::vector<std::filesystem::path> roots, const SlotVisit& visit, const WalkOptions& options)
        : roots_(std::move(roots)), visit_(visit), options_(options) {}

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

    // Whether a thread waits for a folder that none has been found for yet.
    // Read before every entry, so without a lock: a hint, made sure by promise().
    bool hungry() const {
        return idle_.load(std::memory_order_relaxed) > queued_.load(std::memory_order_relaxed);
    }

    // Pool threads join only once the walk has more than one folder to give
    // out, so measuring a lone file or a flat folder never wakes them.
    void wantHelpers() {
        if (!helpersAsked_.load(std::memory_order_relaxed)) askForHelpers();
    }

    // Keeps a place for a folder the caller is about to hand out, so that
    // several threads answering one waiting thread do not all hand one out.
    // False when no thread waits any more. Every promise is kept (deliver) or
    // taken back (withdraw); no more folders wait than threads do.
    bool promise() {
        std::lock_guard lock(mutex_);
        if (idle_.load(std::memory_order_relaxed) <= queue_.size() + promised_) return false;
        ++promised_;
        queued_.store(queue_.size() + promised_, std::memory_order_relaxed);
        return true;
    }
    void deliver(Task task) {
        {
            std::lock_guard lock(mutex_);
            --promised_;
            queue_.push_back(std::move(task));
            queued_.store(queue_.size() + promised_, std::memory_order_relaxed);
        }
        changed_.notify_one();
    }
    void withdraw() {
        std::lock_guard lock(mutex_);
        --promised_;
        queued_.store(queue_.size() + promised_, std::memory_order_relaxed);
    }

private:
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

    // The handle of the root a thread last opened a handed-out folder below;
    // closed when the thread leaves the walk.
    struct RootHandle {
        size_t root = SIZE_MAX;
        int fd = -1;
        ~RootHandle() {
            if (fd >= 0) ::close(fd);
        }
    };

    void report(std::string_view path, int error) {
        if (options_.onError) options_.onError(path, error);
    }

    // Opens a folder another thread handed out, from its root one name at a
    // time, never through a link, crossing mounts as the walk itself does, and
    // keeps it only when it is the folder that was looked at. A folder gone,
    // swapped or turned into a link meanwhile is treated as one changed
    // between the look and the open: a failed open is reported, another
    // folder in its place passed over. -1 then.
    int reach(const Task& task, RootHandle& held) {
        if (held.root != task.root) {
            if (held.fd >= 0) ::close(held.fd);
            held.fd = -1;
            held.root = task.root;
            Reach::Folder folder = Reach::folder(roots_[task.root], Reach::Use::listing);
            if (!folder.reached()) {
                held.root = SIZE_MAX;
                report(task.path, folder.error);
                return -1;
            }
            held.fd = folder.fd.release();
        }
        const size_t from = rootPrefix(roots_[task.root]).size() + 1;
        if (task.path.size() <= from) return -1;
        const std::string below = task.path.substr(from);
        RaceSeam::betweenLookAndOpen(RaceSeam::Site::handedFolder, held.fd, below);
        int current = held.fd;
        for (size_t at = 0; at < below.size();) {
            size_t end = below.find('/', at);
            if (end == std::string::npos) end = below.size();
            const std::string name = below.substr(at, end - at);
            const int next = ::openat(current, name.c_str(), kOpenFolder);
            const int error = errno;
            if (current != held.fd) ::close(current);
            if (next < 0) {
                report(task.path, error);
                return -1;
            }
            current = next;
            at = end + 1;
        }
        struct stat st;
        if (current == held.fd || ::fstat(current, &st) != 0 || !(FileFacts::from(st).identity == task.identity)) {
            if (current != held.fd) ::close(current);
            return -1;
        }
        if (task.mount && task.mount->crossedBy(current, task.path)) {
            ::close(current);
            report(task.path, EXDEV);
            return -1;
        }
        return current;
    }

    void work(unsigned slot) {
        std::unique_ptr<FolderWalk> walker;
        RootHandle held;
        auto walk = [&](Task task) {
            if (!walker) walker = std::make_unique<FolderWalk>(nullptr, &visit_, options_, this, slot);
            if (!walker->run(std::move(task))) stop();
        };
        // The roots first. A thread counts itself busy before it takes one,
        // so no thread sees the walk over while a root taken is not yet done.
        for (;;) {
            busy_.fetch_add(1);
            const size_t r = nextRoot_.fetch_add(1);
            // (The options are looked at only once a root is taken: a helper
            // that starts after the walk is over must not touch them.)
            if (r >= roots_.size() || stopped() || (options_.stopRequested && options_.stopRequested())) {
                if (r < roots_.size()) stop();
                release();
                break;
            }
            Task task{-1, {}, 1, r, nullptr, {}};
            task.fd = openRoot(roots_[r], options_, &task.mount);
            task.path = rootPrefix(roots_[r]);
            if (task.fd >= 0) walk(std::move(task));
            release();
        }
        // Then the folders other threads hand out, until nothing waits and no
        // thread is still walking (and so perhaps inside the visitor).
        std::unique_lock lock(mutex_);
        for (;;) {
            if (!queue_.empty() && options_.stopRequested && options_.stopRequested()) stop();
            if (stopped()) {
                // Folders still waiting are given up.
                queue_.clear();
                queued_.store(promised_, std::memory_order_relaxed);
            }
            if (!queue_.empty()) {
                Task task = std::move(queue_.front());
                queue_.pop_front();
                queued_.store(queue_.size() + promised_, std::memory_order_relaxed);
                busy_.fetch_add(1);
                lock.unlock();
                task.fd = reach(task, held);
                if (task.fd >= 0) walk(std::move(task));
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
    std::deque<Task> queue_;             // folders handed out, to be opened by path
    size_t promised_ = 0;                // folders about to be handed out (under the lock)
    std::atomic<size_t> nextRoot_{0};
    std::atomic<int> busy_{0};           // threads walking a root or folder
    std::atomic<size_t> idle_{0};        // threads waiting for a folder
    std::atomic<size_t> queued_{0};      // folders waiting or promised
    std::atomic<bool> stopped_{false};
    std::atomic<bool> helpersAsked_{false};
    std::atomic<unsigned> nextSlot_{1};
};

bool FolderWalk::stopped() const { return shared_ && shared_->stopped(); }

bool FolderWalk::stopRequested() {
    if (!options_.stopRequested || !options_.stopRequested()) return false;
    if (shared_) shared_->stop();
    return true;
}

bool FolderWalk::run(Task task) {
    path_ = std::move(task.path);
    root_ = task.root;
    mount_ = std::move(task.mount);
    if (stopRequested()) {
        ::close(task.fd);
        return false;
    }
    // The first folder's identity is never needed: it keeps its handle to the
    // end, since no walk goes above it.
    enter(task.fd, task.identity, task.depth);
    handFrom_ = 0;
    bool finished = true;
    while (!frames_.empty()) {
        if (stopped()) {
            finished = false;
            break;
        }
        Frame& top = frames_.back();
        if (top.next == top.end) {
            leave();
            continue;
        }
        // A thread waiting for work gets the shallowest folder not yet walked
        // rather than the one about to be entered: the most work for one
        // hand-out, so threads seldom wait.
        if (shared_ && shared_->hungry() && !handOut()) {
            finished = false;
            break;
        }
        const RawEntry raw = entries_[top.next++];
        if (raw.type == kHandedOut) continue;
        if (!step(raw, frames_.size() - 1, false)) {
            finished = false;
            break;
        }
    }
    while (!frames_.empty()) pop();
    entries_.clear();
    names_.clear();
    return finished && !stopped();
}

// Reads the folder open at fd into a new frame on top of the stack, and lets
// go of handles above it that the walk can do without for now.
void FolderWalk::enter(int fd, const FileIdentity& identity, int depth) {
    Frame frame{fd, identity, 0, 0, entries_.size(), names_.size(), path_.size(), depth, 0, 0};
    const bool skipDotNames = options_.skipHidden;
    const int error = readEntries(fd, buffer_, [&](const char* name, size_t length, uint64_t inode, unsigned char type) {
        if (skipDotNames && name[0] == '.') return;
        entries_.push_back(RawEntry{inode, names_.size(), uint32_t(length), type});
        names_.append(name, length + 1);
    });
    if (error != 0) report(path_, error);
    // Inode order is close to disk order on most file systems.
    std::sort(entries_.begin() + ptrdiff_t(frame.entriesFrom), entries_.end(),
              [](const RawEntry& a, const RawEntry& b) { return a.inode < b.inode; });
    frame.next = frame.entriesFrom;
    frame.handFrom = frame.entriesFrom;
    frame.end = entries_.size();
    frame.lastFolder = frame.end;
    if (shared_)
        for (size_t j = frame.end; j-- > frame.entriesFrom;)
            if (canHandOut(entries_[j])) {
                frame.lastFolder = j;
                break;
            }
    frames_.push_back(frame);
    ++open_;
    if (frames_.size() < 3) return;
    // The folder above needs its handle again only if entries are left in it.
    Frame& parent = frames_[frames_.size() - 2];
    if (parent.next == parent.end) closeFrame(parent);
    // Past the window, the highest open handles go first (never the first
    // folder's, nor this one's).
    const size_t window = std::max<size_t>(handleWindow(), 2);
    while (open_ > window) {
        while (lowOpen_ + 1 < frames_.size() && frames_[lowOpen_].fd < 0) ++lowOpen_;
        if (lowOpen_ + 1 >= frames_.size()) break;
        closeFrame(frames_[lowOpen_++]);
    }
}

// Takes the top frame off the stack with its entries.
void FolderWalk::pop() {
    Frame& top = frames_.back();
    closeFrame(top);
    entries_.resize(top.entriesFrom);
    names_.resize(top.namesFrom);
    frames_.pop_back();
    lowOpen_ = std::min(lowOpen_, std::max<size_t>(frames_.size(), 1));
    handFrom_ = std::min(handFrom_, frames_.size());
}

// The top folder is done: goes back to the nearest folder with entries left,
// opening it again when its handle was let go.
void FolderWalk::leave() {
    // The handle of the folder just done leads back up.
    int from = std::exchange(frames_.back().fd, -1);
    size_t fromIndex = frames_.size() - 1;
    if (from >= 0) --open_;
    pop();
    while (!frames_.empty()) {
        Frame& frame = frames_.back();
        if (frame.next == frame.end) {
            // Nothing left here either; a handle it still has is closer to
            // the folders above.
            if (frame.fd >= 0) {
                if (from >= 0) ::close(from);
                from = std::exchange(frame.fd, -1);
                fromIndex = frames_.size() - 1;
                --open_;
            }
            pop();
            continue;
        }
        if (frame.fd >= 0) break;
        const size_t index = frames_.size() - 1;
        int fd = from >= 0 ? reachFromBelow(index, from, fromIndex) : -1;
        if (fd < 0) fd = reachFromAbove(index);
        if (fd >= 0) {
            frame.fd = fd;
            ++open_;
            lowOpen_ = std::min(lowOpen_, index);
            break;
        }
        // Moved away or gone while the walk was below it: what was left of it
        // is passed over, the rest of the walk goes on.
        report(std::string_view(path_).substr(0, frame.pathLength), ENOENT);
        frame.next = frame.end;
    }
    if (from >= 0) ::close(from);
}

// The folder of frame index, reached from the handle of the deeper frame
// fromIndex through "..": never a link, and kept only when it is the folder
// that was left. -1 otherwise.
int FolderWalk::reachFromBelow(size_t index, int from, size_t fromIndex) {
    size_t ups = fromIndex - index;
    int current = from;
    while (ups > 0) {
        const size_t n = std::min(ups, kUpsPerOpen);
        std::string dots;
        for (size_t i = 0; i < n; ++i) dots += i == 0 ? ".." : "/..";
        const int next = ::openat(current, dots.c_str(), kOpenFolder);
        if (current != from) ::close(current);
        if (next < 0) return -1;
        current = next;
        ups -= n;
    }
    struct stat st;
    if (::fstat(current, &st) == 0 && FileFacts::from(st).identity == frames_[index].identity) return current;
    ::close(current);
    return -1;
}

// The folder of frame index, reached from the nearest open frame above it one
// name at a time: each folder opened without following a link and checked to
// be the one met on the way down. -1 when one of them is gone or changed.
int FolderWalk::reachFromAbove(size_t index) {
    size_t start = index;
    while (start > 0 && frames_[start].fd < 0) --start;
    int current = frames_[start].fd;
    for (size_t k = start + 1; k <= index; ++k) {
        const std::string name(nameOf(k));
        const int next = ::openat(current, name.c_str(), kOpenFolder);
        if (current != frames_[start].fd) ::close(current);
        if (next < 0) return -1;
        current = next;
        struct stat st;
        if (::fstat(current, &st) != 0 || !(FileFacts::from(st).identity == frames_[k].identity)) {
            ::close(current);
            return -1;
        }
    }
    return current == frames_[start].fd ? -1 : current;
}

// Hands the shallowest folder still to walk in an open frame to a waiting
// thread: visits it now, out of its turn, and marks it so its turn passes it
// over. False when the visitor asked to stop.
bool FolderWalk::handOut() {
    for (size_t k = handFrom_; k < frames_.size(); ++k) {
        Frame& f = frames_[k];
        size_t j = std::max(f.next, f.handFrom);
        while (j < f.end && !canHandOut(entries_[j])) ++j;
        f.handFrom = j;
        if (j == f.end) {
            if (k == handFrom_) ++handFrom_;
            continue;
        }
        if (f.fd < 0) continue;
        if (k + 1 == frames_.size() && !keepsAFolderAfter(j)) return true;
        if (f.pathLength + 1 + entries_[j].length > kLongestHandedPath) return true;
        if (!shared_->promise()) return true;
        const RawEntry raw = entries_[j];
        entries_[j].type = kHandedOut;
        f.handFrom = j + 1;
        return step(raw, k, true);
    }
    return true;
}

// Visits one entry of frame frameIndex (the top one unless handing out), and
// enters it when it is a folder to walk, or hands it to a waiting thread.
// False when the visitor asked to stop.
bool FolderWalk::step(const RawEntry& raw, size_t frameIndex, bool handingOut) {
    // A place promised for the folder is given back unless it is handed out.
    struct Promise {
        ParallelWalk* shared;
        ~Promise() {
            if (shared) shared->withdraw();
        }
    } promise{handingOut ? shared_ : nullptr};
    const Frame& frame = frames_[frameIndex];
    const int dirfd = frame.fd;
    const int depth = frame.depth;
    const size_t base = frame.pathLength;
    const char* name = names_.data() + raw.offset;
    const std::string_view nameView(name, raw.length);
    std::string& path = handingOut ? handedPath_ : path_;
    if (handingOut) path.assign(path_, 0, base);
    path.resize(base);
    path += '/';
    path.append(nameView);

    // A folder to enter is opened at once and known by its handle: the one
    // look that both tells what it is and keeps it from being swapped.
    FileFacts facts;
    bool known = false;
    int child = -1;
    int openError = 0;
    if (raw.type == DT_DIR && (options_.enterPackages || !Packages::isPackageName(nameView))) {
        child = ::openat(dirfd, name, kOpenFolder);
        if (child >= 0) {
            struct stat st;
            if (::fstat(child, &st) == 0) {
                facts = FileFacts::from(st);
                known = true;
            } else {
                ::close(child);
                child = -1;
            }
        } else {
            openError = errno;
        }
    }
    if (!known) {
        if (raw.type == DT_LNK && !linkFacts_) {
            facts.type = FileType::symlink;
        } else if (!statEntry(dirfd, name, facts)) {
            report(path, errno);
            return true;
        }
    }
    auto closeChild = [&] {
        if (child >= 0) ::close(child);
        child = -1;
    };
    if (options_.skipHidden && facts.hidden) {
        closeChild();
        return true;
    }
    const bool isDir = facts.isDirectory();
    const bool isPackage = isDir && Packages::isPackageName(nameView);
    const WalkAction action = visit(WalkEntry{path, std::string_view(path).substr(base + 1), facts, depth, isPackage, root_});
    if (action == WalkAction::stop) {
        closeChild();
        if (shared_) shared_->stop();
        return false;
    }
    // A file mounted over a name (a bind mount of one file) shows the outside
    // file there: a walk that stays on its mount reports it as it reports a
    // folder mounted inside.
    if (!isDir && mount_ && !facts.isSymlink() && mount_->crossedAt(dirfd, name, path)) {
        report(path, EXDEV);
        return true;
    }
    if (!isDir || action == WalkAction::skipSubtree || (isPackage && !options_.enterPackages)) {
        closeChild();
        return true;
    }
    if (child < 0) {
        // Refused when it was opened: that stands. Otherwise it was no folder
        // then (or was not opened): open it now, and walk it only if it is
        // still the folder that was looked at.
        if (openError != 0 && openError != ELOOP && openError != ENOTDIR && openError != ENOENT) {
            report(path, openError);
            return true;
        }
        child = ::openat(dirfd, name, kOpenFolder);
        if (child < 0) {
            report(path, errno);
            return true;
        }
        struct stat st;
        if (::fstat(child, &st) != 0 || !(FileFacts::from(st).identity == facts.identity)) {
            closeChild();
            return true;
        }
    }
    if (mount_ && mount_->crossedBy(child, path)) {
        closeChild();
        report(path, EXDEV);
        return true;
    }
    // A folder handed out goes by its path and identity, its handle closed
    // here: past the length a path can have on disk, where only chains go,
    // this thread walks on itself. A folder about to be entered is handed out
    // too when a thread waits and nothing shallower was left to give it, as
    // long as this thread has another folder of its own left.
    if (shared_) shared_->wantHelpers();
    if (handingOut || (shared_ && path.size() <= kLongestHandedPath && frameIndex + 1 == frames_.size() &&
                       keepsAFolderAfter(frames_[frameIndex].next - 1) && shared_->hungry() && shared_->promise())) {
        closeChild();
        promise.shared = nullptr;
        shared_->deliver(Task{-1, path, depth + 1, root_, mount_, facts.identity});
        return true;
    }
    if (stopRequested()) {
        closeChild();
        return false;
    }
    enter(child, facts.identity, depth + 1);
    return true;
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
    // From the start, whoever read the handle before.
    if (::lseek(fd, 0, SEEK_SET) < 0) {
        if (error) *error = errno;
        return std::nullopt;
    }
    std::vector<std::string> out;
    std::vector<char> buffer;
    const int err = readEntries(fd, buffer, [&](const char* name, size_t length, uint64_t, unsigned char) {
        out.emplace_back(name, length);
    });
    if (error) *error = err;
    if (err != 0) return std::nullopt;
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

void setHandleWindowForTesting(size_t handles) { windowForTesting.store(handles, std::memory_order_relaxed); }

}  // namespace Walker
