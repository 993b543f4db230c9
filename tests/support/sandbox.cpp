#include "support/sandbox.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
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

std::string enterSandbox() {
#if defined(__linux__) && defined(MOUNT_ATTR_RDONLY)
    if (const char* off = std::getenv("VESSILTANE_TEST_SANDBOX"); off && std::strcmp(off, "0") == 0)
        return "turned off by VESSILTANE_TEST_SANDBOX=0";
    if (::geteuid() != 0) return "not root";
    // A mount table of this process's own; nothing done to it reaches the
    // machine's.
    if (::unshare(CLONE_NEWNS) != 0) return failed("unshare");
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return failed("making the mounts private");
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
            if (fd < 0) return failed(k.c_str());
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
#else
    return "this system has no read-only mounts of a process's own";
#endif
}

}  // namespace testing_support
