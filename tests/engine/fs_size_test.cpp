#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <sys/stat.h>

#include <string>
#include <thread>
#include <vector>

#include "engine/fs.h"
#include "platform/walker.h"
#include "platform/work_pool.h"
#include "support/test_env.h"
#include "support/unprivileged.h"

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

namespace {

// The size rule walked on one thread, in order: the figure the parallel
// measurement must reproduce exactly.
int64_t sequentialSize(const fs::path& path, FS::SeenSet& seen) {
    // Nothing is ever looked at through a link on the way to it.
    std::error_code ec;
    const fs::path parent = path.lexically_normal().parent_path();
    if (fs::canonical(parent, ec) != parent) return 0;
    auto facts = lstatFacts(path);
    if (!facts || facts->isSymlink()) return 0;
    if (!facts->isDirectory()) return facts->isRegular() && seen.insert(facts->identity) ? facts->allocatedSize : 0;
    int64_t total = 0;
    Walker::walk(path, [&](const WalkEntry& e) {
        if (e.facts.isSymlink()) return WalkAction::skipSubtree;
        if (e.facts.isDirectory()) total += 4096;
        else if (seen.insert(e.facts.identity)) total += e.facts.allocatedSize;
        return WalkAction::proceed;
    });
    return total;
}

// A tree wide and deep enough to be shared out among threads, with what makes
// measuring hard: files hard-linked from far-apart subfolders (and from outside
// the tree), links to files and folders, packages, a pipe and empty folders.
void buildTangledTree(const fs::path& top) {
    for (int a = 0; a < 12; ++a) {
        for (int b = 0; b < 6; ++b) {
            fs::path leaf = top / ("a" + std::to_string(a)) / ("b" + std::to_string(b)) / "c";
            for (int f = 0; f < 5; ++f) allocateFile(leaf / ("f" + std::to_string(f)), (a * 7 + b * 3 + f) * 4096);
        }
    }
    allocateFile(top / "a0/b0/shared.bin", 3 * 1024 * 1024);
    for (int a : {3, 7, 11}) fs::create_hard_link(top / "a0/b0/shared.bin", top / ("a" + std::to_string(a)) / "b5/c/same.bin");
    allocateFile(top.parent_path() / "outside.bin", 1024 * 1024);
    fs::create_hard_link(top.parent_path() / "outside.bin", top / "a9/b2/linked-in.bin");
    makeSymlink(top / "a1", top / "a2/b1/folder-link");
    makeSymlink(top / "a0/b0/shared.bin", top / "a4/file-link");
    allocateFile(top / "a5/Tool.app/Contents/MacOS/Tool", 2 * 1024 * 1024);
    allocateFile(top / "a6/b3/Shot.photoslibrary/database", 512 * 1024);
    makeFolders(top / "a8/empty/inner");
    ASSERT_EQ(::mkfifo((top / "a10/pipe").c_str(), 0644), 0);
}

}  // namespace

TEST_F(FSSize, ParallelMeasurementIsTheSequentialOne) {
    ASSERT_GT(WorkPool::width(), 0u);
    const fs::path top = tmp() / "tree";
    buildTangledTree(top);
    const int64_t shared = lstatFacts(top / "a0/b0/shared.bin")->allocatedSize;

    FS::SeenSet reference;
    const int64_t expected = sequentialSize(top, reference);
    // The reference itself counts the shared file once, not at each of its links.
    int64_t everyLink = 0;
    Walker::walk(top, [&](const WalkEntry& e) {
        everyLink += e.facts.isDirectory() ? 4096 : e.facts.isRegular() ? e.facts.allocatedSize : 0;
        return WalkAction::proceed;
    });
    EXPECT_EQ(everyLink - expected, 3 * shared);
    // Run after run the threads meet the hard links in another order.
    for (int run = 0; run < 25; ++run) {
        FS::SeenSet seen;
        ASSERT_EQ(FS::size(top, seen), expected) << "run " << run;
        // The folder and the two files with more than one link, not every file.
        ASSERT_EQ(seen.size(), 3u);
        // Measured again in the same pass, only the folders count.
        FS::SeenSet again;
        sequentialSize(top, again);
        ASSERT_EQ(FS::size(top, seen), sequentialSize(top, again));
    }
}

TEST_F(FSSize, ACancelledMeasurementGivesNothingAndCountsNothing) {
    const fs::path top = tmp() / "tree";
    buildTangledTree(top);
    const std::vector<fs::path> items = {top / "a3", top / "a0", tmp() / "outside.bin"};
    ScanToken token;
    FS::SeenSet with, without;
    EXPECT_EQ(FS::sizes(items, with, &token), FS::sizes(items, without));
    token.cancel();
    FS::SeenSet cancelled;
    EXPECT_TRUE(FS::sizes(items, cancelled, &token).empty());
    EXPECT_EQ(cancelled.size(), 0u);
}

TEST_F(FSSize, ParallelMeasurementHonoursWhatThePassAlreadyCounted) {
    const fs::path top = tmp() / "tree";
    buildTangledTree(top);
    // The caller's set holds files met earlier in the pass: a hard link outside
    // the folder, and a whole subfolder measured first.
    const std::vector<fs::path> steps = {tmp() / "outside.bin", top / "a3", top / "a0/b0", top, top / "a7", top};
    FS::SeenSet parallel, sequential;
    for (const auto& step : steps)
        EXPECT_EQ(FS::size(step, parallel), sequentialSize(step, sequential)) << step;
}

