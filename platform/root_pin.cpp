#include "platform/root_pin.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>
#include <vector>

#include "platform/text_lines.h"

namespace RootPin {
namespace {

// Looking up entries and reading the folder's status is all a root is opened
// for; a link at any component fails the open.
int folderFlags() {
#ifdef O_PATH
    int flags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
#else
    int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
#endif
#ifdef O_NOFOLLOW_ANY
    flags |= O_NOFOLLOW_ANY;
#endif
    return flags;
}

Opened unreachable(int error) {
    Opened o;
    o.problem = Problem::unreachable;
    o.error = error;
    return o;
}

Opened unsafe(std::string folder) {
    Opened o;
    o.problem = Problem::unsafe;
    o.folder = std::move(folder);
    return o;
}

}  // namespace

bool isSafeFolder(mode_t mode, uid_t owner, std::optional<uid_t> nextOwner, uid_t invoker) {
    if (owner != 0 && owner != invoker) return false;
    if ((mode & (S_IWGRP | S_IWOTH)) == 0) return true;
    if ((mode & S_ISVTX) == 0) return false;
    return !nextOwner || *nextOwner == 0 || *nextOwner == invoker;
}

Opened open(const std::string& path, std::optional<uid_t> invoker) {
    if (path.empty() || path.front() != '/' || path.find('\0') != std::string::npos) return unreachable(EINVAL);
    std::vector<std::string_view> parts = TextLines::nonEmpty(path, '/');
    for (auto part : parts)
        if (part == "." || part == "..") return unreachable(EINVAL);

    FileHandle current(::open("/", folderFlags()));
    if (!current.valid()) return unreachable(errno);
    struct stat here{};
    if (::fstat(current.get(), &here) != 0) return unreachable(errno);
    std::string where = "/";
    for (auto part : parts) {
        const std::string name(part);
        FileHandle next(::openat(current.get(), name.c_str(), folderFlags()));
        if (!next.valid()) return unreachable(errno);
        struct stat there{};
        if (::fstat(next.get(), &there) != 0) return unreachable(errno);
        if (invoker && !isSafeFolder(here.st_mode, here.st_uid, there.st_uid, *invoker)) return unsafe(where);
        current = std::move(next);
        here = there;
        where = (where == "/" ? "" : where) + "/" + name;
    }
    if (invoker && !isSafeFolder(here.st_mode, here.st_uid, std::nullopt, *invoker)) return unsafe(where);

    Opened o;
    o.fd = std::move(current);
    o.identity = {uint64_t(here.st_dev), uint64_t(here.st_ino)};
    o.owner = here.st_uid;
    return o;
}

}  // namespace RootPin
