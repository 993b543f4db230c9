#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <tuple>

#include "platform/file_facts.h"
#include "platform/packages.h"
#include "platform/walker.h"
#include "platform/work_pool.h"
#include "support/test_env.h"

using namespace testing_support;
namespace fs = std::filesystem;

class WalkerTest : public TestEnv {
protected:
    std::set<std::string> walkNames(const fs::path& root, WalkOptions options = {},
                                     std::function<WalkAction(const WalkEntry&)> extra = nullptr) {
        std::set<std::string> out;
        Walker::walk(
            root,
            [&](const WalkEntry& e) {
                out.insert(fs::path(std::string(e.path)).lexically_relative(root).string());
                return extra ? extra(e) : WalkAction::proceed;
            },
            options);
        return out;
    }
};

TEST_F(WalkerTest, VisitsEverythingButNeverFollowsLinksOrEntersPackages) {
    fs::path r = tmp() / "tree";
    writeFile(r / "a/b/c.txt", "c");
    writeFile(r / ".hidden/h", "h");
    writeFile(r / "Tool.app/Contents/Info.plist", "p");
    writeFile(tmp() / "outside/secret", "s");
    makeSymlink(tmp() / "outside", r / "link");
    EXPECT_EQ(walkNames(r), (std::set<std::string>{"a", "a/b", "a/b/c.txt", ".hidden", ".hidden/h", "Tool.app", "link"}));

    WalkOptions hidden;
    hidden.skipHidden = true;
    EXPECT_EQ(walkNames(r, hidden), (std::set<std::string>{"a", "a/b", "a/b/c.txt", "Tool.app", "link"}));

    WalkOptions packages;
    packages.enterPackages = true;
    EXPECT_TRUE(walkNames(r, packages).count("Tool.app/Contents/Info.plist"));

    auto skipA = [](const WalkEntry& e) { return e.name == "a" ? WalkAction::skipSubtree : WalkAction::proceed; };
    EXPECT_FALSE(walkNames(r, {}, skipA).count("a/b"));

    // A root that is a link has no entries.
    EXPECT_TRUE(walkNames(r / "link").empty());
}

TEST_F(WalkerTest, EntriesThePlatformMarksHiddenAreSkippedWithDotNames) {
    fs::path r = tmp() / "tree";
    writeFile(r / "shown/file", "f");
    writeFile(r / "marked-folder/inside", "i");
    writeFile(r / "shown/marked-file", "m");
    const FileIdentity folder = lstatFacts(r / "marked-folder")->identity;
    const FileIdentity file = lstatFacts(r / "shown/marked-file")->identity;
    // This system has no such flag: the test decides in its place, and the
    // walker reads it through the one place every file's facts come from.
    setMarkedHiddenForTesting([&](const FileIdentity& id) { return id == folder || id == file; });
    EXPECT_TRUE(lstatFacts(r / "marked-folder")->hidden);
    EXPECT_FALSE(lstatFacts(r / "shown")->hidden);

    WalkOptions hidden;
    hidden.skipHidden = true;
    EXPECT_EQ(walkNames(r, hidden), (std::set<std::string>{"shown", "shown/file"}));
    std::mutex lock;
    std::set<std::string> parallel;
    Walker::walkParallel(r, [&](const WalkEntry& e, unsigned) {
        std::lock_guard guard(lock);
        parallel.insert(fs::path(std::string(e.path)).lexically_relative(r).string());
        return WalkAction::proceed;
    }, hidden);
    EXPECT_EQ(parallel, (std::set<std::string>{"shown", "shown/file"}));
    // Other walks see them.
    EXPECT_EQ(walkNames(r).size(), 5u);
}

TEST_F(WalkerTest, StopEndsTheWalkAndEntriesComeInInodeOrder) {
    fs::path r = tmp() / "flat";
    for (int i = 0; i < 50; ++i) writeFile(r / ("f" + std::to_string(i)), "x");
    std::vector<uint64_t> inodes;
    bool finished = Walker::walk(r, [&](const WalkEntry& e) {
        inodes.push_back(e.facts.identity.inode);
        return WalkAction::proceed;
    });
    EXPECT_TRUE(finished);
    EXPECT_TRUE(std::is_sorted(inodes.begin(), inodes.end()));
    int seen = 0;
    finished = Walker::walk(r, [&](const WalkEntry&) { return ++seen == 5 ? WalkAction::stop : WalkAction::proceed; });
    EXPECT_FALSE(finished);
    EXPECT_EQ(seen, 5);
}

