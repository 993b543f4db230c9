#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <sstream>

#include "engine/fs.h"
#include "modules/system/disk_map.h"
#include "platform/locations.h"
#include "platform/reach.h"
#include "platform/walker.h"
#include "support/test_env.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

int64_t sizeOf(const fs::path& p) {
    FS::SeenSet fresh;
    return FS::size(p, fresh);
}

std::map<std::string, SpaceNodeRef> byName(const SpaceNodeRef& folder) {
    std::map<std::string, SpaceNodeRef> out;
    if (folder->children)
        for (const auto& c : *folder->children) out[c->name] = c;
    return out;
}

SpaceNodeRef node(const std::string& name, int64_t size, const fs::path& folder = "/data") {
    auto n = std::make_shared<SpaceNode>();
    n->url = folder / name;
    n->name = name;
    n->size = size;
    n->fileCount = 1;
    return n;
}

// Creates count empty files named prefix + number in folder.
void emptyFiles(const fs::path& folder, int count, const std::string& prefix = "f") {
    makeFolders(folder);
    for (int i = 0; i < count; ++i) {
        int fd = ::open((folder / (prefix + std::to_string(i))).c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0);
        ::close(fd);
    }
}

// A map as lines of path and size, each path written below `top`.
void describe(const SpaceNodeRef& node, const std::string& top, std::ostringstream& out) {
    const std::string& url = node->url.native();
    out << (url.size() > top.size() ? url.substr(top.size()) : "/") << ' ' << node->size << ' ' << node->fileCount
        << '\n';
    if (node->children)
        for (const auto& child : *node->children) describe(child, top, out);
}

std::string described(const SpaceNodeRef& node, const std::string& top) {
    std::ostringstream out;
    describe(node, top, out);
    return out.str();
}

std::string walked(const fs::path& root, const std::string& top) {
    std::vector<std::string> paths;
    Walker::walk(root, [&](const WalkEntry& e) {
        paths.emplace_back(e.path.substr(top.size()));
        return WalkAction::proceed;
    });
    std::sort(paths.begin(), paths.end());
    std::string out;
    for (const auto& p : paths) out += p + "\n";
    return out;
}

#ifdef __linux__
// In a child process: maps the folder by its path, then shuts the process in
// it as its "/" with no system root set, as on a real machine, and maps "/".
// Ends with 0 when both maps (and both walks) are the same.
[[noreturn]] void mapAsTheWholeDisk(const fs::path& disk) {
    ScanToken token;
    const std::string expectedMap = described(DiskMap::build(disk, 3, token, {}), disk.native());
    const std::string expectedWalk = walked(disk, disk.native());
    if (::chroot(disk.c_str()) != 0 || ::chdir("/") != 0) {
        std::perror("chroot");
        std::_Exit(2);
    }
    Locations::setRoot("");
    ::setenv("HOME", "/Users/u", 1);
    const std::string map = described(DiskMap::build("/", 3, token, {}), "");
    const std::string walk = walked("/", "");
    const bool refused = Reach::parent("/").folder.blocked == Reach::Blocked::locationRoot;
    if (map != expectedMap || walk != expectedWalk || !refused) {
        std::fprintf(stderr, "map of /:\n%s\nexpected:\n%s\nwalk of /:\n%s\nexpected:\n%s\n/ refused as an item: %d\n",
                     map.c_str(), expectedMap.c_str(), walk.c_str(), expectedWalk.c_str(), int(refused));
        std::_Exit(1);
    }
    std::fprintf(stderr, "mapped the whole disk:\n%s", map.c_str());
    std::_Exit(0);
}
#endif

}  // namespace

class DiskMapTest : public TestEnv {
protected:
    ScanToken token;
    std::vector<std::pair<double, std::string>> progress;
    ProgressCallback record = [this](double f, const std::string& m) { progress.emplace_back(f, m); };
};