TEST_F(FSSize, ItemsMeasuredTogetherGetTheirOneByOneFigures) {
    const fs::path top = tmp() / "tree";
    buildTangledTree(top);
    makeSymlink(top / "a1", tmp() / "link-to-a1");
    // Items sharing files through hard links and nesting, a file, a link, a
    // missing path and a repeat: a shared file counts for the earliest item.
    const std::vector<fs::path> items = {
        top / "a3",  top / "a0",       tmp() / "outside.bin", top / "a9",       tmp() / "link-to-a1",
        top / "a7",  tmp() / "absent", top / "a0/b0",         top / "a3/b5/c/same.bin", top,
        top / "a0",  top / "a10/pipe",
    };
    for (int run = 0; run < 10; ++run) {
        FS::SeenSet together, oneByOne;
        const auto sizes = FS::sizes(items, together);
        ASSERT_EQ(sizes.size(), items.size());
        for (size_t i = 0; i < items.size(); ++i)
            ASSERT_EQ(sizes[i], sequentialSize(items[i], oneByOne)) << "run " << run << ": " << items[i];
    }
    FS::SeenSet seen;
    EXPECT_TRUE(FS::sizes({}, seen).empty());
}

TEST_F(FSSize, ItemsBelowAnEarlierFolderCountOnlyWhatItsWalkDidNotReach) {
    const fs::path top = tmp() / "tree";
    buildTangledTree(top);
    allocateFile(top / "a5/Tool.app/Contents/Resources/data", 64 * 1024);
    allocateFile(tmp() / "elsewhere/inner/file", 32 * 1024);
    makeSymlink(tmp() / "elsewhere", top / "a6/link");
    // Each pass measures its items in turn with one set; every figure must be
    // the one of a pass that remembers every file it counted.
    struct Case {
        const char* what;
        std::vector<fs::path> steps;
    } cases[] = {
        {"a folder, then inside it", {top, top / "a1", top / "a1/b2/c/f3", top / "a1/b2"}},
        {"inside a folder, then the folder", {top / "a1/b2/c/f3", top / "a1/b2", top}},
        {"a package the folder's walk did not enter", {top, top / "a5/Tool.app/Contents", top / "a5/Tool.app"}},
        {"a link the folder's walk did not follow (what lies behind it measures nothing)",
         {top, top / "a6/link/inner", top / "a6/link/inner/file"}},
        {"spelled with a trailing slash", {fs::path(top.string() + "/"), fs::path((top / "a4").string() + "/")}},
    };
    for (const auto& c : cases) {
        FS::SeenSet parallel, sequential;
        for (const auto& step : c.steps)
            EXPECT_EQ(FS::size(step, parallel), sequentialSize(step, sequential)) << c.what << ": " << step;
        // The same items measured together.
        FS::SeenSet together, oneByOne;
        const auto sizes = FS::sizes(c.steps, together);
        for (size_t i = 0; i < c.steps.size(); ++i)
            EXPECT_EQ(sizes[i], sequentialSize(c.steps[i], oneByOne)) << c.what << " together: " << c.steps[i];
    }
}

TEST_F(FSSize, UnreadableFoldersMeasureTheSameOnEveryThread) {
    const fs::path top = tmp() / "tree";
    buildTangledTree(top);
    // Folders this child may not list or enter, or may list without reaching
    // what is inside: each counts as one folder and adds nothing more. The
    // link to the shared file inside one does not hide its other links.
    for (const char* closed : {"a3/b5", "a4", "a9"}) ::chmod((top / closed).c_str(), 0700);
    ::chmod((top / "a11/b5/c").c_str(), 0300);
    ::chmod((top / "a6/b3").c_str(), 0600);
    // The parent has used the pool before the fork; the child has none of its
    // threads and must start its own without hanging.
    FS::SeenSet asRoot;
    const int64_t everything = FS::size(top, asRoot);
    std::string failure = testing_support::inUnprivilegedChild([&]() -> std::string {
        for (int run = 0; run < 10; ++run) {
            FS::SeenSet parallel, sequential;
            const int64_t expected = sequentialSize(top, sequential);
            const int64_t got = FS::size(top, parallel);
            if (got != expected) return "measured " + std::to_string(got) + ", expected " + std::to_string(expected);
            if (got >= everything) return "unreadable folders were measured";
        }
        FS::SeenSet fresh;
        if (FS::size(top / "a4", fresh) != 0) return "an unreadable folder measured something";
        // Below a folder that could be entered but not listed, a walk of the
        // whole counted nothing: the item measured later counts its files.
        FS::SeenSet pass, reference;
        for (const auto& step : {top, top / "a11/b5/c", top / "a11/b5/c/f4"}) {
            const int64_t a = FS::size(step, pass), b = sequentialSize(step, reference);
            if (a != b) return step.string() + ": " + std::to_string(a) + " against " + std::to_string(b);
        }
        return "";
    });
    EXPECT_EQ(failure, "");
}
