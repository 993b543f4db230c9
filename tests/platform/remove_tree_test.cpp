#include "platform/remove_tree.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include "platform/file_facts.h"
#include "platform/folder_stack.h"
#include "platform/mounts.h"
#include "platform/race_seam.h"
#include "platform/reach.h"
#include "platform/volumes.h"
#include "support/bind_mount.h"
#include "support/deep_tree.h"
#include "support/test_env.h"
#include "support/unprivileged.h"

using namespace testing_support;
namespace fs = std::filesystem;

class RemoveTreeTest : public TestEnv {};

TEST_F(RemoveTreeTest, RemovesEachKindOfItemAndNeverFollowsLinks) {
    fs::path outside = tmp() / "outside";
    writeFile(outside / "keep.txt", "keep");
    fs::path area = tmp() / "area";

    writeFile(area / "file.txt", "f");
    makeFolders(area / "empty");
    writeFile(area / "tree/.hidden/x", "x");
    writeFile(area / "tree/a/b/c/d.bin", "d");
    makeSymlink(outside, area / "tree/a/link-to-folder");
    makeSymlink(outside / "keep.txt", area / "tree/link-to-file");
    fs::create_hard_link(outside / "keep.txt", area / "tree/hard");
    makeSymlink(outside, area / "link");
    makeSymlink(area / "nowhere", area / "dangling");
    ::mkfifo((area / "fifo").c_str(), 0600);

    for (const char* name : {"file.txt", "empty", "tree", "link", "dangling", "fifo"}) {
        SCOPED_TRACE(name);
        auto r = RemoveTree::remove(area / name, nullptr);
        EXPECT_EQ(r.status, RemoveTree::Status::removed);
        EXPECT_EQ(r.error, 0);
        EXPECT_FALSE(existsItself(area / name));
    }
    EXPECT_TRUE(fs::is_empty(area));
    EXPECT_EQ(readFile(outside / "keep.txt"), "keep");
}

TEST_F(RemoveTreeTest, TrailingSlashOnALinkStillRemovesOnlyTheLink) {
    fs::path outside = tmp() / "outside";
    writeFile(outside / "keep.txt", "keep");
    makeSymlink(outside, tmp() / "link");
    auto r = RemoveTree::remove(tmp().native() + "/link/", nullptr);
    EXPECT_EQ(r.status, RemoveTree::Status::removed);
    EXPECT_FALSE(existsItself(tmp() / "link"));
    EXPECT_EQ(readFile(outside / "keep.txt"), "keep");
}

// Reaching the item: each way the system has of it (the kernel's walk, or
// its own walk with the mount told by mount ids or by the mount table).
struct Way {
    const char* name;
    Reach::Method method;
    Mounts::Source source;
};

class RemoveTreeWays : public TestEnv, public testing::WithParamInterface<Way> {
protected:
    void SetUp() override {
        TestEnv::SetUp();
        Reach::setMethodForTesting(GetParam().method);
        Mounts::setSourceForTesting(GetParam().source);
    }
};

TEST_P(RemoveTreeWays, AFolderOnTheWayThatIsALinkFailsTheItemAndTouchesNothing) {
    writeFile(tmp() / "real/cache/x", "x");
    makeSymlink(tmp() / "real", tmp() / "alias");
    makeFolders(tmp() / "deeper/a");
    makeSymlink(tmp() / "real", tmp() / "deeper/a/b");
    for (const fs::path& item : {tmp() / "alias/cache", tmp() / "alias/cache/x", tmp() / "deeper/a/b/cache"}) {
        SCOPED_TRACE(item.native());
        auto r = RemoveTree::remove(item, nullptr);
        EXPECT_EQ(r.status, RemoveTree::Status::failed);
        EXPECT_EQ(r.blocked, Reach::Blocked::link);
    }
    EXPECT_EQ(readFile(tmp() / "real/cache/x"), "x");
    EXPECT_TRUE(existsItself(tmp() / "alias"));
}

