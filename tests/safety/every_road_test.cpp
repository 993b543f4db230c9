// What every removal road must leave alone, whatever it is asked to remove.
#include "platform/file_facts.h"
#include "safety/removal_safety.h"

using namespace testing_support;
namespace fs = std::filesystem;

TEST_P(EveryRoad, LeavesProtectedAndIgnoredPlacesAlone) {
    removeAll({item(protectedPath), item(ignoredPath), item(underIgnored), item(protectedThroughLink),
               item(ignoredThroughLink), item(holdsIgnored), item(holdsProtected), item(plain)});
    EXPECT_EQ(readFile(protectedPath / "data"), "system data");
    EXPECT_EQ(readFile(ignoredPath / "data"), "ignored data");
    EXPECT_EQ(readFile(underIgnored / "data"), "data under an ignored folder");
    EXPECT_EQ(readFile(holdsIgnored / "keep/data"), "kept data");
    EXPECT_EQ(readFile(holdsProtected / "bin/tool"), "system tool");
    EXPECT_FALSE(existsItself(plain)) << "the road removed nothing at all";
    EXPECT_EQ(canaryDamage(), "");
}

TEST_P(EveryRoad, LinksGoAsLinksAndTheirTargetsStay) {
    removeAll({item(linkToCanary), item(folderWithLinks)});
    EXPECT_FALSE(existsItself(linkToCanary));
    EXPECT_EQ(existsItself(folderWithLinks), GetParam().refusesSharedFiles);
    EXPECT_EQ(canaryDamage(), "");
}

TEST_P(EveryRoad, FolderSwappedForALinkAfterTheScanLeavesTheTarget) {
    ScanItem scanned = item(plain);
    fs::remove_all(plain);
    makeSymlink(canary, plain);
    removeAll({scanned});
    EXPECT_EQ(canaryDamage(), "");
    EXPECT_FALSE(existsItself(plain));
}

TEST_P(EveryRoad, ARelativeOrDottedPathNeverReachesAnythingElse) {
    fs::path dotted = home() / "Library/Caches/com.example.plain/../../../../canary";
    // A relative path would be taken from the working folder: make that the
    // folder holding the canary.
    fs::path before = fs::current_path();
    fs::current_path(tmp());
    removeAll({item(dotted), item(fs::path("canary"))});
    fs::current_path(before);
    EXPECT_EQ(canaryDamage(), "");
}
