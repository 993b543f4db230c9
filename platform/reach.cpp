#include "platform/reach.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#ifdef __linux__
#include <linux/openat2.h>
#include <sys/syscall.h>
#endif

#include <atomic>
#include <cerrno>
#include <climits>
#include <mutex>
#include <vector>

#include "platform/locations.h"
#include "platform/mounts.h"
#include "platform/race_seam.h"
#include "platform/text_lines.h"
#include "platform/volumes.h"

namespace Reach {
namespace {

std::atomic<Method> forcedMethod{Method::automatic};

std::mutex pinLock;
std::optional<std::vector<PinnedRoot>> pins;

bool rootsPinned() {
    std::lock_guard guard(pinLock);
    return pins.has_value();
}

// How often a folder that changes between the look and the open is tried again.
constexpr int kAttempts = 3;

std::vector<std::string_view> components(std::string_view path) { return TextLines::nonEmpty(path, '/'); }

bool isDotted(std::string_view path) {
    for (auto c : components(path))
        if (c == "." || c == "..") return true;
    return false;
}

// The path below a folder it lies in, without the slash: "" for the folder itself.
std::string_view below(std::string_view path, std::string_view folder) {
    if (path.size() <= folder.size()) return {};
    std::string_view rest = path.substr(folder.size());
    while (!rest.empty() && rest.front() == '/') rest.remove_prefix(1);
    return rest;
}

// A path whose components are separated by single slashes, none at the end.
std::string tidy(std::string_view path) {
    std::string out;
    for (auto c : components(path)) {
        out += '/';
        out += c;
    }
    return out.empty() ? "/" : out;
}

int openFlags(Use use) {
#ifdef O_PATH
    if (use == Use::entries) return O_PATH | O_DIRECTORY | O_CLOEXEC;
#endif
    (void)use;
    return O_RDONLY | O_DIRECTORY | O_CLOEXEC;
}

int noFollow() {
#ifdef O_NOFOLLOW_ANY
    return O_NOFOLLOW | O_NOFOLLOW_ANY;
#else
    return O_NOFOLLOW;
#endif
}

Folder failed(int error) {
    Folder f;
    f.error = error;
    if (error == ELOOP) f.blocked = Blocked::link;
    else if (error == EXDEV) f.blocked = Blocked::mount;
    return f;
}

// Each component opened on its own: never a link (looked at without following,
// then opened with O_NOFOLLOW and checked to be what was looked at), never on
// another mount than the root.
Folder componentWalk(FileHandle root, const std::string& rootReal, std::string_view rest, Use use) {
    Mounts::Boundary boundary(root.get(), rootReal);
    FileHandle current = std::move(root);
    std::string path = rootReal == "/" ? "" : rootReal;
    auto parts = components(rest);
    for (size_t i = 0; i < parts.size(); ++i) {
        const std::string name(parts[i]);
        const bool last = i + 1 == parts.size();
        FileHandle child;
        for (int attempt = 0; attempt < kAttempts && !child.valid(); ++attempt) {
            struct stat looked{};
            if (::fstatat(current.get(), name.c_str(), &looked, AT_SYMLINK_NOFOLLOW) != 0) return failed(errno);
            if (S_ISLNK(looked.st_mode)) return failed(ELOOP);
            if (!S_ISDIR(looked.st_mode)) return failed(ENOTDIR);
            RaceSeam::betweenLookAndOpen(RaceSeam::Site::componentWalk, current.get(), name);
            int fd = ::openat(current.get(), name.c_str(), openFlags(last ? use : Use::entries) | noFollow());
            if (fd < 0) {
                // Swapped for a link or a file since the look: look again.
                if (errno == ELOOP || errno == ENOTDIR) continue;
                return failed(errno);
            }
            FileHandle opened(fd);
            struct stat st{};
            if (::fstat(fd, &st) != 0) return failed(errno);
            if (st.st_dev == looked.st_dev && st.st_ino == looked.st_ino) child = std::move(opened);
        }
        if (!child.valid()) return failed(EAGAIN);
        path += '/';
        path += name;
        if (boundary.crossedBy(child.get(), path)) return failed(EXDEV);
        current = std::move(child);
    }
    if (parts.empty() && use == Use::listing) {
        // The root itself, for listing: opened again through the handle, not
        // by its path, which may lead elsewhere by now.
        FileHandle listing(::openat(current.get(), ".", openFlags(use)));
        if (!listing.valid()) return failed(errno);
        current = std::move(listing);
    }
    Folder f;
    f.fd = std::move(current);
    f.realPath = path.empty() ? "/" : path;
    return f;
}

#ifdef __linux__
// The kernel's own walk. Nothing when it is not available here (an old kernel,
// or a sandbox that forbids the call), so the caller walks by itself.
std::optional<Folder> kernelWalk(int root, const std::string& rootReal, std::string_view rest, Use use) {
    if (rest.empty()) return std::nullopt;
    struct open_how how{};
    how.flags = uint64_t(openFlags(use));
    how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_NO_XDEV | RESOLVE_BENEATH;
    const std::string relative(rest);
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        long fd = ::syscall(SYS_openat2, root, relative.c_str(), &how, sizeof how);
        if (fd >= 0) {
            Folder f;
            f.fd.reset(int(fd));
            f.realPath = (rootReal == "/" ? "" : rootReal) + "/" + relative;
            return f;
        }
        // A rename elsewhere on the system made the kernel give up: try again.
        if (errno == EAGAIN) continue;
        // No such call here (an old kernel, or a sandbox that refuses it).
        if (errno == ENOSYS || errno == EPERM || errno == E2BIG) return std::nullopt;
        return failed(errno);
    }
    return failed(EAGAIN);
}
#endif

// The pinned root a path lies in (the longest), opened anew from the handle
// held, with its real path; nothing when it lies in none.
struct Held {
    FileHandle fd;
    std::string realPath;
};
std::optional<Held> pinnedRootOf(std::string_view path) {
    std::lock_guard guard(pinLock);
    if (!pins) return std::nullopt;
    const PinnedRoot* best = nullptr;
    for (const auto& pin : *pins)
        if (Locations::isWithin(path, pin.realPath) && (!best || pin.realPath.size() > best->realPath.size()))
            best = &pin;
    if (!best) return std::nullopt;
    return Held{FileHandle(::fcntl(best->fd.get(), F_DUPFD_CLOEXEC, 0)), best->realPath};
}

Folder walkFrom(FileHandle root, const std::string& rootReal, std::string_view rest, Use use) {
    if (!root.valid()) return failed(errno);
#ifdef __linux__
    if (forcedMethod.load() == Method::automatic)
        if (auto f = kernelWalk(root.get(), rootReal, rest, use)) return std::move(*f);
#endif
    return componentWalk(std::move(root), rootReal, rest, use);
}

Folder walkFrom(const std::string& rootReal, std::string_view rest, Use use) {
    // The root may have been swapped for a link since its real path was
    // looked up: it is opened without following one.
    RaceSeam::betweenLookAndOpen(RaceSeam::Site::locationRoot, AT_FDCWD, rootReal);
    return walkFrom(FileHandle(::open(rootReal.c_str(), openFlags(Use::entries) | noFollow())), rootReal, rest, use);
}

// The mounted volume a path lies in below the given root: the place where a
// walk that met a mount may start again, since a volume is a location of its own.
std::optional<std::string> volumeBelow(const std::string& rootReal, const std::string& full) {
    std::optional<std::string> best;
    for (const auto& volume : Volumes::mounted()) {
        auto real = Locations::realPath(volume.native());
        if (!real || real->size() <= rootReal.size() || !Locations::isWithin(*real, rootReal) ||
            !Locations::isWithin(full, *real))
            continue;
        if (!best || real->size() > best->size()) best = *real;
    }
    return best;
}

}  // namespace