// A bind mount shares the device number of the folder it shows: only the
// mount itself tells it apart.
TEST_P(RemoveTreeWays, MountsOnTheWayAtTheItemAndInsideAreNeverCrossed) {
    writeFile(tmp() / "elsewhere/sub/precious.txt", "precious");
    writeFile(tmp() / "folder/own/a.cache", "a");
    writeFile(tmp() / "folder/b.cache", "b");
    BindMount inside(tmp() / "elsewhere", tmp() / "folder/inner");
    REQUIRE_BIND_MOUNT(inside);
    BindMount onTheWay(tmp() / "elsewhere", tmp() / "mnt");
    REQUIRE_BIND_MOUNT(onTheWay);

    auto through = RemoveTree::remove(tmp() / "mnt/sub/precious.txt", nullptr);
    EXPECT_EQ(through.status, RemoveTree::Status::failed);
    EXPECT_EQ(through.blocked, Reach::Blocked::mount);
    auto itself = RemoveTree::remove(tmp() / "mnt", nullptr);
    EXPECT_EQ(itself.status, RemoveTree::Status::failed);
    EXPECT_EQ(itself.blocked, Reach::Blocked::mount);
    auto holder = RemoveTree::remove(tmp() / "folder", nullptr);
    EXPECT_EQ(holder.status, RemoveTree::Status::failed);
    EXPECT_EQ(holder.error, EXDEV);
    EXPECT_EQ(holder.blocked, Reach::Blocked::mount);

    EXPECT_EQ(readFile(tmp() / "elsewhere/sub/precious.txt"), "precious");
    // What lay beside the mount went.
    EXPECT_FALSE(existsItself(tmp() / "folder/own"));
    EXPECT_FALSE(existsItself(tmp() / "folder/b.cache"));
}

// A volume is a location of its own: items on it are reached from its top.
TEST_P(RemoveTreeWays, AnItemOnAMountedVolumeIsReachedFromTheVolume) {
    writeFile(tmp() / "disk/.Trashes/501/old.zip", "z");
    BindMount volume(tmp() / "disk", tmp() / "Volumes/Backup");
    REQUIRE_BIND_MOUNT(volume);
    EXPECT_EQ(RemoveTree::remove(tmp() / "Volumes/Backup/.Trashes/501/old.zip", nullptr).blocked, Reach::Blocked::mount);
    Volumes::setForTesting(std::vector<fs::path>{root(), tmp() / "Volumes/Backup"});
    EXPECT_EQ(RemoveTree::remove(tmp() / "Volumes/Backup/.Trashes/501/old.zip", nullptr).status, RemoveTree::Status::removed);
    EXPECT_FALSE(existsItself(tmp() / "disk/.Trashes/501/old.zip"));
}

INSTANTIATE_TEST_SUITE_P(
    Ways, RemoveTreeWays,
    testing::Values(Way{"kernel", Reach::Method::automatic, Mounts::Source::automatic},
                    Way{"componentWalk", Reach::Method::componentWalk, Mounts::Source::automatic},
                    Way{"componentWalkAndMountTable", Reach::Method::componentWalk, Mounts::Source::mountTable},
                    Way{"kernelAndMountTable", Reach::Method::automatic, Mounts::Source::mountTable}),
    [](const testing::TestParamInfo<Way>& info) { return std::string(info.param.name); });

