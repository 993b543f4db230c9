#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <linux/fs.h>
#include <sys/ioctl.h>
#endif

#include <cerrno>

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
    i.measured = measureObject(path);  // as the scan found it
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

// What a refusal is told as follows from what the disk shows; "Needs Full
// Disk Access" is left for the refusal nothing on the disk explains, which on
// macOS is the privacy protection's.
TEST_F(FSRemove, RefusalTextsFollowWhatTheDiskShows) {
    struct Case {
        int error;
        Reach::Blocked blocked;
        Refusal refusal;
        bool needsElevation;
        const char* text;
    } cases[] = {
        {EPERM, Reach::Blocked::none, Refusal::unexplained, false, "Needs Full Disk Access"},
        {EPERM, Reach::Blocked::none, Refusal::lockedFile, false, "Locked file"},
        {EPERM, Reach::Blocked::none, Refusal::lockedFolder, true, "Locked folder"},
        {EACCES, Reach::Blocked::none, Refusal::permissions, false, "Permission denied"},
        {EACCES, Reach::Blocked::none, Refusal::permissions, true, "Needs administrator access"},
        {EPERM, Reach::Blocked::none, Refusal::unexplained, true, "Needs administrator access"},
        // A sticky folder's rule: the system's own text.
        {EPERM, Reach::Blocked::none, Refusal::permissions, false, "Operation not permitted"},
        {ELOOP, Reach::Blocked::link, Refusal::unexplained, false, "A folder on its path is a symbolic link"},
        {ENOTDIR, Reach::Blocked::none, Refusal::unexplained, false, "Not a directory"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FS::failureText(c.error, c.blocked, c.refusal, c.needsElevation), c.text)
            << c.error << " " << int(c.refusal) << " " << c.needsElevation;
    }
}

// A folder inside the user's item that the user may not change: the mode
// bits say no, and the text says so, not that Full Disk Access is missing.
TEST_F(FSRemove, AFolderInsideTheItemTheUserMayNotChangeIsPermissionDenied) {
    fs::path mine = tmp() / "userhome/Library/Caches/com.example.cache";
    writeFile(mine / "RootsOwn/blob", "r");
    writeFile(mine / "ReadOnly/blob", "o");
    for (const auto& p : {tmp() / "userhome", tmp() / "userhome/Library", tmp() / "userhome/Library/Caches", mine,
                          mine / "ReadOnly", mine / "ReadOnly/blob"})
        own(p, kUnprivilegedId);
    ::chmod((mine / "RootsOwn").c_str(), 0755);
    ::chmod((mine / "ReadOnly").c_str(), 0555);
    std::string failure = inUnprivilegedChild([&]() -> std::string {
        if (FS::requiresElevation(mine)) return "elevation expected to be false";
        auto out = FS::remove({item(mine, 1)}, false);
        if (out.failures.size() != 1) return "expected one failure";
        return out.failures[0].second == "Permission denied" ? "" : "got: " + out.failures[0].second;
    });
    EXPECT_EQ(failure, "");
    EXPECT_EQ(readFile(mine / "RootsOwn/blob"), "r");
    EXPECT_EQ(readFile(mine / "ReadOnly/blob"), "o");
}

namespace {

// Sets or clears the immutable flag; false where the file system or the
// process cannot.
bool setImmutable(const fs::path& path, bool on) {
#ifdef __APPLE__
    struct stat st{};
    if (::lstat(path.c_str(), &st) != 0) return false;
    return ::lchflags(path.c_str(), on ? (st.st_flags | UF_IMMUTABLE) : (st.st_flags & ~UF_IMMUTABLE)) == 0;
#else
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    int flags = 0;
    bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (done) {
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return done;
#endif
}

// The flag for as long as the test runs: a file left immutable could not be
// cleaned away afterwards.
class Immutable {
public:
    explicit Immutable(fs::path path) : path_(std::move(path)), set_(setImmutable(path_, true)) {}
    ~Immutable() {
        if (set_) setImmutable(path_, false);
    }
    bool set() const { return set_; }

private:
    fs::path path_;
    bool set_;
};

}  // namespace

// A locked file inside an item, a locked item and a locked folder: deleting
// them says they are locked, whoever tries (root too), and so does moving a
// locked item to the Trash (a folder holding a locked file moves whole).
TEST_F(FSRemove, LockedFilesAndFoldersSayTheyAreLocked) {
    const fs::path caches = home() / "Library/Caches";
    writeFile(caches / "com.example.holder/inner/locked.db", "l");
    writeFile(caches / "com.example.locked.db", "l");
    writeFile(caches / "com.example.locked-folder/entry", "e");
    Immutable inner(caches / "com.example.holder/inner/locked.db");
    Immutable file(caches / "com.example.locked.db");
    Immutable folder(caches / "com.example.locked-folder");
    if (!inner.set() || !file.set() || !folder.set()) {
        GTEST_SKIP() << "this file system or process cannot lock files";
    }

    struct Case {
        fs::path item;
        const char* text;
    } cases[] = {
        {caches / "com.example.holder", "Locked file"},
        {caches / "com.example.locked.db", "Locked file"},
        {caches / "com.example.locked-folder", "Locked folder"},
    };
    for (bool toTrash : {false, true}) {
        for (const auto& c : cases) {
            if (toTrash && c.item.filename() == "com.example.holder") continue;
            auto out = FS::remove({item(c.item, 1)}, toTrash);
            ASSERT_EQ(out.failures.size(), 1u) << c.item;
            EXPECT_EQ(out.failures[0].second, c.text) << c.item << (toTrash ? " to the Trash" : " deleted");
        }
    }
    EXPECT_EQ(readFile(caches / "com.example.holder/inner/locked.db"), "l");
    EXPECT_EQ(readFile(caches / "com.example.locked.db"), "l");
    EXPECT_EQ(readFile(caches / "com.example.locked-folder/entry"), "e");
}

// A Trash folder that is a link is met like any link on the way: the road's
// own text, and the item stays.
TEST_F(FSRemove, ALinkedTrashSaysALinkStandsInTheWay) {
    writeFile(tmp() / "elsewhere/keep", "k");
    makeSymlink(tmp() / "elsewhere", home() / ".Trash");
    writeFile(home() / "Downloads/setup.dmg", "d");
    auto out = FS::remove({item(home() / "Downloads/setup.dmg", 1)}, true);
    ASSERT_EQ(out.failures.size(), 1u);
    EXPECT_EQ(out.failures[0].second, "A folder on its path is a symbolic link");
    EXPECT_EQ(readFile(home() / "Downloads/setup.dmg"), "d");
    EXPECT_EQ(fs::directory_iterator(tmp() / "elsewhere")->path().filename(), "keep");
}
