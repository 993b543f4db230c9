#include "platform/trash.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/user.h"
#include "platform/volumes.h"
#include "platform/file_facts.h"
#include "support/bind_mount.h"
#include "support/test_env.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

// A folder on another device than the test's temporary folder, removed at
// the end; empty when this machine has none to offer.
class OtherDevice {
public:
    explicit OtherDevice(const fs::path& near) {
        // /dev/shm serves when it is a file system of its own: another device
        // than the test folder's and than the /dev folder holding it.
        struct stat a{}, b{}, c{};
        if (::stat(near.c_str(), &a) != 0 || ::stat("/dev/shm", &b) != 0 || ::stat("/dev", &c) != 0 ||
            a.st_dev == b.st_dev || c.st_dev == b.st_dev)
            return;
        std::string templ = "/dev/shm/vessiltane-test-XXXXXX";
        if (::mkdtemp(templ.data())) path_ = templ;
    }
    ~OtherDevice() {
        std::error_code ec;
        if (!path_.empty()) fs::remove_all(path_, ec);
    }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

}  // namespace

class TrashTest : public TestEnv {};

TEST_F(TrashTest, HomeVolumeUsesTheHomeTrashOtherVolumesTheirOwn) {
    writeFile(tmp() / "elsewhere/file", "x");
    EXPECT_EQ(Trash::folderFor(tmp() / "elsewhere/file"), home() / ".Trash");
    EXPECT_EQ(Trash::folderFor(tmp() / "elsewhere/not-yet"), home() / ".Trash");

    OtherDevice other(tmp());
    if (other.path().empty()) GTEST_SKIP() << "no second device here";
    writeFile(other.path() / "sub/file", "x");
    User::setUidForTesting(501);
    // /dev/shm is the top of its volume; nothing is created by asking.
    EXPECT_EQ(Trash::folderFor(other.path() / "sub/file"), fs::path("/dev/shm/.Trashes/501"));
    EXPECT_FALSE(existsItself("/dev/shm/.Trashes/501"));
}

