// The tests' own sandbox holds: a test process run as root can change nothing
// of the machine's files, and its temporary folder is new and its own.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>

#ifdef __linux__
#include <linux/magic.h>
#include <sys/vfs.h>
#endif

namespace fs = std::filesystem;

TEST(TestSandbox, NothingOutsideTheTestsOwnTemporaryFoldersCanBeChanged) {
#ifndef __linux__
    GTEST_SKIP() << "the sandbox is made on Linux only";
#else
    if (::geteuid() != 0) GTEST_SKIP() << "the sandbox is made only for tests run as root";
    // The build folder stands for every file of the machine: no file can be
    // made there. (Were the sandbox gone, the probe is removed again.)
    const fs::path probe = fs::path(VESSILTANE_BINARY_DIR) / "sandbox-probe";
    const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    const int error = errno;
    if (fd >= 0) {
        ::close(fd);
        ::unlink(probe.c_str());
    }
    EXPECT_LT(fd, 0) << "a test could write beside the build";
    EXPECT_EQ(error, EROFS);

    // The temporary folders are empty file systems of this process alone.
    for (const char* folder : {"/tmp", "/dev/shm"}) {
        struct statfs sf{};
        ASSERT_EQ(::statfs(folder, &sf), 0) << folder;
        EXPECT_EQ(sf.f_type, TMPFS_MAGIC) << folder;
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(folder, ec)) {
            // Only the way to a checkout or build made in a temporary folder.
            const std::string path = entry.path().native() + "/";
            const bool onTheWay = (std::string(VESSILTANE_SOURCE_DIR) + "/").rfind(path, 0) == 0 ||
                                  (std::string(VESSILTANE_BINARY_DIR) + "/").rfind(path, 0) == 0;
            if (!onTheWay) ADD_FAILURE() << folder << " holds " << entry.path() << " it did not make";
        }
    }
#endif
}