TEST_F(DiskMapTest, TreeMeasuredByTheSizeRuleWithLinksAndEmptyFilesLeftOut) {
    fs::path r = tmp() / "root";
    allocateFile(r / "a.bin", 64 * 1024);
    allocateFile(r / "b/c.bin", 32 * 1024);
    allocateFile(r / "b/d/e.bin", 16 * 1024);
    allocateFile(r / ".hidden", 8 * 1024);
    allocateFile(r / "Tool.app/Contents/MacOS/Tool", 12 * 1024);
    writeFile(r / "empty.txt", "");
    allocateFile(r / "links/one", 4096);
    fs::create_hard_link(r / "links/one", r / "links/two");
    allocateFile(tmp() / "elsewhere/huge.bin", 1024 * 1024);
    makeSymlink(tmp() / "elsewhere", r / "link-to-folder");
    makeSymlink(r / "a.bin", r / "link-to-file");

    SpaceNodeRef tree = DiskMap::build(r, 4, token, record);
    EXPECT_EQ(tree->name, "root");
    EXPECT_TRUE(tree->isDirectory);
    auto top = byName(tree);
    // Symbolic links and the empty file are not listed.
    EXPECT_EQ(top.size(), 5u);
    ASSERT_TRUE(top.count("a.bin") && top.count("b") && top.count(".hidden") && top.count("Tool.app") &&
                top.count("links"));
    EXPECT_EQ(top["a.bin"]->size, sizeOf(r / "a.bin"));
    EXPECT_EQ(top["a.bin"]->fileCount, 1);
    EXPECT_FALSE(top["a.bin"]->children.has_value());

    // A file with two links counts once: the second name measures 0 and is dropped.
    EXPECT_EQ(top["links"]->children->size(), 1u);
    EXPECT_EQ(top["links"]->size, sizeOf(r / "links/one"));

    auto b = byName(top["b"]);
    EXPECT_EQ(b["c.bin"]->size, sizeOf(r / "b/c.bin"));
    ASSERT_TRUE(b.count("d"));
    EXPECT_EQ(byName(b["d"])["e.bin"]->size, sizeOf(r / "b/d/e.bin"));
    // Packages are listed too.
    EXPECT_TRUE(top["Tool.app"]->children.has_value());

    // A listed folder is the sum of what it lists: every file once, no folder overhead.
    int64_t files = sizeOf(r / "a.bin") + sizeOf(r / "b/c.bin") + sizeOf(r / "b/d/e.bin") + sizeOf(r / ".hidden") +
                    sizeOf(r / "Tool.app/Contents/MacOS/Tool") + sizeOf(r / "links/one");
    EXPECT_EQ(tree->size, files);
    EXPECT_EQ(tree->fileCount, 6);
    // Children come largest first.
    for (size_t i = 1; i < tree->children->size(); ++i)
        EXPECT_GE((*tree->children)[i - 1]->size, (*tree->children)[i]->size);
}

TEST_F(DiskMapTest, FoldersBelowTheDepthLimitAreMeasuredWhole) {
    fs::path r = tmp() / "root";
    allocateFile(r / "b/c.bin", 32 * 1024);
    allocateFile(r / "b/d/e.bin", 16 * 1024);

    SpaceNodeRef shallow = DiskMap::build(r, 1, token, record);
    auto b = byName(shallow)["b"];
    ASSERT_TRUE(b);
    EXPECT_TRUE(b->isDirectory);
    EXPECT_FALSE(b->children.has_value());
    EXPECT_EQ(b->fileCount, 0);
    EXPECT_EQ(b->size, sizeOf(r / "b"));  // the size rule's figure, folder overhead included

    SpaceNodeRef whole = DiskMap::build(r, 0, token, record);
    EXPECT_TRUE(whole->isDirectory);
    EXPECT_FALSE(whole->children.has_value());
    EXPECT_EQ(whole->fileCount, 0);
    EXPECT_EQ(whole->size, sizeOf(r));

    ScanToken cancelled;
    cancelled.cancel();
    SpaceNodeRef early = DiskMap::build(r, 4, cancelled, record);
    EXPECT_FALSE(early->children.has_value());
    EXPECT_EQ(early->size, sizeOf(r));
}

TEST_F(DiskMapTest, RootThatIsAFileOrALink) {
    allocateFile(tmp() / "file.bin", 4096);
    SpaceNodeRef file = DiskMap::build(tmp() / "file.bin", 4, token, record);
    EXPECT_FALSE(file->isDirectory);
    EXPECT_EQ(file->fileCount, 1);
    EXPECT_EQ(file->size, sizeOf(tmp() / "file.bin"));
    EXPECT_FALSE(file->children.has_value());

    allocateFile(tmp() / "real/big.bin", 256 * 1024);
    makeSymlink(tmp() / "real", tmp() / "link");
    SpaceNodeRef link = DiskMap::build(tmp() / "link", 4, token, record);
    EXPECT_FALSE(link->isDirectory);
    EXPECT_EQ(link->size, 0);
    EXPECT_FALSE(link->children.has_value());

    // A trailing slash names the same folder.
    SpaceNodeRef slashed = DiskMap::build(tmp().string() + "/real/", 4, token, record);
    EXPECT_EQ(slashed->name, "real");
    EXPECT_EQ(slashed->children->size(), 1u);
}

#ifdef __linux__
// The whole disk is "/" itself, not a test root standing in for it.
TEST_F(DiskMapTest, TheWholeDiskIsMappedFromSlashItself) {
    if (::geteuid() != 0) GTEST_SKIP() << "giving a process a folder of its own as \"/\" needs root";
    // The child starts afresh (no threads of this process carried over) and
    // makes its own fixture.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const fs::path disk = tmp() / "disk";
    allocateFile(disk / "Applications/Big.app/Contents/MacOS/Big", 256 * 1024);
    allocateFile(disk / "Users/u/Movies/clip.mov", 128 * 1024);
    allocateFile(disk / "Users/u/Library/Caches/c.bin", 32 * 1024);
    allocateFile(disk / "Library/Logs/l.log", 16 * 1024);
    allocateFile(disk / "top.bin", 8 * 1024);
    writeFile(disk / "Users/u/Documents/empty", "");
    makeSymlink("/Users", disk / "home");
    EXPECT_EXIT(mapAsTheWholeDisk(disk), testing::ExitedWithCode(0),
                "mapped the whole disk:\n/ [1-9][0-9]* [0-9]+\n/Applications [1-9]");
}
#endif

