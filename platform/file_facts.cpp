#include "platform/file_facts.h"

#include <fcntl.h>

#include <atomic>
#include <mutex>

namespace {

std::atomic<bool> hiddenDecided{false};
std::mutex hiddenLock;
std::function<bool(const FileIdentity&)> hiddenDecider;

}  // namespace

bool isMarkedHidden(const struct stat& st) {
    if (hiddenDecided.load(std::memory_order_acquire)) {
        std::lock_guard guard(hiddenLock);
        if (hiddenDecider) return hiddenDecider(FileIdentity{uint64_t(st.st_dev), uint64_t(st.st_ino)});
    }
#ifdef __APPLE__
    return (st.st_flags & UF_HIDDEN) != 0;
#else
    return false;
#endif
}

void setMarkedHiddenForTesting(std::function<bool(const FileIdentity&)> decide) {
    std::lock_guard guard(hiddenLock);
    hiddenDecider = std::move(decide);
    hiddenDecided.store(bool(hiddenDecider), std::memory_order_release);
}

FileFacts FileFacts::from(const struct stat& st) {
    FileFacts f;
    if (S_ISREG(st.st_mode)) f.type = FileType::regular;
    else if (S_ISDIR(st.st_mode)) f.type = FileType::directory;
    else if (S_ISLNK(st.st_mode)) f.type = FileType::symlink;
    else f.type = FileType::other;
    f.allocatedSize = int64_t(st.st_blocks) * 512;
    f.logicalSize = int64_t(st.st_size);
    f.identity = FileIdentity{uint64_t(st.st_dev), uint64_t(st.st_ino)};
    f.mode = st.st_mode;
    f.owner = st.st_uid;
    f.group = st.st_gid;
    f.links = st.st_nlink;
    f.hidden = isMarkedHidden(st);
#ifdef __APPLE__
    f.modified = st.st_mtimespec;
    f.accessed = st.st_atimespec;
    f.changed = st.st_ctimespec;
#else
    f.modified = st.st_mtim;
    f.accessed = st.st_atim;
    f.changed = st.st_ctim;
#endif
    return f;
}

std::optional<FileFacts> lstatFacts(const std::filesystem::path& path) {
    struct stat st{};
    if (::lstat(path.c_str(), &st) != 0) return std::nullopt;
    return FileFacts::from(st);
}

std::optional<FileFacts> statFacts(const std::filesystem::path& path) {
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return FileFacts::from(st);
}

std::optional<FileFacts> factsAt(int dirfd, const char* name) {
    struct stat st{};
    if (::fstatat(dirfd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return std::nullopt;
    return FileFacts::from(st);
}

bool existsFollowingLinks(const std::filesystem::path& path) {
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0;
}

bool existsItself(const std::filesystem::path& path) {
    struct stat st{};
    return ::lstat(path.c_str(), &st) == 0;
}
