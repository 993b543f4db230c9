#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include "engine/fs.h"
#include "support/test_env.h"

using namespace testing_support;
namespace fs = std::filesystem;

class FSSize : public TestEnv {};

TEST_F(FSSize, HardLinksOnceLinksZeroAndFoldersAtFlatRate) {
    fs::path folder = tmp() / "data";
    allocateFile(folder / "file.bin", 100 * 1024);
    fs::create_hard_link(folder / "file.bin", folder / "second-link.bin");
    allocateFile(tmp() / "big.bin", 8 * 1024 * 1024);
    makeSymlink(tmp() / "big.bin", folder / "link-to-big");
    makeFolders(folder / "empty1");
    makeFolders(folder / "empty2");

    int64_t file = lstatFacts(folder / "file.bin")->allocatedSize;
    ASSERT_GE(file, 100 * 1024);

    FS::SeenSet seen;
    EXPECT_EQ(FS::size(folder, seen), file + 8192);
    // The same pass again: files already counted add nothing, folders still count.
    EXPECT_EQ(FS::size(folder, seen), 8192);
    EXPECT_EQ(FS::size(folder / "second-link.bin", seen), 0);
    FS::SeenSet fresh;
    EXPECT_EQ(FS::size(folder / "second-link.bin", fresh), file);
    EXPECT_EQ(FS::size(folder / "link-to-big", fresh), 0);
}

TEST_F(FSSize, EmptyMissingAndSymlinkedFolders) {
    makeFolders(tmp() / "empty");
    makeFolders(tmp() / "real/sub");
    allocateFile(tmp() / "real/sub/f", 64 * 1024);
    makeSymlink(tmp() / "real", tmp() / "holder/link");
    FS::SeenSet seen;
    EXPECT_EQ(FS::size(tmp() / "empty", seen), 0);
    EXPECT_EQ(FS::size(tmp() / "nothing-here", seen), 0);
    // A folder reached only through a link is not walked.
    EXPECT_EQ(FS::size(tmp() / "holder", seen), 0);
    EXPECT_EQ(FS::size(tmp() / "holder/link", seen), 0);
}

TEST_F(FSSize, SparseFileMeasuresWhatItAllocated) {
    fs::path sparse = tmp() / "sparse.img";
    int fd = ::open(sparse.c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, 512 * 1024 * 1024), 0);
    ASSERT_EQ(::pwrite(fd, "x", 1, 0), 1);
    ::close(fd);
    FS::SeenSet seen;
    int64_t measured = FS::size(sparse, seen);
    EXPECT_GT(measured, 0);
    EXPECT_LT(measured, 1024 * 1024);
    EXPECT_EQ(measured, lstatFacts(sparse)->allocatedSize);
}

TEST_F(FSSize, PackageInsideFolderCountsAsOneFolder) {
    fs::path apps = tmp() / "apps";
    allocateFile(apps / "Big.app/Contents/MacOS/Big", 4 * 1024 * 1024);
    allocateFile(apps / "Big.app/Contents/Resources/data", 2 * 1024 * 1024);
    FS::SeenSet seen;
    EXPECT_EQ(FS::size(apps, seen), 4096);
    FS::SeenSet fresh;
    // Measured directly the bundle is walked in full: two files and three folders.
    EXPECT_GE(FS::size(apps / "Big.app", fresh), 6 * 1024 * 1024 + 3 * 4096);
}
