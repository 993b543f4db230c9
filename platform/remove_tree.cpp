#include "platform/remove_tree.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/mounts.h"
#include "platform/walker.h"

namespace RemoveTree {
namespace {

// How often an entry that keeps changing type under us is looked at again.
constexpr int kAttempts = 3;

enum class Outcome { removed, gone, failed };

class Remover {
public:
    // Everything removed lies on the mount of the folder open at fd.
    Remover(int fd, const std::string& realPath) : boundary_(fd, realPath) {}

    int firstError() const { return firstError_; }
    Reach::Blocked blocked() const { return blocked_; }

    // Removes one entry of the open folder (whose real path is folderPath),
    // whatever it is now.
    Outcome removeEntry(int dirfd, const std::string& folderPath, const char* name) {
        const std::string path = (folderPath == "/" ? "" : folderPath) + "/" + name;
        for (int attempt = 0; attempt < kAttempts; ++attempt) {
            struct stat st{};
            if (::fstatat(dirfd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return goneOr(errno);
            if (!S_ISDIR(st.st_mode)) {
                if (::unlinkat(dirfd, name, 0) == 0) return Outcome::removed;
                if (errno == EISDIR) continue;  // became a folder since the look
                return goneOr(errno);
            }

            int fd = ::openat(dirfd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (fd < 0) {
                int err = errno;
                // Swapped for a link or a file since the look: look again.
                if (err == ELOOP || err == ENOTDIR) continue;
                if (err == ENOENT) return Outcome::gone;
                // A folder that cannot be opened can still be removed when empty.
                if (::unlinkat(dirfd, name, AT_REMOVEDIR) == 0) return Outcome::removed;
                return fail(err);
            }
            struct stat opened{};
            if (::fstat(fd, &opened) != 0 || opened.st_ino != st.st_ino || opened.st_dev != st.st_dev) {
                ::close(fd);
                continue;  // another folder took its place
            }
            // A mount point, a bind mount included: what it shows belongs elsewhere.
            if (boundary_.crossedBy(fd, path)) {
                ::close(fd);
                if (firstError_ == 0) blocked_ = Reach::Blocked::mount;
                return fail(EXDEV);
            }
            empty(fd, path);
            ::close(fd);
            if (::unlinkat(dirfd, name, AT_REMOVEDIR) == 0) return Outcome::removed;
            // Removed by someone else meanwhile: gone all the same.
            if (errno == ENOENT) return Outcome::removed;
            return fail(errno);
        }
        return fail(EAGAIN);
    }

private:
    Outcome fail(int error) {
        if (firstError_ == 0) firstError_ = error;
        return Outcome::failed;
    }

    Outcome goneOr(int error) {
        if (error == ENOENT) return Outcome::gone;
        return fail(error);
    }

    void empty(int fd, const std::string& path) {
        // Entries created while the folder is emptied get another pass or two.
        for (int pass = 0; pass < kAttempts; ++pass) {
            int error = 0;
            auto list = Walker::names(fd, &error);
            if (!list) {
                fail(error);
                return;
            }
            if (list->empty()) return;
            int before = firstError_;
            for (const auto& n : *list) removeEntry(fd, path, n.c_str());
            if (firstError_ != before) return;
        }
    }

    Mounts::Boundary boundary_;
    int firstError_ = 0;
    Reach::Blocked blocked_ = Reach::Blocked::none;
};

}  // namespace

Result remove(const std::filesystem::path& path) {
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
    switch (remover.removeEntry(parent.folder.fd.get(), parent.folder.realPath, parent.name.c_str())) {
        case Outcome::removed: return {Status::removed, 0};
        case Outcome::gone: return {Status::alreadyGone, 0};
        case Outcome::failed: break;
    }
    return {Status::failed, remover.firstError(), remover.blocked()};
}

}  // namespace RemoveTree
