#include "platform/file_facts.h"

#include <fcntl.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/sysmacros.h>
#endif

#include <atomic>
#include <cerrno>
#include <mutex>

namespace {

std::atomic<bool> hiddenDecided{false};
std::mutex hiddenLock;
std::function<bool(const FileIdentity&)> hiddenDecider;

}  // namespace

namespace {

// What a test decided of the item, when one decides.
std::optional<bool> decidedByTest(const FileIdentity& id) {
    if (!hiddenDecided.load(std::memory_order_acquire)) return std::nullopt;
    std::lock_guard guard(hiddenLock);
    if (!hiddenDecider) return std::nullopt;
    return hiddenDecider(id);
}

}  // namespace

bool isMarkedHidden(const struct stat& st) {
    if (auto decided = decidedByTest(FileIdentity{uint64_t(st.st_dev), uint64_t(st.st_ino)})) return *decided;
#ifdef __APPLE__
    return (st.st_flags & UF_HIDDEN) != 0;
#else
    return false;
#endif
}

bool mayMarkHidden() {
#ifdef __APPLE__
    return true;
#else
    return hiddenDecided.load(std::memory_order_acquire);
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

#ifdef __linux__
FileFacts FileFacts::from(const struct statx& sx) {
    FileFacts f;
    const mode_t mode = sx.stx_mode;
    if (S_ISREG(mode)) f.type = FileType::regular;
    else if (S_ISDIR(mode)) f.type = FileType::directory;
    else if (S_ISLNK(mode)) f.type = FileType::symlink;
    else f.type = FileType::other;
    f.allocatedSize = int64_t(sx.stx_blocks) * 512;
    f.logicalSize = int64_t(sx.stx_size);
    // The device number as stat gives it, so identities from both compare equal.
    f.identity = FileIdentity{uint64_t(makedev(sx.stx_dev_major, sx.stx_dev_minor)), uint64_t(sx.stx_ino)};
    f.mode = mode;
    f.owner = sx.stx_uid;
    f.group = sx.stx_gid;
    f.links = sx.stx_nlink;
    f.hidden = decidedByTest(f.identity).value_or(false);
    f.modified = timespec{sx.stx_mtime.tv_sec, long(sx.stx_mtime.tv_nsec)};
    f.accessed = timespec{sx.stx_atime.tv_sec, long(sx.stx_atime.tv_nsec)};
    f.changed = timespec{sx.stx_ctime.tv_sec, long(sx.stx_ctime.tv_nsec)};
    return f;
}
#endif

MeasuredObject MeasuredObject::of(const FileFacts& facts) {
    MeasuredObject m;
    m.type = facts.type;
    m.identity = facts.identity;
    if (!facts.isDirectory()) {
        m.size = facts.logicalSize;
        m.modified = facts.modified;
    }
    return m;
}

bool MeasuredObject::matches(const FileFacts& now) const { return *this == of(now); }

bool MeasuredObject::operator==(const MeasuredObject& other) const {
    return type == other.type && identity == other.identity && size == other.size &&
           modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec;
}

std::optional<MeasuredObject> measureObject(const std::filesystem::path& path) {
    auto facts = lstatFacts(path);
    if (!facts) return std::nullopt;
    return MeasuredObject::of(*facts);
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

namespace {

// Whether the item is locked: no one may remove or rename it, and nothing in
// it may be removed or renamed either when it is a folder, whatever the
// permissions say.
struct Lock {
    bool locked = false;
    bool folder = false;
};

Lock lockAt(int dirfd, const char* name) {
    const bool itself = name[0] == '\0';
#ifdef __linux__
    struct statx sx{};
    const int flags = itself ? AT_EMPTY_PATH : AT_SYMLINK_NOFOLLOW;
    if (::statx(dirfd, name, flags, STATX_TYPE, &sx) != 0) return {};
    const uint64_t lockBits = STATX_ATTR_IMMUTABLE | STATX_ATTR_APPEND;
    return {(sx.stx_attributes & sx.stx_attributes_mask & lockBits) != 0, S_ISDIR(sx.stx_mode)};
#else
    struct stat st{};
    if ((itself ? ::fstat(dirfd, &st) : ::fstatat(dirfd, name, &st, AT_SYMLINK_NOFOLLOW)) != 0) return {};
    const auto lockBits = UF_IMMUTABLE | SF_IMMUTABLE | UF_APPEND | SF_APPEND;
    return {(st.st_flags & lockBits) != 0, S_ISDIR(st.st_mode)};
#endif
}

}  // namespace

Refusal refusalAt(int error, int dirfd, const char* name) {
    if (name == nullptr) name = "";
    const Lock entry = lockAt(dirfd, name);
    if (entry.locked) return entry.folder ? Refusal::lockedFolder : Refusal::lockedFile;
    if (name[0] != '\0' && lockAt(dirfd, "").locked) return Refusal::lockedFolder;
    // EACCES is the mode bits' answer.
    if (error == EACCES) return Refusal::permissions;
    // In a sticky folder only the owner of an entry, or of the folder, may
    // remove or rename it.
    struct stat folder{}, item{};
    const uid_t me = ::geteuid();
    if (error == EPERM && name[0] != '\0' && me != 0 && ::fstat(dirfd, &folder) == 0 &&
        (folder.st_mode & S_ISVTX) != 0 && ::fstatat(dirfd, name, &item, AT_SYMLINK_NOFOLLOW) == 0 &&
        item.st_uid != me && folder.st_uid != me)
        return Refusal::permissions;
    return Refusal::unexplained;
}

bool existsFollowingLinks(const std::filesystem::path& path) {
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0;
}

bool existsItself(const std::filesystem::path& path) {
    struct stat st{};
    return ::lstat(path.c_str(), &st) == 0;
}
