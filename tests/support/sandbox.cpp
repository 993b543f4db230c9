#include "support/sandbox.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

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
    if (!mountScratch(temporary.c_str())) return failed("a scratch temporary folder");
    for (const char* other : {"/tmp", "/var/tmp", "/dev/shm"}) {
        if (std::filesystem::path(other) == temporary) continue;
        if (std::filesystem::is_directory(other, ec) && !mountScratch(other)) return failed(other);
    }
    return "";
#else
    return "this system has no read-only mounts of a process's own";
#endif
}

}  // namespace testing_support
