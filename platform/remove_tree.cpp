#include "platform/remove_tree.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "platform/locations.h"

namespace RemoveTree {
namespace {

// How often an entry that keeps changing type under us is looked at again.
constexpr int kAttempts = 3;

enum class Outcome { removed, gone, failed };

class Remover {
public:
    explicit Remover(dev_t device) : device_(device) {}

    int firstError() const { return firstError_; }

    // Removes one entry of the open folder, whatever it is now.
    Outcome removeEntry(int dirfd, const char* name) {
        for (int attempt = 0; attempt < kAttempts; ++attempt) {
            struct stat st{};
            if (::fstatat(dirfd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return goneOr(errno);
            if (!S_ISDIR(st.st_mode)) {
                if (::unlinkat(dirfd, name, 0) == 0) return Outcome::removed;
                if (errno == EISDIR) continue;  // became a folder since the look
                return goneOr(errno);
            }
            if (st.st_dev != device_) return fail(EXDEV);

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
            empty(fd);
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

    // The names in the open folder, read whole before anything is removed.
    bool names(int fd, std::vector<std::string>& out) {
        out.clear();
        int dupfd = ::dup(fd);
        if (dupfd < 0) return fail(errno), false;
        DIR* dir = ::fdopendir(dupfd);
        if (!dir) {
            int err = errno;
            ::close(dupfd);
            return fail(err), false;
        }
        ::rewinddir(dir);  // the handle shares its offset with earlier passes
        errno = 0;
        while (dirent* d = ::readdir(dir)) {
            const char* n = d->d_name;
            if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0))) continue;
            out.emplace_back(n);
        }
        int err = errno;
        ::closedir(dir);
        if (err != 0) return fail(err), false;
        return true;
    }

    void empty(int fd) {
        std::vector<std::string> list;
        // Entries created while the folder is emptied get another pass or two.
        for (int pass = 0; pass < kAttempts; ++pass) {
            if (!names(fd, list) || list.empty()) return;
            int before = firstError_;
            for (const auto& n : list) removeEntry(fd, n.c_str());
            if (firstError_ != before) return;
        }
    }

    dev_t device_;
    int firstError_ = 0;
};

}  // namespace

Result remove(const std::filesystem::path& path) {
    std::string p = Locations::withoutTrailingSlash(path.native());
    if (p.empty() || p.front() != '/' || p == "/" || p.find('\0') != std::string::npos) return {Status::failed, EINVAL};
    size_t slash = p.rfind('/');
    std::string parent = slash == 0 ? "/" : p.substr(0, slash);
    std::string name = p.substr(slash + 1);
    if (name == "." || name == "..") return {Status::failed, EINVAL};

    // The folders above the item are reached the ordinary way: /tmp and /var
    // are links on some systems, and so may be the home folder.
    int parentfd = ::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parentfd < 0) {
        int err = errno;
        if (err == ENOENT || err == ENOTDIR) return {Status::alreadyGone, 0};
        return {Status::failed, err};
    }
    struct stat pst{};
    if (::fstat(parentfd, &pst) != 0) {
        int err = errno;
        ::close(parentfd);
        return {Status::failed, err};
    }
    Remover remover(pst.st_dev);
    Outcome outcome = remover.removeEntry(parentfd, name.c_str());
    ::close(parentfd);
    switch (outcome) {
        case Outcome::removed: return {Status::removed, 0};
        case Outcome::gone: return {Status::alreadyGone, 0};
        case Outcome::failed: break;
    }
    return {Status::failed, remover.firstError()};
}

}  // namespace RemoveTree
