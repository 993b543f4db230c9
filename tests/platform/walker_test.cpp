#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "platform/packages.h"
#include "platform/walker.h"
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

TEST(PackageNames, ExtensionsDecide) {
    EXPECT_TRUE(Packages::isPackageName("Safari.app"));
    EXPECT_TRUE(Packages::isPackageName("Photos Library.photoslibrary"));
    EXPECT_TRUE(Packages::isPackageName("Thing.PrefPane"));
    EXPECT_FALSE(Packages::isPackageName("app"));
    EXPECT_FALSE(Packages::isPackageName(".app"));
    EXPECT_FALSE(Packages::isPackageName("notes.txt"));
}
