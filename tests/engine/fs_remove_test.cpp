#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/fs.h"
#include "engine/ignores.h"
#include "platform/trash.h"
#include "platform/user.h"
#include "support/test_env.h"
#include "support/unprivileged.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

ScanItem item(const fs::path& path, int64_t size) {
    ScanItem i;
    i.url = path;
    i.name = path.filename().string();
    i.size = size;
    i.safety = Safety::safe;
    return i;
}

void own(const fs::path& p, uid_t uid) { ASSERT_EQ(::lchown(p.c_str(), uid, uid), 0) << p; }

}  // namespace

class FSRemove : public TestEnv {};

TEST_F(FSRemove, ElevationIsDecidedByTheFolderAndInAStickyFolderByTheOwner) {
    EXPECT_FALSE(FS::requiresElevation(tmp() / "no/such/folder/item"));
    writeFile(home() / "Library/Caches/mine/file", "x");
    EXPECT_FALSE(FS::requiresElevation(home() / "Library/Caches/mine"));
    EXPECT_FALSE(FS::requiresElevation(home() / "Library/Caches/mine/"));

    // A shared drop folder: sticky and world-writable, as /tmp is.
    fs::path shared = tmp() / "shared";
    makeFolders(shared);
    ::chmod(shared.c_str(), 01777);
    writeFile(shared / "theirs", "t");
    own(shared / "theirs", 1000);
    writeFile(shared / "mine", "m");
    makeSymlink(shared / "theirs", shared / "my-link-to-theirs");
    makeSymlink(shared / "nowhere", shared / "my-dangling-link");
    makeSymlink(shared / "mine", shared / "their-link-to-mine");
    own(shared / "their-link-to-mine", 1000);

    User::setUidForTesting(0);
    EXPECT_TRUE(FS::requiresElevation(shared / "theirs"));
    EXPECT_FALSE(FS::requiresElevation(shared / "mine"));
    // The entry removed is the link itself: its own owner decides.
    EXPECT_FALSE(FS::requiresElevation(shared / "my-link-to-theirs"));
    EXPECT_FALSE(FS::requiresElevation(shared / "my-dangling-link"));
    EXPECT_TRUE(FS::requiresElevation(shared / "their-link-to-mine"));
    // Gone from a sticky folder: nothing says it is ours.
    EXPECT_TRUE(FS::requiresElevation(shared / "vanished"));

    fs::path rootOnly = sys("/Library/Caches/com.apple.root");
    writeFile(rootOnly / "entry", "r");
    ::chmod(rootOnly.c_str(), 0755);
    User::setUidForTesting(std::nullopt);
    writeFile(shared / "nobodys", "n");
    own(shared / "nobodys", kUnprivilegedId);
    std::string failure = inUnprivilegedChild([&]() -> std::string {
        if (!FS::requiresElevation(rootOnly / "entry")) return "a folder only root may write needs no elevation";
        if (FS::requiresElevation(shared / "nobodys")) return "an own file in a sticky folder needs elevation";
        if (!FS::requiresElevation(shared / "mine")) return "root's file in a sticky folder needs none";
        return "";
    });
    EXPECT_EQ(failure, "");
}

TEST_F(FSRemove, EveryItemInOrderNeverStoppingEarly) {
    EXPECT_EQ(FS::remove({}, false).bytes, 0);

    fs::path caches = home() / "Library/Caches";
    writeFile(caches / "com.example.one/Cache.db", "1");
    writeFile(caches / "com.example.kept/data", "k");
    writeFile(caches / "com.example.two/a/b", "2");
    ASSERT_EQ(Ignores::add((caches / "com.example.kept").native()), Ignores::Edit::changed);

    auto out = FS::remove({item(caches / "com.example.one", 100), item(caches / "com.example.kept", 1000),
                           item(caches / "com.example.gone", 10000), item(caches / "relative/../x", 5),
                           item(caches / "com.example.two", 100000)},
                          false);
    ASSERT_EQ(out.removed.size(), 2u);
    EXPECT_EQ(out.removed[0].url, caches / "com.example.one");
    EXPECT_EQ(out.removed[1].url, caches / "com.example.two");
    EXPECT_EQ(out.bytes, 100 + 10000 + 100000);
    ASSERT_EQ(out.failures.size(), 2u);
    EXPECT_EQ(out.failures[0].second, "On the ignore list");
    EXPECT_EQ(out.failures[1].second, "Invalid argument");
    EXPECT_TRUE(out.trashedTo.empty());
    EXPECT_FALSE(fs::exists(caches / "com.example.one"));
    EXPECT_FALSE(fs::exists(caches / "com.example.two"));
    EXPECT_EQ(readFile(caches / "com.example.kept/data"), "k");
}

TEST_F(FSRemove, TrashReportsWhereEachItemWent) {
    writeFile(home() / "Downloads/setup.dmg", "a");
    writeFile(home() / "Desktop/setup.dmg", "b");
    auto out = FS::remove({item(home() / "Downloads/setup.dmg", 7), item(home() / "Downloads/gone.dmg", 3),
                           item(home() / "Desktop/setup.dmg", 11)},
                          true);
    ASSERT_EQ(out.removed.size(), 2u);
    EXPECT_EQ(out.bytes, 21);
    ASSERT_EQ(out.trashedTo.size(), 2u);
    EXPECT_EQ(out.trashedTo[0], home() / ".Trash/setup.dmg");
    EXPECT_EQ(out.trashedTo[1], home() / ".Trash/setup 2.dmg");
    EXPECT_EQ(readFile(out.trashedTo[0]), "a");
    EXPECT_EQ(readFile(out.trashedTo[1]), "b");
}

TEST_F(FSRemove, OtherFailuresCarryTheSystemsDescription) {
    // A Trash that cannot take the item: a file sits where its folder would be.
    writeFile(tmp() / "not-a-folder", "");
    Trash::setFolderForTesting([&](const fs::path&) { return tmp() / "not-a-folder/.Trash"; });
    writeFile(home() / "Documents/big.iso", "iso");
    auto out = FS::remove({item(home() / "Documents/big.iso", 3)}, true);
    ASSERT_EQ(out.failures.size(), 1u);
    EXPECT_EQ(out.failures[0].second, "Not a directory");
    EXPECT_EQ(out.bytes, 0);
    EXPECT_EQ(readFile(home() / "Documents/big.iso"), "iso");
}

TEST_F(FSRemove, PermissionFailureNotExplainedByOwnershipNeedsFullDiskAccess) {
    // The user's own folder in a folder they may write, with something inside
    // they cannot remove: ownership of the parent does not explain it.
    fs::path mine = tmp() / "userhome/Library/Safari";
    writeFile(mine / "Locked/History.db", "h");
    own(tmp() / "userhome", kUnprivilegedId);
    own(tmp() / "userhome/Library", kUnprivilegedId);
    own(mine, kUnprivilegedId);
    ::chmod((mine / "Locked").c_str(), 0755);
    std::string failure = inUnprivilegedChild([&]() -> std::string {
        if (FS::requiresElevation(mine)) return "elevation expected to be false";
        auto out = FS::remove({item(mine, 1)}, false);
        if (out.failures.size() != 1) return "expected one failure";
        return out.failures[0].second == "Needs Full Disk Access" ? "" : "got: " + out.failures[0].second;
    });
    EXPECT_EQ(failure, "");
    EXPECT_EQ(readFile(mine / "Locked/History.db"), "h");
}