std::optional<Root> rootOf(std::string_view rawPath) {
    if (rawPath.empty() || rawPath.front() != '/' || rawPath.find('\0') != std::string_view::npos) return std::nullopt;
    if (isDotted(rawPath)) return std::nullopt;
    const std::string path = tidy(rawPath);
    auto parts = components(path);
    // "/" is read like any other root (the whole disk is mapped from it);
    // parent() still never takes it as an item.
    if (parts.empty()) return Root{"/", "/"};

    std::vector<std::string> candidates;
    std::string first = "/";
    first.append(parts.front());
    candidates.push_back(std::move(first));
    std::string home = Locations::home().native();
    if (!home.empty() && home.front() == '/' && !isDotted(home)) {
        home = tidy(home);
        if (home != "/") candidates.push_back(home);
    }
    const std::string system = Locations::root();
    if (!system.empty() && system.front() == '/' && !isDotted(system)) {
        const std::string top = tidy(system);
        if (Locations::isWithin(path, top)) {
            auto inside = components(below(path, top));
            candidates.push_back(inside.empty() ? top : top + "/" + std::string(inside.front()));
        }
    }
    std::string given;
    for (const auto& c : candidates)
        if (Locations::isWithin(path, c) && c.size() > given.size()) given = c;
    auto real = Locations::realPath(given);
    if (!real) return std::nullopt;
    return Root{given, *real};
}

