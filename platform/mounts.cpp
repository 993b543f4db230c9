#include "platform/mounts.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <optional>

#include "platform/volumes.h"

#ifdef __APPLE__
#include <sys/mount.h>
#include <sys/param.h>
#endif

namespace Mounts {
namespace {

std::atomic<Source> forcedSource{Source::automatic};

#ifdef __linux__
// The id of the mount the open file lies on; nothing when the kernel does not say.
std::optional<uint64_t> mountIdOf(int fd) {
    struct statx sx{};
    if (::statx(fd, "", AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW, STATX_MNT_ID, &sx) != 0) return std::nullopt;
    if ((sx.stx_mask & STATX_MNT_ID) == 0) return std::nullopt;
    return uint64_t(sx.stx_mnt_id);
}

std::optional<uint64_t> mountIdAt(int dirfd, const char* name) {
    struct statx sx{};
    if (::statx(dirfd, name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, STATX_MNT_ID, &sx) != 0) return std::nullopt;
    if ((sx.stx_mask & STATX_MNT_ID) == 0) return std::nullopt;
    return uint64_t(sx.stx_mnt_id);
}
#endif

std::optional<uint64_t> deviceAt(int dirfd, const char* name) {
    struct stat st{};
    if (::fstatat(dirfd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return std::nullopt;
    return uint64_t(st.st_dev);
}

std::optional<uint64_t> deviceOf(int fd) {
    struct stat st{};
    if (::fstat(fd, &st) != 0) return std::nullopt;
    return uint64_t(st.st_dev);
}

}  // namespace

Boundary::Boundary(int fd, const std::string& realPath) {
    (void)realPath;
#ifdef __linux__
    if (forcedSource.load() == Source::automatic) {
        if (auto id = mountIdOf(fd)) {
            byMountId_ = true;
            mountId_ = *id;
            return;
        }
    }
    for (const auto& entry : Volumes::mountTable()) {
        mountPoints_.insert(entry.mountPoint);
        longestMountPoint_ = std::max(longestMountPoint_, entry.mountPoint.size());
    }
#endif
    device_ = deviceOf(fd).value_or(UINT64_MAX);
}

bool Boundary::needsPath(size_t realLength) const {
#ifdef __linux__
    return !byMountId_ && realLength <= longestMountPoint_;
#else
    (void)realLength;
    return false;
#endif
}

bool Boundary::crossedBy(int fd, const std::string& realPath) const {
    (void)realPath;
#ifdef __linux__
    if (byMountId_) {
        auto id = mountIdOf(fd);
        return !id || *id != mountId_;
    }
    if (mountPoints_.count(realPath)) return true;
#endif
    auto device = deviceOf(fd);
    return !device || *device != device_;
}

bool Boundary::crossedAt(int dirfd, const char* name, const std::string& realPath) const {
    (void)realPath;
#ifdef __linux__
    if (byMountId_) {
        auto id = mountIdAt(dirfd, name);
        return !id || *id != mountId_;
    }
    if (mountPoints_.count(realPath)) return true;
#endif
    auto device = deviceAt(dirfd, name);
    return !device || *device != device_;
}

bool holdsMountPoint(const std::string& realPath) {
    const std::string prefix = realPath == "/" ? "/" : realPath + "/";
#ifdef __APPLE__
    struct statfs* mounts = nullptr;
    int n = ::getmntinfo(&mounts, MNT_NOWAIT);
    for (int k = 0; k < n; ++k)
        if (std::string(mounts[k].f_mntonname).rfind(prefix, 0) == 0) return true;
#else
    for (const auto& entry : Volumes::mountTable())
        if (entry.mountPoint.size() > prefix.size() && entry.mountPoint.rfind(prefix, 0) == 0) return true;
#endif
    return false;
}

void setSourceForTesting(Source source) { forcedSource.store(source); }

}  // namespace Mounts
