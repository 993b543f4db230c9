#include "platform/remove_tree.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/folder_stack.h"
#include "platform/walker.h"

namespace RemoveTree {
namespace {

// How often an entry that keeps changing type under us is looked at again,
// and how often a folder is listed again for entries made while it is emptied.
constexpr int kAttempts = 3;

enum class Outcome { removed, gone, failed, entered, changed };

// Removes one item depth first without recursion: the folders it is inside
// are a FolderStack, and each keeps the names still to remove in it.
class Remover {
public:
    // Everything removed lies on the mount of the folder open at fd.
    Remover(int fd, const std::string& realPath) : stack_(fd, realPath, RaceSeam::Site::removal) {}

    int firstError() const { return firstError_; }
    Reach::Blocked blocked() const { return blocked_; }
    Refusal refusal() const { return refusal_; }

    // Removes the entry `name` of the base folder: the object measured, or
    // whatever it is now when nothing was.
    Outcome remove(const std::string& name, const MeasuredObject* measured) {
        Outcome outcome = removeEntry(name, measured);
        if (outcome != Outcome::entered) return outcome;
        folders_.emplace_back();
        for (;;) {
            Folder& folder = folders_.back();
            if (folder.next < folder.names.size()) {
                if (stack_.current() < 0) {
                    abandon(folder);
                    continue;
                }
                const std::string entry = std::move(folder.names[folder.next++]);
                if (removeEntry(entry) == Outcome::entered) folders_.emplace_back();
                continue;
            }
            if (listAgain(folder)) continue;
            outcome = removeEmptied();
            if (folders_.empty()) return outcome;
        }
    }

private:
    struct Folder {
        std::vector<std::string> names;  // listed, still to remove
        size_t next = 0;
        int passes = 0;                  // listings so far
        int failuresBefore = 0;          // failures counted when the last listing began
    };

    // The first failure is the one reported; a refusal of the system's is
    // looked into right away, while the entry (name in the folder open at
    // dirfd, or that folder itself for an empty name) is still as it refused.
    Outcome fail(int error, int dirfd = -1, const char* name = "") {
        if (firstError_ == 0) {
            firstError_ = error;
            if ((error == EPERM || error == EACCES) && dirfd >= 0) refusal_ = refusalAt(error, dirfd, name);
        }
        ++failures_;
        return Outcome::failed;
    }

    Outcome goneOr(int error, int dirfd, const std::string& name) {
        if (error == ENOENT) return Outcome::gone;
        return fail(error, dirfd, name.c_str());
    }

    // One entry of the current folder: a file or link is unlinked, a folder
    // is entered (and emptied from then on). With an object measured, only
    // that object: the entry is held to it on every look, so one swapped in
    // between a look and the open that follows is met on the next look.
    Outcome removeEntry(const std::string& name, const MeasuredObject* measured = nullptr) {
        for (int attempt = 0; attempt < kAttempts; ++attempt) {
            const int dirfd = stack_.current();
            if (dirfd < 0) return fail(ENOENT);
            struct stat st{};
            if (::fstatat(dirfd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return goneOr(errno, dirfd, name);
            if (measured && !measured->matches(FileFacts::from(st))) return Outcome::changed;
            if (!S_ISDIR(st.st_mode)) {
                if (::unlinkat(dirfd, name.c_str(), 0) == 0) return Outcome::removed;
                if (errno == EISDIR) continue;  // became a folder since the look
                return goneOr(errno, dirfd, name);
            }
            const FolderStack::Entry entry = stack_.enter(name, FileFacts::from(st).identity);
            switch (entry.result) {
                case FolderStack::Entered::entered: return Outcome::entered;
                case FolderStack::Entered::changed: continue;
                case FolderStack::Entered::otherMount:
                    // A mount point, a bind mount included: what it shows belongs elsewhere.
                    if (firstError_ == 0) blocked_ = Reach::Blocked::mount;
                    return fail(EXDEV);
                case FolderStack::Entered::failed:
                    if (entry.error == ENOENT) return Outcome::gone;
                    // A folder that cannot be opened can still be removed when empty.
                    if (::unlinkat(dirfd, name.c_str(), AT_REMOVEDIR) == 0) return Outcome::removed;
                    return fail(entry.error, dirfd, name.c_str());
            }
        }
        return fail(EAGAIN);
    }

    // The current folder was moved away or replaced while the removal was
    // below it: what is left of it is not the removal's to look for.
    void abandon(Folder& folder) {
        fail(ENOENT);
        folder.names.clear();
        folder.next = 0;
        folder.passes = kAttempts;
    }

    // Lists the current folder again when its last listing went without a
    // failure: entries made while it was emptied get another pass or two.
    // False when the folder is done.
    bool listAgain(Folder& folder) {
        if (folder.passes > 0 && (failures_ != folder.failuresBefore || folder.names.empty())) return false;
        if (folder.passes == kAttempts) return false;
        const int fd = stack_.current();
        if (fd < 0) {
            abandon(folder);
            return false;
        }
        int error = 0;
        auto names = Walker::names(fd, &error);
        if (!names) {
            fail(error, fd, "");
            return false;
        }
        folder.names = std::move(*names);
        folder.next = 0;
        folder.failuresBefore = failures_;
        ++folder.passes;
        return !folder.names.empty();
    }

    // The current folder is done: removes it from the folder holding it.
    Outcome removeEmptied() {
        folders_.pop_back();
        const std::string name = stack_.leave();
        const int dirfd = stack_.current();
        if (dirfd < 0) return fail(ENOENT);
        if (::unlinkat(dirfd, name.c_str(), AT_REMOVEDIR) == 0) return Outcome::removed;
        // Removed by someone else meanwhile: gone all the same.
        if (errno == ENOENT) return Outcome::removed;
        return fail(errno, dirfd, name.c_str());
    }

    FolderStack stack_;
    std::vector<Folder> folders_;  // one per folder entered, deepest last
    int firstError_ = 0;
    int failures_ = 0;
    Reach::Blocked blocked_ = Reach::Blocked::none;
    Refusal refusal_ = Refusal::unexplained;
};

}  // namespace

Result remove(const std::filesystem::path& path, const MeasuredObject* measured) {
    Reach::Parent parent = Reach::parent(path);
    if (!parent.folder.reached()) {
        const int err = parent.folder.error;
        if (parent.folder.blocked != Reach::Blocked::none) return {Status::failed, err, parent.folder.blocked};
        // No folder there: nor the item.
        if (err == ENOENT || err == ENOTDIR) return {Status::alreadyGone, 0};
        return {Status::failed, err};
    }
    if (parent.name == "." || parent.name == "..") return {Status::failed, EINVAL};
    Remover remover(parent.folder.fd.get(), parent.folder.realPath);
    switch (remover.remove(parent.name, measured)) {
        case Outcome::removed: return {Status::removed, 0};
        case Outcome::gone: return {Status::alreadyGone, 0};
        case Outcome::changed: return {Status::changed, 0};
        case Outcome::failed:
        case Outcome::entered: break;
    }
    return {Status::failed, remover.firstError(), remover.blocked(), remover.refusal()};
}

}  // namespace RemoveTree