TEST_F(RemoveTreeTest, MissingItemsAndRefusedPaths) {
    EXPECT_EQ(RemoveTree::remove(tmp() / "missing", nullptr).status, RemoveTree::Status::alreadyGone);
    EXPECT_EQ(RemoveTree::remove(tmp() / "no/such/folder/item", nullptr).status, RemoveTree::Status::alreadyGone);
    writeFile(tmp() / "file", "f");
    EXPECT_EQ(RemoveTree::remove(tmp() / "file/below", nullptr).status, RemoveTree::Status::alreadyGone);

    makeFolders(tmp() / "a/b");
    for (const fs::path& bad : {fs::path("relative"), fs::path(""), tmp() / "a/b/..", tmp() / "a/.", tmp() / "a/b/../"}) {
        SCOPED_TRACE(bad.native());
        auto r = RemoveTree::remove(bad, nullptr);
        EXPECT_EQ(r.status, RemoveTree::Status::failed);
        EXPECT_EQ(r.error, EINVAL);
    }
    EXPECT_TRUE(existsItself(tmp() / "a/b"));
}

TEST_F(RemoveTreeTest, DeepAndWideTrees) {
    fs::path deep = tmp() / "deep";
    fs::path p = deep;
    for (int i = 0; i < 300; ++i) p /= "d";
    writeFile(p / "leaf", "l");
    for (int i = 0; i < 3000; ++i) writeFile(tmp() / "wide" / ("f" + std::to_string(i)), "");
    EXPECT_EQ(RemoveTree::remove(deep, nullptr).status, RemoveTree::Status::removed);
    EXPECT_EQ(RemoveTree::remove(tmp() / "wide", nullptr).status, RemoveTree::Status::removed);
    EXPECT_FALSE(existsItself(deep));
    EXPECT_FALSE(existsItself(tmp() / "wide"));
}

TEST_F(RemoveTreeTest, APermissionFailureReportsTheFirstErrorAndRemovesTheRest) {
    fs::path item = tmp() / "mixed";
    writeFile(item / "a-mine/1", "1");
    writeFile(item / "b-roots/locked", "root's");
    writeFile(item / "c-mine/2", "2");
    writeFile(item / "top", "t");
    // Everything but the root-owned folder belongs to the unprivileged user.
    for (auto& e : fs::recursive_directory_iterator(item))
        if (e.path().parent_path().filename() != "b-roots" && e.path().filename() != "b-roots")
            ::lchown(e.path().c_str(), kUnprivilegedId, kUnprivilegedId);
    ::lchown(item.c_str(), kUnprivilegedId, kUnprivilegedId);
    ::chmod((item / "b-roots").c_str(), 0755);

    std::string failure = inUnprivilegedChild([&]() -> std::string {
        auto r = RemoveTree::remove(item, nullptr);
        if (r.status != RemoveTree::Status::failed) return "expected a failure";
        if (r.error != EACCES) return "expected EACCES, got " + std::to_string(r.error);
        return "";
    });
    EXPECT_EQ(failure, "");
    EXPECT_EQ(readFile(item / "b-roots/locked"), "root's");
    EXPECT_FALSE(existsItself(item / "a-mine"));
    EXPECT_FALSE(existsItself(item / "c-mine"));
    EXPECT_FALSE(existsItself(item / "top"));
}

// What the disk may become between the look at a folder and its open, for
// every walk that looks first: on the way to the item (the component walk,
// the only one on macOS) and inside it. Each change is made right there, so
// each guard after the open stands alone against it.
namespace {

void exchange(const fs::path& a, const fs::path& b) {
    ASSERT_EQ(::renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE), 0) << a;
}

void moveOutAndLink(const fs::path& folder, const fs::path& outside) {
    fs::rename(folder, outside);
    fs::create_directory_symlink(outside, folder);
}

}  // namespace