TEST_F(TrashTest, MovesIntoTheTrashWithoutEverReplacingAnEntry) {
    fs::path trash = home() / ".Trash";
    ASSERT_FALSE(existsItself(trash));
    writeFile(tmp() / "a/report.pdf", "first");
    auto first = Trash::move(tmp() / "a/report.pdf", nullptr);
    ASSERT_EQ(first.status, RemoveTree::Status::removed);
    EXPECT_EQ(first.destination, trash / "report.pdf");
    struct stat st{};
    ASSERT_EQ(::lstat(trash.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    writeFile(tmp() / "b/report.pdf", "second");
    writeFile(tmp() / "c/report.pdf", "third");
    EXPECT_EQ(Trash::move(tmp() / "b/report.pdf", nullptr).destination, trash / "report 2.pdf");
    EXPECT_EQ(Trash::move(tmp() / "c/report.pdf", nullptr).destination, trash / "report 3.pdf");
    EXPECT_EQ(readFile(trash / "report.pdf"), "first");
    EXPECT_EQ(readFile(trash / "report 2.pdf"), "second");
    EXPECT_EQ(readFile(trash / "report 3.pdf"), "third");

    // A folder whose name is taken, and a link moved as a link.
    writeFile(tmp() / "d/report.pdf/inner", "folder");
    EXPECT_EQ(Trash::move(tmp() / "d/report.pdf", nullptr).destination, trash / "report 4.pdf");
    writeFile(tmp() / "target/keep", "keep");
    makeSymlink(tmp() / "target", tmp() / "e/link");
    auto link = Trash::move(tmp() / "e/link", nullptr);
    ASSERT_EQ(link.status, RemoveTree::Status::removed);
    EXPECT_TRUE(fs::is_symlink(link.destination));
    EXPECT_EQ(readFile(tmp() / "target/keep"), "keep");

    EXPECT_EQ(Trash::move(tmp() / "a/gone", nullptr).status, RemoveTree::Status::alreadyGone);
}

TEST_F(TrashTest, ATrashThatIsALinkIsRefused) {
    makeFolders(tmp() / "decoy");
    makeSymlink(tmp() / "decoy", home() / ".Trash");
    writeFile(tmp() / "item", "x");
    auto r = Trash::move(tmp() / "item", nullptr);
    EXPECT_EQ(r.status, RemoveTree::Status::failed);
    EXPECT_EQ(readFile(tmp() / "item"), "x");
    EXPECT_TRUE(fs::is_empty(tmp() / "decoy"));
}

TEST_F(TrashTest, ACrossDeviceMoveFailsAndCopiesNothing) {
    OtherDevice other(tmp());
    if (other.path().empty()) GTEST_SKIP() << "no second device here";
    writeFile(other.path() / "big/file", "contents");
    // The other device is a volume of its own, so the item can be reached.
    Volumes::setForTesting(std::vector<fs::path>{root(), "/dev/shm"});
    Trash::setFolderForTesting([&](const fs::path&) { return home() / ".Trash"; });
    auto r = Trash::move(other.path() / "big", nullptr);
    EXPECT_EQ(r.status, RemoveTree::Status::failed);
    EXPECT_EQ(r.error, EXDEV);
    EXPECT_EQ(r.blocked, Reach::Blocked::none) << "the rename across devices failed, not the way to the item";
    EXPECT_EQ(readFile(other.path() / "big/file"), "contents");
    EXPECT_TRUE(fs::is_empty(home() / ".Trash"));
}

TEST_F(TrashTest, VariantNames) {
    struct Case {
        std::string name;
        int attempt;
        std::string expected;
    };
    const Case cases[] = {
        {"report.pdf", 1, "report.pdf"},
        {"report.pdf", 2, "report 2.pdf"},
        {"archive.tar.gz", 3, "archive.tar 3.gz"},
        {".bashrc", 2, ".bashrc 2"},
        {"Folder", 12, "Folder 12"},
        {"trailing.", 2, "trailing. 2"},
    };
    for (const auto& c : cases) EXPECT_EQ(Trash::variantName(c.name, c.attempt), c.expected) << c.name;

    // Long names stay within 255 bytes and never split a character.
    std::string longName;
    for (int i = 0; i < 127; ++i) longName += "é";  // 254 bytes
    longName += ".txt";
    std::string v = Trash::variantName(longName, 2);
    EXPECT_LE(v.size(), 255u);
    EXPECT_EQ(v.substr(v.size() - 6), " 2.txt");
    EXPECT_EQ((v.size() - 6) % 2, 0u);
}

// A mount point stays where it is mounted, and so does a folder holding one:
// the Trash never takes in what is mounted elsewhere.
TEST_F(TrashTest, MountPointsStayWhereTheyAreMounted) {
    writeFile(tmp() / "elsewhere/precious.txt", "precious");
    writeFile(home() / "Holder/own.txt", "own");
    BindMount itself(tmp() / "elsewhere", home() / "Mounted");
    REQUIRE_BIND_MOUNT(itself);
    BindMount inside(tmp() / "elsewhere", home() / "Holder/inner");
    REQUIRE_BIND_MOUNT(inside);
    for (const char* name : {"Mounted", "Holder"}) {
        SCOPED_TRACE(name);
        Trash::Moved moved = Trash::move(home() / name, nullptr);
        EXPECT_EQ(moved.status, RemoveTree::Status::failed);
        EXPECT_EQ(moved.error, EXDEV);
        EXPECT_EQ(moved.blocked, Reach::Blocked::mount);
        EXPECT_TRUE(existsItself(home() / name));
    }
    EXPECT_EQ(readFile(home() / "Mounted/precious.txt"), "precious");
    EXPECT_EQ(readFile(home() / "Holder/own.txt"), "own");
}
