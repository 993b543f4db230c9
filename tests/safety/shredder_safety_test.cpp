// The shredder overwrites before it deletes, so a wrong target is destroyed
// beyond recovery: it must never follow a link, never act on a path the
// removal rules refuse, and never overwrite a file that other names share.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "modules/system/shredder.h"
#include "safety/removal_safety.h"
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