TEST_F(RemoveTreeTest, ChangesBetweenTheLookAndTheOpenNeverLeadOutside) {
    Reach::setMethodForTesting(Reach::Method::componentWalk);
    struct Case {
        const char* what;
        RaceSeam::Site site;
        const char* name;          // the folder changed when it is about to be opened
        const char* item;          // below area
        bool keepsChanging;        // changed at every look, not once
        RemoveTree::Status status;
        int error;
    };
    const Case cases[] = {
        // The folder the walk looked at, now reached only through a link.
        {"a folder on the way swapped for a link to itself", RaceSeam::Site::componentWalk, "folder", "folder/item",
         false, RemoveTree::Status::failed, ELOOP},
        {"a folder inside swapped for a link to itself", RaceSeam::Site::removal, "folder", "folder", false,
         RemoveTree::Status::removed, 0},
        // Another folder in its place at every look: never taken unseen.
        {"a folder on the way that keeps changing", RaceSeam::Site::componentWalk, "folder", "folder/item", true,
         RemoveTree::Status::failed, EAGAIN},
        {"a folder inside that keeps changing", RaceSeam::Site::removal, "folder", "folder", true,
         RemoveTree::Status::failed, EAGAIN},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path area = tmp() / "area";
        const fs::path outside = tmp() / "outside";
        fs::remove_all(area);
        fs::remove_all(outside);
        // The spare folder has what the walk looks for, so a walk that took
        // it would remove it.
        writeFile(area / "folder/item/file", "inside");
        writeFile(outside / "spare/item/file", "outside");
        int changes = 0;
        RaceSeam::setForTesting([&](RaceSeam::Site site, int, const std::string& name) {
            if (site != c.site || name != c.name || (changes > 0 && !c.keepsChanging)) return;
            ++changes;
            if (c.keepsChanging) exchange(area / "folder", outside / "spare");
            else moveOutAndLink(area / "folder", outside / "moved");
        });
        auto r = RemoveTree::remove(area / c.item, nullptr);
        RaceSeam::setForTesting(nullptr);
        EXPECT_GT(changes, 0);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.error, c.error);
        if (c.keepsChanging) {
            // Wherever the two folders stand now, both are whole.
            const std::string here = readFile(area / "folder/item/file");
            const std::string there = readFile(outside / "spare/item/file");
            EXPECT_EQ(here + there == "insideoutside" || here + there == "outsideinside", true) << here << " " << there;
        } else {
            EXPECT_EQ(readFile(outside / "moved/item/file"), "inside");
            if (c.status == RemoveTree::Status::removed) {
                EXPECT_FALSE(existsItself(area / "folder"));  // the link went, as a link
            }
        }
    }
}

// A removal deep inside a tree whose folders were let go, when a folder above
// is replaced meanwhile: the replacement is not the folder the removal left,
// and what it holds stays.
TEST_F(RemoveTreeTest, AFolderReplacedWhileTheRemovalIsBelowItKeepsWhatItHolds) {
    FolderStack::setWindowForTesting(1);
    const fs::path item = tmp() / "item";
    writeFile(item / "a/b/c/d/e/file", "f");
    RaceSeam::setForTesting([&](RaceSeam::Site site, int, const std::string& name) {
        if (site != RaceSeam::Site::removal || name != "e") return;
        // c leaves b, and b is replaced by a folder holding someone's file.
        fs::rename(item / "a/b/c", tmp() / "c-moved");
        fs::rename(item / "a/b", tmp() / "b-moved");
        writeFile(item / "a/b/victim", "victim");
    });
    auto r = RemoveTree::remove(item, nullptr);
    RaceSeam::setForTesting(nullptr);
    EXPECT_EQ(r.status, RemoveTree::Status::failed);
    EXPECT_EQ(readFile(item / "a/b/victim"), "victim");
    // What the removal was inside went with it.
    EXPECT_FALSE(existsItself(tmp() / "c-moved/d"));
}

