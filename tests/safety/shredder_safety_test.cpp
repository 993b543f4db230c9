// The shredder overwrites before it deletes, so a wrong target is destroyed
// beyond recovery: it must never follow a link, never act on a path the
// removal rules refuse, and never overwrite a file that other names share.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>
#include <memory>

#include "engine/ignores.h"
#include "modules/system/shredder.h"
#include "platform/race_seam.h"
#include "safety/removal_safety.h"
#include "support/bind_mount.h"
#include "support/test_env.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

Shredder::Outcome shredPaths(const std::vector<ScanItem>& items) {
    ScanToken token;
    return Shredder::shred(items, 1, token, nullptr);
}

Shredder::Outcome shredPaths(const std::vector<fs::path>& paths) {
    std::vector<ScanItem> items;
    for (const auto& p : paths) {
        ScanItem item;
        item.url = p;
        item.name = p.filename().string();
        item.measured = measureObject(p);  // chosen now
        items.push_back(item);
    }
    return shredPaths(items);
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(Shredder, EveryRoad,
                         testing::Values(RemovalRoad{"shredder",
                                                     [](const std::vector<ScanItem>& items) {
                                                         betweenScanAndRemoval();
                                                         shredPaths(items);
                                                     },
                                                     true}),
                         roadName);

class ShredderSafety : public TestEnv {};

TEST_F(ShredderSafety, LinksAtEveryDepthLeaveTheirTargetsByteIdentical) {
    fs::path outside = tmp() / "outside";
    writeFile(outside / "file.txt", "outside file");
    writeFile(outside / "dir/deep.txt", "outside deep");
    fs::path tree = home() / "Tree";
    makeSymlink(outside / "file.txt", tree / "l1");
    makeSymlink(outside / "dir", tree / "a/l2");
    makeSymlink(outside, tree / "a/b/l3");
    makeSymlink("../../../../outside/file.txt", tree / "a/b/c/relative");
    makeSymlink(tree / "missing", tree / "dangling");
    writeFile(tree / "a/b/c/own.txt", "own");
    ASSERT_EQ(::mkfifo((tree / "a/fifo").c_str(), 0644), 0);

    auto out = shredPaths({tree});
    EXPECT_EQ(out.failures, std::vector<std::string>{});
    EXPECT_FALSE(fs::exists(fs::symlink_status(tree)));
    EXPECT_EQ(readFile(outside / "file.txt"), "outside file");
    EXPECT_EQ(readFile(outside / "dir/deep.txt"), "outside deep");
}

TEST_F(ShredderSafety, PathsTheRemovalRulesRefuseAreNeverTouched) {
    writeFile(sys("/System/Library/thing.plist"), "system");
    writeFile(home() / "Docs/a.txt", "a");
    // A link among the parents must not lead into a protected place.
    makeSymlink(sys("/System"), home() / "shortcut");
    struct Case {
        fs::path path;
        const char* reason;
    };
    const Case cases[] = {
        {"/", "Protected item"},
        {"//", "Protected item"},
        {"", "Not an absolute path to one item"},
        {"relative/Docs", "Not an absolute path to one item"},
        {home() / "Docs/..", "Not an absolute path to one item"},
        {home() / "Docs/./a.txt", "Not an absolute path to one item"},
        {home() / "shortcut/Library/thing.plist", "Protected item"},
        {home() / "shortcut/Library", "Protected item"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.string());
        auto out = shredPaths({c.path});
        EXPECT_EQ(out.shreddedCount, 0);
        EXPECT_EQ(out.failures, std::vector<std::string>{c.path.string() + ": " + c.reason});
    }
    EXPECT_EQ(readFile(sys("/System/Library/thing.plist")), "system");
    EXPECT_EQ(readFile(home() / "Docs/a.txt"), "a");
}

// What the disk may become between the shredder's look at an entry and its
// open, and between its walk of an item and its overwriting: each change is
// made right there, so each guard after the open stands alone against it.
TEST_F(ShredderSafety, ChangesBetweenTheLookAndTheOpenNeverReachAnythingElse) {
    const fs::path item = home() / "Item";
    const fs::path outside = tmp() / "outside";
    std::unique_ptr<BindMount> mount;
    const std::string secret = "secret text";
    const std::string hardLinked = "Has other hard links, so overwriting it would change them too";
    const std::string changed = "Changed while it was being shredded";
    struct Case {
        const char* what;
        RaceSeam::Site site;
        const char* name;  // the entry changed when it is about to be opened
        std::function<void()> change;
        std::string failure;
        // What stays as it was, wherever it is now.
        std::vector<std::pair<fs::path, std::string>> kept;
    };
    const Case cases[] = {
        {"the file swapped for a link to itself", RaceSeam::Site::shredderFile, "secret",
         [&] {
             fs::rename(item / "secret", outside / "secret");
             makeSymlink(outside / "secret", item / "secret");
         },
         "secret: Too many levels of symbolic links", {{outside / "secret", secret}}},
        {"the file swapped for another file", RaceSeam::Site::shredderFile, "secret",
         [&] {
             fs::rename(item / "secret", outside / "secret");
             fs::rename(outside / "other", item / "secret");
         },
         "secret: " + changed, {{outside / "secret", secret}, {item / "secret", "other file"}}},
        {"the file given a second name outside", RaceSeam::Site::shredderFile, "secret",
         [&] { fs::create_hard_link(item / "secret", outside / "secret"); }, "secret: " + hardLinked,
         {{outside / "secret", secret}}},
        {"a folder swapped for a link to itself", RaceSeam::Site::shredderFolder, "sub",
         [&] {
             fs::rename(item / "sub", outside / "sub");
             makeSymlink(outside / "sub", item / "sub");
         },
         "sub: " + changed, {{outside / "sub/file", "sub file"}}},
        {"a folder swapped for another folder", RaceSeam::Site::shredderFolder, "sub",
         [&] {
             fs::rename(item / "sub", outside / "sub");
             fs::rename(outside / "spare", item / "sub");
         },
         "sub: " + changed, {{outside / "sub/file", "sub file"}, {item / "sub/file", "spare file"}}},
        // Mounted inside a folder the shredder is entering, after its walk
        // of the item: the mount's own top is what it then looks at and opens.
        {"something mounted inside after the walk", RaceSeam::Site::shredderFolder, "sub",
         [&] { mount = std::make_unique<BindMount>(outside / "spare", item / "sub/inner"); },
         "sub/inner: Lies on another volume", {{item / "sub/inner/file", "spare file"}}},
        // The rules are asked again for each entry just before it is shredded.
        {"a file put on the ignore list after the walk", RaceSeam::Site::shredderFolder, "sub",
         [&] { ASSERT_EQ(Ignores::add((item / "sub/file").string()), Ignores::Edit::changed); },
         "sub/file: On the ignore list", {{item / "sub/file", "sub file"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        mount.reset();
        fs::remove_all(item);
        fs::remove_all(outside);
        writeFile(item / "secret", secret);
        writeFile(item / "sub/file", "sub file");
        makeFolders(item / "sub/inner");
        writeFile(outside / "other", "other file");
        writeFile(outside / "spare/file", "spare file");
        int changes = 0;
        RaceSeam::setForTesting([&](RaceSeam::Site site, int, const std::string& name) {
            if (site != c.site || name != c.name || changes++ > 0) return;
            c.change();
        });
        auto out = shredPaths({item});
        RaceSeam::setForTesting(nullptr);
        Ignores::remove((item / "sub/file").string());
        if (mount && !mount->mounted()) GTEST_SKIP() << "bind mounts are refused here: " << mount->error();
        EXPECT_EQ(changes, 1);
        EXPECT_EQ(out.shreddedCount, 0);
        EXPECT_EQ(out.failures, std::vector<std::string>{item.string() + ": " + c.failure});
        for (const auto& [path, text] : c.kept) EXPECT_EQ(readFile(path), text) << path;
    }
    mount.reset();
}
