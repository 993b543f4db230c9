// Walks and measurements of a tree 100,000 folders deep, run on a thread whose
// stack is smaller than a macOS worker thread's (512 KB): none of them may
// recurse per folder level, and none may keep a handle open per level.
#include <dirent.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/fs.h"
#include "engine/scanner_large_old.h"
#include "modules/system/disk_map.h"
#include "platform/walker.h"
#include "support/deep_tree.h"
#include "support/test_env.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

constexpr int kLevels = 100'000;
constexpr size_t kSmallStack = 256 * 1024;

// The descriptors this process has open.
size_t openHandles() {
    size_t n = 0;
    if (DIR* dir = ::opendir("/proc/self/fd")) {
        while (dirent* d = ::readdir(dir))
            if (d->d_name[0] != '.') ++n;
        ::closedir(dir);
    }
    return n;
}

using DeepTreeTest = TestEnv;

}  // namespace

TEST_F(DeepTreeTest, WalkedAndMeasuredOnASmallStackWithFewHandlesOpen) {
    DeepScratch scratch(tmp() / "deep");
    const fs::path& top = scratch.path();
    const DeepChain chain = makeDeepChain(top, kLevels, true);

    int64_t entries = 0, folders = 0, files = 0;
    int deepest = 0;
    size_t handlesBefore = 0, handlesMost = 0;
    int64_t size = -1;
    ScanReport largeOld;
    SpaceNodeRef map;
    onThreadWithStack(kSmallStack, [&] {
        handlesBefore = openHandles();
        Walker::walk(top, [&](const WalkEntry& e) {
            ++entries;
            (e.facts.isDirectory() ? folders : files) += 1;
            deepest = std::max(deepest, e.depth);
            // Looked at where the walk is deepest and on its way back up,
            // when every folder above still has its file to visit.
            if (e.name == "bottom" || (e.name == "f" && e.depth % 10'000 == 0))
                handlesMost = std::max(handlesMost, openHandles());
            return WalkAction::proceed;
        });
        FS::SeenSet seen;
        size = FS::size(top, seen);
        ScanToken token;
        largeOld = Scanner::scanLargeAndOld({top}, token, nullptr);
        map = DiskMap::build(top, 4, token, nullptr);
    });

    EXPECT_EQ(folders, kLevels);
    EXPECT_EQ(files, kLevels);  // an "f" beside every folder below the first, and the bottom file
    EXPECT_EQ(entries, 2 * int64_t(kLevels));
    EXPECT_EQ(deepest, kLevels + 1);
    // A few handles per walk, not one per level (the listing of the open
    // handles holds one more).
    EXPECT_LE(handlesMost, handlesBefore + 70) << "handles open before the walk: " << handlesBefore;

    const int64_t expected = int64_t(kLevels) * 4096 + chain.bottomAllocated;
    EXPECT_EQ(size, expected);

    ASSERT_EQ(largeOld.categories.size(), 2u);
    EXPECT_TRUE(largeOld.categories[0].items.empty());
    EXPECT_TRUE(largeOld.errors.empty());

    // The map lists four levels and measures the fourth whole; a listed
    // folder is the sum of what it holds.
    ASSERT_TRUE(map);
    EXPECT_EQ(map->size, expected - 4 * 4096);
    SpaceNodeRef node = map;
    for (int depth = 0; depth < 4; ++depth) {
        ASSERT_TRUE(node->children.has_value()) << "depth " << depth;
        ASSERT_EQ(node->children->size(), 1u) << "depth " << depth;
        node = node->children->front();
    }
    EXPECT_TRUE(node->isDirectory);
    EXPECT_FALSE(node->children.has_value());
    EXPECT_EQ(node->size, expected - 4 * 4096);
}