TEST_F(DiskMapTest, FoldingKeepsTheLargestElevenThatReachHalfAPercent) {
    struct Case {
        const char* what;
        std::vector<int64_t> sizes;  // largest first
        int64_t total;
        size_t kept;
        int64_t folded;  // items in the folded node, 0 for none
    };
    std::vector<int64_t> twelve(12, 1);
    std::vector<int64_t> thirteen(10, 10000);
    thirteen.insert(thirteen.end(), {100, 100, 100});  // below 0.5 % of 100300
    std::vector<int64_t> twenty(20, 500);
    std::vector<int64_t> allBig(13, 1000);
    const Case cases[] = {
        {"12 children are never folded", twelve, 12, 12, 0},
        {"13 children, 3 small", thirteen, 100300, 10, 3},
        {"20 equal children", twenty, 10000, 11, 9},
        {"13 equal children", allBig, 13000, 11, 2},
        {"zero total", std::vector<int64_t>(20, 0), 0, 20, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<SpaceNodeRef> children;
        for (size_t i = 0; i < c.sizes.size(); ++i) children.push_back(node("n" + std::to_string(i), c.sizes[i]));
        auto out = DiskMap::pruned(children, c.total);
        ASSERT_EQ(out.size(), c.kept + (c.folded ? 1 : 0));
        for (size_t i = 0; i < c.kept; ++i) EXPECT_EQ(out[i], children[i]);
        if (!c.folded) continue;
        const auto& last = out.back();
        EXPECT_EQ(last->name, std::to_string(c.folded) + " smaller items");
        EXPECT_EQ(last->fileCount, c.folded);
        EXPECT_FALSE(last->isDirectory);
        EXPECT_FALSE(last->children.has_value());
        EXPECT_EQ(last->url, fs::path("/data"));
        int64_t foldedSize = 0;
        for (size_t i = c.kept; i < children.size(); ++i) foldedSize += children[i]->size;
        EXPECT_EQ(last->size, foldedSize);
    }
}

TEST_F(DiskMapTest, BuildFoldsACrowdedFolder) {
    fs::path r = tmp() / "root";
    for (int i = 0; i < 10; ++i) allocateFile(r / ("big" + std::to_string(i)), 1024 * 1024);
    for (int i = 0; i < 3; ++i) allocateFile(r / ("small" + std::to_string(i)), 4096);
    SpaceNodeRef tree = DiskMap::build(r, 4, token, record);
    ASSERT_EQ(tree->children->size(), 11u);
    EXPECT_EQ(tree->children->back()->name, "3 smaller items");
    EXPECT_EQ(tree->children->back()->url, r);
    EXPECT_EQ(tree->fileCount, 13);
}

TEST_F(DiskMapTest, TheEntryBudgetBoundsOneBuild) {
    fs::path r = tmp() / "root";
    emptyFiles(r / "crowd", 61000);
    SpaceNodeRef tree = DiskMap::build(r, 4, token, record);
    // The root, crowd and 59,999 of its entries: 60,001 visits, one report
    // every 500 of them, the fraction capped at 0.95.
    EXPECT_EQ(progress.size(), 120u);
    EXPECT_DOUBLE_EQ(progress.back().first, 0.95);
    EXPECT_EQ(tree->size, 0);
}

TEST_F(DiskMapTest, CancellingReturnsWhatWasVisited) {
    fs::path r = tmp() / "root";
    for (int i = 0; i < 1200; ++i) allocateFile(r / "a" / ("f" + std::to_string(i)), 4096);
    auto cancelling = [&](double, const std::string&) { token.cancel(); };
    SpaceNodeRef tree = DiskMap::build(r, 4, token, cancelling);
    // Visits 1 and 2 are the root and a; the 500th visit cancels.
    EXPECT_EQ(tree->fileCount, 498);
    auto a = byName(tree)["a"];
    ASSERT_TRUE(a);
    EXPECT_EQ(a->size, tree->size);
    EXPECT_LT(tree->size, sizeOf(r / "a"));
}

TEST_F(DiskMapTest, ProgressCutsLongNames) {
    fs::path r = tmp() / "root";
    // Every entry's name has 40 characters and the same first 31 ("é" is one character).
    const std::string stem = "\xC3\xA9" "bcdefghijklmnopqrstuvwxyz01234";  // 31 characters
    emptyFiles(r / "x", 600, stem + "-name-");
    DiskMap::build(r, 4, token, record);
    ASSERT_EQ(progress.size(), 1u);
    EXPECT_EQ(progress[0].second, "Measuring " + stem + "\u2026\u2026");
    EXPECT_DOUBLE_EQ(progress[0].first, 500.0 / 60000.0);
}
