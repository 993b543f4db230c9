#include "platform/trash.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>

#include "platform/file_facts.h"
#include "platform/file_handle.h"
#include "platform/locations.h"
#include "platform/mounts.h"
#include "platform/reach.h"
#include "platform/rename.h"
#include "platform/user.h"
#include "platform/decimal.h"

namespace Trash {
namespace {

// A Trash holding this many variants of one name is not searched further.
constexpr int kMaxAttempts = 10000;
constexpr size_t kNameMax = 255;

std::mutex overrideLock;
std::function<std::optional<std::filesystem::path>(const std::filesystem::path&)> overrideLocate;


std::string parentOf(const std::string& p) {
    size_t slash = p.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : p.substr(0, slash);
}

// Opens the Trash folder, reached like any folder the system removes into,
// creating it (and a volume's shared .Trashes) when missing. A link in its
// place, or on the way to it, is refused: items never travel through one.
Reach::Folder openTrashFolder(const std::filesystem::path& folder) {
    Reach::Folder trash = Reach::folder(folder, Reach::Use::entries);
    if (trash.reached() || trash.error != ENOENT) return trash;
    std::filesystem::path parent = folder.parent_path();
    if (parent.filename() == ".Trashes") {
        // Shared by every user of the volume: each may add a folder of their own.
        Reach::Parent volume = Reach::parent(parent);
        if (volume.folder.reached() && ::mkdirat(volume.folder.fd.get(), volume.name.c_str(), 01333) == 0)
            ::fchmodat(volume.folder.fd.get(), volume.name.c_str(), 01333, 0);
    }
    Reach::Parent holder = Reach::parent(folder);
    if (!holder.folder.reached()) return std::move(holder.folder);
    if (::mkdirat(holder.folder.fd.get(), holder.name.c_str(), 0700) != 0 && errno != EEXIST) {
        Reach::Folder failed;
        failed.error = errno;
        return failed;
    }
    return Reach::folder(folder, Reach::Use::entries);
}

}  // namespace

std::optional<std::filesystem::path> folderFor(const std::filesystem::path& item) {
    std::string p = Locations::withoutTrailingSlash(item.native());
    std::string parent = parentOf(p);
    struct stat st{};
    if (::lstat(p.c_str(), &st) != 0 && ::stat(parent.c_str(), &st) != 0) return std::nullopt;
    const dev_t device = st.st_dev;

    struct stat home{};
    if (::stat(Locations::home().c_str(), &home) == 0 && home.st_dev == device)
        return Locations::home() / ".Trash";

    // The volume's top folder: climb the item's real folders while the device
    // stays the same.
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(parent.c_str(), nullptr), &std::free);
    if (!real) return std::nullopt;
    std::string top = real.get();
    while (top != "/") {
        std::string up = parentOf(top);
        struct stat ust{};
        if (::stat(up.c_str(), &ust) != 0 || ust.st_dev != device) break;
        top = up;
    }
    return std::filesystem::path(top) / ".Trashes" / Decimal::text(int(User::uid()));
}

std::string variantName(const std::string& name, int attempt) {
    if (attempt <= 1) return name;
    std::string stem = name;
    std::string ext;
    size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0 && dot + 1 < name.size() && name.size() - dot <= 32) {
        stem = name.substr(0, dot);
        ext = name.substr(dot);
    }
    std::string suffix = " ";
    suffix += Decimal::text(attempt);
    suffix += ext;
    if (stem.size() + suffix.size() > kNameMax) {
        size_t cut = kNameMax - suffix.size();
        // Never cut a character in two.
        while (cut > 0 && (static_cast<unsigned char>(stem[cut]) & 0xC0) == 0x80) --cut;
        stem.resize(cut);
    }
    return stem + suffix;
}

Moved move(const std::filesystem::path& item, const MeasuredObject* measured) {
    std::string p = Locations::withoutTrailingSlash(item.native());
    if (p.empty() || p.front() != '/' || p == "/") return {RemoveTree::Status::failed, EINVAL, {}};

    Reach::Parent from = Reach::parent(p);
    if (!from.folder.reached()) {
        const int err = from.folder.error;
        if (from.folder.blocked != Reach::Blocked::none) return {RemoveTree::Status::failed, err, {}, from.folder.blocked};
        if (err == ENOENT || err == ENOTDIR) return {RemoveTree::Status::alreadyGone, 0, {}};
        return {RemoveTree::Status::failed, err, {}};
    }
    const int parentfd = from.folder.fd.get();
    const std::string& name = from.name;
    if (name == "." || name == "..") return {RemoveTree::Status::failed, EINVAL, {}};

    struct stat st{};
    if (::fstatat(parentfd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT) return {RemoveTree::Status::alreadyGone, 0, {}};
        return {RemoveTree::Status::failed, errno, {}};
    }
    if (S_ISDIR(st.st_mode)) {
        // A mount point stays where it is mounted, and so does a folder
        // holding one: the Trash never takes in what is mounted elsewhere.
        FileHandle dir(::openat(parentfd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        std::string real = (from.folder.realPath == "/" ? "" : from.folder.realPath) + "/" + name;
        if ((dir.valid() && Mounts::Boundary(parentfd, from.folder.realPath).crossedBy(dir.get(), real)) ||
            Mounts::holdsMountPoint(real))
            return {RemoveTree::Status::failed, EXDEV, {}, Reach::Blocked::mount};
    }

    std::function<std::optional<std::filesystem::path>(const std::filesystem::path&)> locate;
    {
        std::lock_guard guard(overrideLock);
        locate = overrideLocate;
    }
    std::optional<std::filesystem::path> folder = locate ? locate(p) : folderFor(p);
    if (!folder) return {RemoveTree::Status::failed, ENODEV, {}};

    // A Trash folder that is a link, or lies behind one, says so like any
    // other folder on the way.
    Reach::Folder trash = openTrashFolder(*folder);
    if (!trash.reached()) return {RemoveTree::Status::failed, trash.error, {}, trash.blocked};

    // The last look before the move, on the folder's handle the move goes
    // through: an object other than the one measured stays where it is.
    if (measured) {
        if (::fstatat(parentfd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno == ENOENT) return {RemoveTree::Status::alreadyGone, 0, {}};
            return {RemoveTree::Status::failed, errno, {}};
        }
        if (!measured->matches(FileFacts::from(st))) return {RemoveTree::Status::changed, 0, {}};
    }

    Moved result{RemoveTree::Status::failed, EEXIST, {}};
    for (int attempt = 1; attempt <= kMaxAttempts; ++attempt) {
        std::string candidate = variantName(name, attempt);
        int err = Rename::exclusive(parentfd, name.c_str(), trash.fd.get(), candidate.c_str());
        if (err == 0) {
            result = {RemoveTree::Status::removed, 0, *folder / candidate};
            break;
        }
        if (err == EEXIST) continue;
        if (err == ENOENT && ::fstatat(parentfd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            result = {RemoveTree::Status::alreadyGone, 0, {}};
        else if (err == EPERM || err == EACCES)
            result = {RemoveTree::Status::failed, err, {}, Reach::Blocked::none, refusalAt(err, parentfd, name.c_str())};
        else
            result = {RemoveTree::Status::failed, err, {}};
        break;
    }
    return result;
}

void setFolderForTesting(std::function<std::optional<std::filesystem::path>(const std::filesystem::path& item)> locate) {
    std::lock_guard guard(overrideLock);
    overrideLocate = std::move(locate);
}

}  // namespace Trash