// A tree deeper than any path can name, removed on a thread whose stack is
// smaller than a macOS worker thread's (512 KB), with a few handles open at
// most: the removal recurses per folder level nowhere.
TEST_F(RemoveTreeTest, ATreeAHundredThousandFoldersDeepIsRemovedOnASmallStack) {
    constexpr int kLevels = 100'000;
    DeepScratch scratch(tmp() / "deep");
    makeDeepChain(scratch.path(), kLevels, true);
    auto openHandles = [] {
        size_t n = 0;
        for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
            (void)entry;
            ++n;
        }
        return n;
    };
    size_t handlesBefore = 0, handlesMost = 0;
    int entered = 0;
    RaceSeam::setForTesting([&](RaceSeam::Site site, int, const std::string&) {
        if (site == RaceSeam::Site::removal && ++entered % 10'000 == 0)
            handlesMost = std::max(handlesMost, openHandles());
    });
    RemoveTree::Result r;
    onThreadWithStack(256 * 1024, [&] {
        handlesBefore = openHandles();
        r = RemoveTree::remove(scratch.path() / "d", nullptr);
    });
    RaceSeam::setForTesting(nullptr);
    EXPECT_EQ(r.status, RemoveTree::Status::removed);
    EXPECT_EQ(r.error, 0);
    EXPECT_EQ(entered, kLevels);
    EXPECT_TRUE(fs::is_empty(scratch.path()));
    EXPECT_LE(handlesMost, handlesBefore + 40) << "handles open before: " << handlesBefore;
}

// With an object measured, only that object is removed: a file rewritten or
// replaced since, or a folder put in the item's place, is left whole.
TEST_F(RemoveTreeTest, OnlyTheObjectMeasuredIsRemoved) {
    const fs::path file = tmp() / "area/cache.db";
    const fs::path folder = tmp() / "area/cache";
    struct Case {
        const char* what;
        std::function<void()> change;  // after the measure
        bool removed;
    } cases[] = {
        {"a file left as it was", [] {}, true},
        {"a file rewritten in place", [&] { writeFile(file, "the user's own, longer"); }, false},
        {"a file replaced by another", [&] { fs::remove(file); writeFile(file, "another file"); }, false},
        {"a folder replaced by another", [&] { fs::rename(folder, tmp() / "aside"); writeFile(folder / "own", "own"); }, false},
        {"a folder replaced by a link", [&] { fs::rename(folder, tmp() / "aside"); makeSymlink(tmp() / "aside", folder); }, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(tmp() / "area");
        fs::remove_all(tmp() / "aside");
        writeFile(file, "cache");
        writeFile(folder / "entry", "cache");
        const bool onFile = std::string(c.what).find("file") != std::string::npos;
        const fs::path item = onFile ? file : folder;
        const MeasuredObject measured = *measureObject(item);
        c.change();
        auto r = RemoveTree::remove(item, &measured);
        EXPECT_EQ(r.status, c.removed ? RemoveTree::Status::removed : RemoveTree::Status::changed);
        EXPECT_EQ(existsItself(item), !c.removed);
        if (!onFile && !c.removed) {
            EXPECT_TRUE(existsItself(tmp() / "aside/entry"));
        }
    }
}

// The measured folder is looked at and matches; before it is opened another
// folder is renamed into its place. The open meets a different object, the
// next look finds it is not the one measured, and it stays.
TEST_F(RemoveTreeTest, AFolderSwappedInBetweenTheLookAndTheOpenStays) {
    const fs::path item = tmp() / "area/cache";
    writeFile(item / "entry", "cache");
    writeFile(tmp() / "thesis/chapter.tex", "chapter");
    const MeasuredObject measured = *measureObject(item);
    bool swapped = false;
    RaceSeam::setForTesting([&](RaceSeam::Site site, int, const std::string& name) {
        if (site != RaceSeam::Site::removal || name != "cache" || swapped) return;
        fs::rename(item, tmp() / "area/cache.aside");
        fs::rename(tmp() / "thesis", item);
        swapped = true;
    });
    auto r = RemoveTree::remove(item, &measured);
    RaceSeam::setForTesting(nullptr);
    ASSERT_TRUE(swapped);
    EXPECT_EQ(r.status, RemoveTree::Status::changed);
    EXPECT_EQ(readFile(item / "chapter.tex"), "chapter");
    EXPECT_EQ(readFile(tmp() / "area/cache.aside/entry"), "cache");
}
