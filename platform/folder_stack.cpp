#include "platform/folder_stack.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>

namespace {

constexpr int kOpenFolder = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
// Enough that a tree of ordinary depth never lets a handle go, few enough
// that every thread of the program may hold a stack at once.
constexpr size_t kWindow = 32;

std::atomic<size_t> windowForTesting{0};

size_t window() {
    const size_t forced = windowForTesting.load(std::memory_order_relaxed);
    return std::max<size_t>(forced ? forced : kWindow, 1);
}

bool isFolder(int fd, const FileIdentity& identity) {
    struct stat st{};
    return ::fstat(fd, &st) == 0 && FileFacts::from(st).identity == identity;
}

}  // namespace

FolderStack::FolderStack(int base, const std::string& realPath, RaceSeam::Site site)
    : base_(base),
      baseLength_(realPath == "/" ? 0 : realPath.size()),
      site_(site),
      boundary_(base, realPath),
      path_(realPath == "/" ? std::string() : realPath) {}

FolderStack::~FolderStack() {
    for (auto& frame : frames_)
        if (frame.fd >= 0) ::close(frame.fd);
}

bool FolderStack::onOtherMount(int fd, const std::string& name) const {
    const size_t length = path_.size() + 1 + name.size();
    return boundary_.crossedBy(fd, boundary_.needsPath(length) ? path_ + "/" + name : std::string());
}

void FolderStack::setWindowForTesting(size_t handles) { windowForTesting.store(handles, std::memory_order_relaxed); }

std::string_view FolderStack::nameOf(size_t index) const {
    const size_t from = (index == 0 ? baseLength_ : frames_[index - 1].pathLength) + 1;
    return std::string_view(path_).substr(from, frames_[index].pathLength - from);
}

FolderStack::Entry FolderStack::enter(const std::string& name, const FileIdentity& looked) {
    const int dirfd = current();
    if (dirfd < 0) return {Entered::failed, ENOENT};
    RaceSeam::betweenLookAndOpen(site_, dirfd, name);
    const int fd = ::openat(dirfd, name.c_str(), kOpenFolder);
    if (fd < 0) {
        const int error = errno;
        // Swapped for a link or a file since the look.
        if (error == ELOOP || error == ENOTDIR) return {Entered::changed, 0};
        return {Entered::failed, error};
    }
    struct stat st{};
    if (::fstat(fd, &st) != 0) {
        const int error = errno;
        ::close(fd);
        return {Entered::failed, error};
    }
    const FileIdentity identity = FileFacts::from(st).identity;
    if (!(identity == looked)) {
        // Another folder took its place since the look.
        ::close(fd);
        return {Entered::changed, 0};
    }
    const size_t before = path_.size();
    path_ += '/';
    path_ += name;
    if (boundary_.crossedBy(fd, path_)) {
        ::close(fd);
        path_.resize(before);
        return {Entered::otherMount, EXDEV};
    }
    frames_.push_back(Frame{fd, identity, path_.size()});
    ++open_;
    letGoBeyondWindow();
    return {Entered::entered, 0};
}

// The highest open handles go first: the walk needs them last.
void FolderStack::letGoBeyondWindow() {
    const size_t top = frames_.size() - 1;
    while (open_ > window()) {
        while (lowestOpen_ < top && frames_[lowestOpen_].fd < 0) ++lowestOpen_;
        if (lowestOpen_ >= top) break;
        ::close(frames_[lowestOpen_].fd);
        frames_[lowestOpen_].fd = -1;
        --open_;
    }
}

std::string FolderStack::leave() {
    if (frames_.empty()) return {};
    const size_t top = frames_.size() - 1;
    std::string name(nameOf(top));
    Frame& left = frames_[top];
    // The handle of the folder left leads back up, if the folder above was let go.
    if (top > 0 && frames_[top - 1].fd < 0 && left.fd >= 0) {
        const int fd = reachFromBelow(top - 1, left.fd);
        if (fd >= 0) {
            frames_[top - 1].fd = fd;
            ++open_;
            lowestOpen_ = std::min(lowestOpen_, top - 1);
        }
    }
    if (left.fd >= 0) {
        ::close(left.fd);
        --open_;
    }
    path_.resize(top == 0 ? baseLength_ : frames_[top - 1].pathLength);
    frames_.pop_back();
    lowestOpen_ = std::min(lowestOpen_, frames_.size());
    return name;
}

int FolderStack::current() {
    if (frames_.empty()) return base_;
    Frame& top = frames_.back();
    if (top.fd >= 0) return top.fd;
    const size_t index = frames_.size() - 1;
    const int fd = reachFromAbove(index);
    if (fd < 0) return -1;
    top.fd = fd;
    ++open_;
    lowestOpen_ = std::min(lowestOpen_, index);
    return fd;
}

// The folder of frame index through ".." from the folder below it: kept only
// when it is the folder that was left (the one below may have been moved).
int FolderStack::reachFromBelow(size_t index, int from) const {
    const int fd = ::openat(from, "..", kOpenFolder);
    if (fd < 0) return -1;
    if (isFolder(fd, frames_[index].identity)) return fd;
    ::close(fd);
    return -1;
}

// The folder of frame index, one name at a time from the nearest open folder
// above it: each opened without following a link and checked to be the one
// met on the way down. -1 when one of them is gone or another folder now.
int FolderStack::reachFromAbove(size_t index) {
    size_t start = index;
    while (start > 0 && frames_[start - 1].fd < 0) --start;
    int current = start == 0 ? base_ : frames_[start - 1].fd;
    const int from = current;
    for (size_t k = start; k <= index; ++k) {
        const std::string name(nameOf(k));
        const int next = ::openat(current, name.c_str(), kOpenFolder);
        if (current != from) ::close(current);
        if (next < 0) return -1;
        current = next;
        if (!isFolder(current, frames_[k].identity)) {
            ::close(current);
            return -1;
        }
    }
    return current;
}
