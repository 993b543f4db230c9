// The tests' own sandbox holds: a test process run as root can change nothing
// of the machine's files, and its temporary folder is new and its own; where
// the system cannot have the sandbox, the tests run without one, never in half
// of one.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "engine/admin.h"
#include "support/sandbox.h"

#ifdef __linux__
#include <linux/magic.h>
#include <sys/vfs.h>
#endif

namespace fs = std::filesystem;
using testing_support::SandboxOutcome;

TEST(TestSandbox, NothingOutsideTheTestsOwnTemporaryFoldersCanBeChanged) {
#ifndef __linux__
    GTEST_SKIP() << "the sandbox is made on Linux only";
#else
    if (::geteuid() != 0) GTEST_SKIP() << "the sandbox is made only for tests run as root";
    const SandboxOutcome& sandbox = testing_support::sandboxOutcome();
    if (sandbox.state == SandboxOutcome::State::off) GTEST_SKIP() << "the sandbox is " << sandbox.reason;
    if (sandbox.state == SandboxOutcome::State::unavailable) {
        // Not half of one: the process is back in the mount namespace it
        // started in, and still knows where it is.
        // (Without /proc there was no way back, and nothing was tried.)
        std::error_code ec;
        if (!sandbox.startedIn.empty()) {
            EXPECT_EQ(fs::read_symlink("/proc/self/ns/mnt", ec).native(), sandbox.startedIn);
            EXPECT_TRUE(fs::exists(fs::read_symlink("/proc/self/exe", ec)));
        }
        EXPECT_TRUE(fs::exists(VESSILTANE_BINARY_DIR));
        GTEST_SKIP() << "the sandbox cannot be made here: " << sandbox.reason;
    }
    ASSERT_EQ(sandbox.state, SandboxOutcome::State::entered) << sandbox.reason;
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

// Where the mounts cannot be made private (the root is no mount point, as in
// a chroot), the test program goes back to the namespace it started in and
// its sandbox test says it is skipped, and why.
TEST(TestSandbox, WhereTheMountsCannotBeMadePrivateTheTestsRunWithoutASandbox) {
#ifndef __linux__
    GTEST_SKIP() << "the sandbox is made on Linux only";
#else
    if (::geteuid() != 0) GTEST_SKIP() << "the sandbox is made only for tests run as root";
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    ASSERT_FALSE(ec) << ec.message();
    Admin::Result run = Admin::run(std::string(testing_support::kRefusePrivateMountsVariable) + "=1 " +
                                   Admin::quote(self.native()) +
                                   " --gtest_filter=TestSandbox.NothingOutsideTheTestsOwnTemporaryFoldersCanBeChanged"
                                   " 2>&1");
    EXPECT_TRUE(run.ok) << run.output;
    const std::string reason = "making the mounts private (the root is no mount point): Invalid argument";
    EXPECT_NE(run.output.find("note: the tests run without a sandbox (" + reason + ")"), std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("the sandbox cannot be made here: " + reason), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("[  SKIPPED ] TestSandbox.NothingOutsideTheTestsOwnTemporaryFoldersCanBeChanged"),
              std::string::npos)
        << run.output;
    EXPECT_EQ(run.output.find("[  FAILED  ]"), std::string::npos) << run.output;
#endif
}
