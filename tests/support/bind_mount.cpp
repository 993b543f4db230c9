#include "support/bind_mount.h"

#include <cerrno>
#include <cstring>
#include <fstream>

#ifdef __linux__
#include <sys/mount.h>
#endif

#include "platform/volumes.h"

namespace testing_support {

BindMount::BindMount(const std::filesystem::path& source, const std::filesystem::path& target)
    : source_(source), target_(target) {
#ifdef __linux__
    // A file is mounted over a file, a folder over a folder.
    std::error_code error;
    if (std::filesystem::is_directory(source, error)) {
        std::filesystem::create_directories(target);
    } else {
        std::filesystem::create_directories(target.parent_path());
        if (!std::filesystem::exists(std::filesystem::symlink_status(target))) std::ofstream(target).close();
    }
    if (::mount(source.c_str(), target.c_str(), nullptr, MS_BIND, nullptr) == 0) mounted_ = true;
    else error_ = std::strerror(errno);
#else
    (void)source;
    error_ = "this system has no bind mounts";
#endif
}

BindMount::~BindMount() {
#ifdef __linux__
    if (!mounted_) return;
    if (::umount2(target_.c_str(), MNT_DETACH) == 0) return;
    // A faulty road may have moved the folder holding the mount: find it by
    // what it shows, so no test leaves a mount behind.
    for (const auto& entry : Volumes::mountTable())
        if (entry.root == source_.native()) ::umount2(entry.mountPoint.c_str(), MNT_DETACH);
#endif
}

}  // namespace testing_support