namespace {

// What a walk reports of one entry, apart from the order.
using Seen = std::tuple<std::string, int, bool, uint64_t>;

void wideTree(const fs::path& r) {
    for (int a = 0; a < 10; ++a)
        for (int b = 0; b < 8; ++b)
            for (int f = 0; f < 4; ++f)
                writeFile(r / ("d" + std::to_string(a)) / ("e" + std::to_string(b)) / ("f" + std::to_string(f)), "x");
    writeFile(r / "d3/.cache/h", "h");
    writeFile(r / "d4/Tool.app/Contents/Info.plist", "p");
    makeSymlink(r / "d1", r / "d2/link");
}

}  // namespace

TEST_F(WalkerTest, ParallelWalkMeetsWhatTheSequentialWalkMeets) {
    fs::path r = tmp() / "wide";
    wideTree(r);
    auto skipE3 = [](std::string_view name) { return name == "e3" ? WalkAction::skipSubtree : WalkAction::proceed; };
    struct Case {
        const char* what;
        bool skipHidden, enterPackages, skipSome;
    };
    for (const Case& c : {Case{"defaults", false, false, false}, Case{"hidden skipped", true, false, false},
                          Case{"packages entered", false, true, false}, Case{"subtrees skipped", false, false, true}}) {
        WalkOptions options;
        options.skipHidden = c.skipHidden;
        options.enterPackages = c.enterPackages;
        std::set<Seen> sequential;
        Walker::walk(r, [&](const WalkEntry& e) {
            sequential.emplace(std::string(e.path), e.depth, e.isPackage, e.facts.identity.inode);
            return c.skipSome ? skipE3(e.name) : WalkAction::proceed;
        }, options);

        std::mutex lock;
        std::set<Seen> parallel;
        std::map<std::string, size_t> order;  // path -> when it was visited
        bool slotsInRange = true;
        bool finished = Walker::walkParallel(r, [&](const WalkEntry& e, unsigned slot) {
            std::lock_guard guard(lock);
            slotsInRange = slotsInRange && slot < WorkPool::width();
            // The whole path is copied here: the view dies with the call.
            parallel.emplace(std::string(e.path), e.depth, e.isPackage, e.facts.identity.inode);
            order.emplace(std::string(e.path), order.size());
            return c.skipSome ? skipE3(e.name) : WalkAction::proceed;
        }, options);
        EXPECT_TRUE(finished) << c.what;
        EXPECT_TRUE(slotsInRange) << c.what;
        EXPECT_EQ(parallel, sequential) << c.what;
        // A folder is always met before what it holds.
        for (const auto& [path, when] : order) {
            auto parent = order.find(fs::path(path).parent_path().string());
            if (parent != order.end()) {
                EXPECT_LT(parent->second, when) << path;
            }
        }
    }
}

TEST_F(WalkerTest, ParallelWalkStopsEverywhereAndReturnsAfterTheLastVisit) {
    fs::path r = tmp() / "wide";
    wideTree(r);
    std::atomic<int> visits{0}, inside{0};
    bool finished = Walker::walkParallel(r, [&](const WalkEntry&, unsigned) {
        inside.fetch_add(1);
        int n = visits.fetch_add(1) + 1;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        inside.fetch_sub(1);
        return n == 20 ? WalkAction::stop : WalkAction::proceed;
    });
    EXPECT_FALSE(finished);
    // No visit is still running once the walk returned, and the other threads
    // stopped soon after one asked. How many visits the others begin while the
    // stopping one sleeps depends on the scheduler (a loaded machine leaves the
    // stopping thread waiting), so the bound is the tree, not a count per thread.
    EXPECT_EQ(inside.load(), 0);
    int entries = 0;
    Walker::walk(r, [&](const WalkEntry&) {
        ++entries;
        return WalkAction::proceed;
    });
    EXPECT_LT(visits.load(), entries / 2) << "of " << entries;
}

TEST(PackageNames, ExtensionsDecide) {
    EXPECT_TRUE(Packages::isPackageName("Safari.app"));
    EXPECT_TRUE(Packages::isPackageName("Photos Library.photoslibrary"));
    EXPECT_TRUE(Packages::isPackageName("Thing.PrefPane"));
    EXPECT_FALSE(Packages::isPackageName("app"));
    EXPECT_FALSE(Packages::isPackageName(".app"));
    EXPECT_FALSE(Packages::isPackageName("notes.txt"));
}