Folder folder(const std::filesystem::path& p, Use use) {
    const std::string& raw = p.native();
    if (raw.empty() || raw.front() != '/' || raw.find('\0') != std::string::npos || isDotted(raw)) return failed(EINVAL);
    const std::string path = tidy(raw);
    if (rootsPinned()) {
        // From the root held, and from nothing else: not from the path it was
        // pinned by, nor from a volume below it.
        auto held = pinnedRootOf(path);
        if (!held) return failed(EPERM);
        return walkFrom(std::move(held->fd), held->realPath, below(path, held->realPath), use);
    }
    auto root = rootOf(raw);
    if (!root) return failed(errno == 0 ? ENOENT : errno);
    Folder f = walkFrom(root->real, below(path, root->given), use);
    if (f.blocked != Blocked::mount) return f;
    // Met a mount: a volume of its own is a root too.
    const std::string rest(below(path, root->given));
    const std::string full = (root->real == "/" ? "" : root->real) + "/" + rest;
    if (auto volume = volumeBelow(root->real, full)) return walkFrom(*volume, below(full, *volume), use);
    return f;
}

Parent parent(const std::filesystem::path& p) {
    Parent out;
    std::string path = Locations::withoutTrailingSlash(p.native());
    if (path.empty() || path.front() != '/' || path.find('\0') != std::string::npos || isDotted(path)) {
        out.folder = failed(EINVAL);
        return out;
    }
    path = tidy(path);
    auto root = rootOf(path);
    if (path == "/" || (root && root->given == path)) {
        out.folder = failed(EPERM);
        out.folder.blocked = Blocked::locationRoot;
        return out;
    }
    const size_t slash = path.rfind('/');
    out.name = path.substr(slash + 1);
    out.folder = folder(slash == 0 ? "/" : path.substr(0, slash), Use::entries);
    return out;
}

std::optional<Start> startOf(std::string_view rawPath) {
    auto root = rootOf(rawPath);
    if (!root) return std::nullopt;
    const std::string path = tidy(rawPath);
    const std::string rest(below(path, root->given));
    const std::string full = rest.empty() ? root->real : (root->real == "/" ? "" : root->real) + "/" + rest;
    if (auto volume = volumeBelow(root->real, full)) return Start{*volume, full};
    return Start{root->real, full};
}

void pinRoots(std::vector<PinnedRoot> roots) {
    std::lock_guard guard(pinLock);
    pins = std::move(roots);
}

void unpinRoots() {
    std::lock_guard guard(pinLock);
    pins.reset();
}

void setMethodForTesting(Method method) { forcedMethod.store(method); }

}  // namespace Reach
