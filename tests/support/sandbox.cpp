#include "support/sandbox.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#ifdef __linux__
#include <sched.h>
#include <sys/mount.h>
#endif

namespace testing_support {

namespace {

#if defined(__linux__) && defined(MOUNT_ATTR_RDONLY)

std::string failed(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

// A fresh, empty file system at path, writable by every user as /tmp is.
bool mountScratch(const char* path) {
    return ::mount("vessiltane-test-scratch", path, "tmpfs", MS_NOSUID | MS_NODEV, "mode=1777") == 0;
}

#endif

}  // namespace

namespace {

SandboxOutcome outcome;

std::string settle(SandboxOutcome::State state, std::string reason) {
    outcome.state = state;
    outcome.reason = reason;
    return reason;
}

#if defined(__linux__) && defined(MOUNT_ATTR_RDONLY)

// The steps after the process has a mount table of its own; empty when all
// of them worked.
std::string makeSandbox(bool& rootNoMountPoint) {
    // Mounts made here must never reach the machine's. Where the root is no
    // mount point (a chroot) this fails with EINVAL, and binding the root onto
    // itself would not help: that mount would itself be passed on to the
    // machine's table through the folder's own mount, and stay there.
    const bool refused = [] {
        const char* seam = std::getenv(kRefusePrivateMountsVariable);
        return seam && std::strcmp(seam, "1") == 0;
    }();
    if (refused || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        if (refused) errno = EINVAL;
        rootNoMountPoint = errno == EINVAL;
        return failed(rootNoMountPoint ? "making the mounts private (the root is no mount point)"
                                       : "making the mounts private");
    }
    // Every file system read-only, however a faulty removal gets there
    // (device files are written all the same)...
    mount_attr readOnly{};
    readOnly.attr_set = MOUNT_ATTR_RDONLY;
    if (::mount_setattr(AT_FDCWD, "/", AT_RECURSIVE, &readOnly, sizeof readOnly) != 0)
        return failed("making the file systems read-only");
    // ...and the temporary folders, each a new empty one that goes with this
    // process: the tests' homes and roots are made there, and a removal that
    // escapes its fixture finds only this process's own files.
    std::error_code ec;
    const std::filesystem::path temporary = std::filesystem::temp_directory_path(ec);
    if (ec) return "no temporary folder: " + ec.message();
    std::vector<std::string> scratch;
    for (const std::string& folder : {temporary.lexically_normal().native(), std::string("/tmp"),
                                     std::string("/var/tmp"), std::string("/dev/shm")}) {
        std::string f = folder;
        while (f.size() > 1 && f.back() == '/') f.pop_back();
        if (f == "/") return "the temporary folder is the whole disk";
        if (std::find(scratch.begin(), scratch.end(), f) == scratch.end() && std::filesystem::is_directory(f, ec))
            scratch.push_back(f);
    }
    // Outer folders first, so one inside another is mounted on the new one.
    std::sort(scratch.begin(), scratch.end(), [](const std::string& a, const std::string& b) { return a.size() < b.size(); });
    for (const std::string& folder : scratch) {
        // A checkout or build inside a temporary folder stays in sight, read-only.
        std::vector<std::pair<std::string, int>> kept;
        for (const char* keep : {VESSILTANE_SOURCE_DIR, VESSILTANE_BINARY_DIR}) {
            const std::string k = std::filesystem::path(keep).lexically_normal().native();
            if (k.rfind(folder + "/", 0) != 0) continue;
            const int fd = ::open(k.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
            if (fd < 0) {
                for (const auto& held : kept) ::close(held.second);
                return failed(k.c_str());
            }
            kept.emplace_back(k, fd);
        }
        std::filesystem::create_directories(folder, ec);
        const bool mounted = mountScratch(folder.c_str());
        std::string error = mounted ? "" : failed(folder.c_str());
        for (const auto& [path, fd] : kept) {
            if (error.empty()) {
                std::filesystem::create_directories(path, ec);
                const std::string from = "/proc/self/fd/" + std::to_string(fd);
                if (::mount(from.c_str(), path.c_str(), nullptr, MS_BIND | MS_REC, nullptr) != 0)
                    error = failed(path.c_str());
            }
            ::close(fd);
        }
        if (!error.empty()) return error;
    }
    return "";
}

#endif

}  // namespace

const SandboxOutcome& sandboxOutcome() { return outcome; }

std::string enterSandbox() {
    using State = SandboxOutcome::State;
#if defined(__linux__) && defined(MOUNT_ATTR_RDONLY)
    if (const char* off = std::getenv("VESSILTANE_TEST_SANDBOX"); off && std::strcmp(off, "0") == 0)
        return settle(State::off, "turned off by VESSILTANE_TEST_SANDBOX=0");
    if (::geteuid() != 0) return settle(State::off, "not root");
    // The way back, should a step fail: the tests then run in the machine's
    // own namespace as they would without a sandbox, never in half of one.
    // Going back puts the process at that namespace's root, which in a chroot
    // is not the process's own: its root and working folder are held too.
    std::error_code ec;
    outcome.startedIn = std::filesystem::read_symlink("/proc/self/ns/mnt", ec).native();
    const int machine = ::open("/proc/self/ns/mnt", O_RDONLY | O_CLOEXEC);
    const int root = ::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
    const int here = ::open(".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    auto closeHeld = [&] {
        for (int fd : {machine, root, here})
            if (fd >= 0) ::close(fd);
    };
    if (machine < 0 || root < 0 || here < 0) {
        const std::string why = failed("no way back to this mount namespace");
        closeHeld();
        return settle(State::unavailable, why);
    }
    // A mount table of this process's own; nothing done to it reaches the
    // machine's.
    if (::unshare(CLONE_NEWNS) != 0) {
        const std::string why = failed("unshare");
        closeHeld();
        return settle(State::failed, why);
    }
    bool rootNoMountPoint = false;
    const std::string error = makeSandbox(rootNoMountPoint);
    if (error.empty()) {
        closeHeld();
        return settle(State::entered, "");
    }
    const bool back = ::setns(machine, CLONE_NEWNS) == 0 && ::fchdir(root) == 0 && ::chroot(".") == 0 &&
                      ::fchdir(here) == 0;
    const int backError = errno;
    closeHeld();
    if (!back) {
        // Half a sandbox, or a root that is not the process's own, is worse
        // than none: nothing can be trusted of it.
        std::fprintf(stderr, "cannot leave a half-made test sandbox (%s): %s\n", error.c_str(),
                     std::strerror(backError));
        std::_Exit(2);
    }
    return settle(rootNoMountPoint ? State::unavailable : State::failed, error);
#else
    return settle(State::off, "this system has no read-only mounts of a process's own");
#endif
}

}  // namespace testing_support
