// Walks that come back up to every folder they entered, with one handle open:
// each folder let go is found again only if it is the very folder the walk
// left, whatever was moved or replaced meanwhile.
#include "platform/folder_stack.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include "support/test_env.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

FileIdentity identityOf(const fs::path& path) {
    struct stat st{};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return FileFacts::from(st).identity;
}

FileIdentity identityOf(int fd) {
    struct stat st{};
    if (::fstat(fd, &st) != 0) return {};
    return FileFacts::from(st).identity;
}

class FolderStackTest : public TestEnv {
protected:
    void SetUp() override {
        TestEnv::SetUp();
        base = tmp() / "base";
        makeFolders(base / "a/b/c/d");
        for (const char* folder : {"a", "a/b", "a/b/c", "a/b/c/d"}) ids.push_back(identityOf(base / folder));
        baseFd = ::open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ASSERT_GE(baseFd, 0);
        FolderStack::setWindowForTesting(1);
    }
    void TearDown() override {
        ::close(baseFd);
        TestEnv::TearDown();
    }

    // Enters a/b/c/d, so every folder but d has let its handle go.
    void enterAll(FolderStack& stack) {
        const char* names[] = {"a", "b", "c", "d"};
        for (size_t i = 0; i < 4; ++i) ASSERT_EQ(stack.enter(names[i], ids[i]).result, FolderStack::Entered::entered);
    }

    fs::path base;
    std::vector<FileIdentity> ids;  // a, b, c, d
    int baseFd = -1;
};

}  // namespace

TEST_F(FolderStackTest, EachFolderIsFoundAgainOnTheWayUp) {
    FolderStack stack(baseFd, base.native(), RaceSeam::Site::removal);
    enterAll(stack);
    EXPECT_EQ(stack.path(), base.native() + "/a/b/c/d");
    for (int level = 3; level >= 1; --level) {
        EXPECT_FALSE(stack.leave().empty());
        EXPECT_EQ(identityOf(stack.current()), ids[size_t(level - 1)]) << "level " << level;
    }
    EXPECT_EQ(stack.leave(), "a");
    EXPECT_EQ(stack.current(), baseFd);
}

// Each case moves folders while the walk is in d, then leaves d and c: the
// folder current then must be b itself, or nothing when b is not there.
TEST_F(FolderStackTest, AFolderMovedOrReplacedMeanwhileIsNeverTakenForTheOneLeft) {
    struct Case {
        const char* what;
        std::function<void(const fs::path& base)> change;
        bool bFound;
    };
    const Case cases[] = {
        {"nothing moved", [](const fs::path&) {}, true},
        // ".." of c now leads elsewhere: b is found again from above.
        {"c moved out of b",
         [](const fs::path& root) { fs::rename(root / "a/b/c", root / "moved-c"); }, true},
        // b moved with c: ".." of c is still b.
        {"b moved with c inside",
         [](const fs::path& root) { fs::rename(root / "a/b", root / "moved-b"); }, true},
        // c moved away and b replaced by a folder of the same name: neither
        // way up leads to b.
        {"c moved out and b replaced",
         [](const fs::path& root) {
             fs::rename(root / "a/b/c", root / "moved-c");
             fs::rename(root / "a/b", root / "old-b");
             fs::create_directory(root / "a/b");
         },
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        // The base stays: the test holds its handle.
        for (const auto& entry : fs::directory_iterator(base)) fs::remove_all(entry.path());
        makeFolders(base / "a/b/c/d");
        ids.clear();
        for (const char* folder : {"a", "a/b", "a/b/c", "a/b/c/d"}) ids.push_back(identityOf(base / folder));

        FolderStack stack(baseFd, base.native(), RaceSeam::Site::removal);
        enterAll(stack);
        c.change(base);
        EXPECT_EQ(stack.leave(), "d");
        EXPECT_EQ(identityOf(stack.current()), ids[2]);  // c, whose handle led back up
        EXPECT_EQ(stack.leave(), "c");
        const int b = stack.current();
        if (c.bFound) {
            EXPECT_EQ(identityOf(b), ids[1]);
        } else {
            EXPECT_EQ(b, -1);
        }
    }
}

TEST_F(FolderStackTest, EnteringTakesOnlyTheFolderLookedAt) {
    FolderStack stack(baseFd, base.native(), RaceSeam::Site::removal);
    writeFile(base / "file", "f");
    makeSymlink(base / "a", base / "link");
    const FileIdentity a = identityOf(base / "a");
    EXPECT_EQ(stack.enter("link", a).result, FolderStack::Entered::changed);
    EXPECT_EQ(stack.enter("file", identityOf(base / "file")).result, FolderStack::Entered::changed);
    EXPECT_EQ(stack.enter("a", identityOf(base / "file")).result, FolderStack::Entered::changed);
    FolderStack::Entry missing = stack.enter("missing", a);
    EXPECT_EQ(missing.result, FolderStack::Entered::failed);
    EXPECT_EQ(missing.error, ENOENT);
    EXPECT_EQ(stack.depth(), 0u);
    EXPECT_EQ(stack.path(), base.native());
    EXPECT_EQ(stack.enter("a", a).result, FolderStack::Entered::entered);
    EXPECT_EQ(stack.depth(), 1u);
}
