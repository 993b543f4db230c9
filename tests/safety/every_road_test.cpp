// What every removal road must leave alone, whatever it is asked to remove.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>

#include "engine/ignores.h"
#include "platform/decimal.h"
#include "platform/file_facts.h"
#include "safety/removal_safety.h"
#include "support/bind_mount.h"
#include "support/deep_tree.h"

using namespace testing_support;
namespace fs = std::filesystem;

TEST_P(EveryRoad, LeavesProtectedAndIgnoredPlacesAlone) {
    removeAll({item(protectedPath), item(ignoredPath), item(underIgnored), item(protectedThroughLink),
               item(ignoredThroughLink), item(holdsIgnored), item(holdsProtected), item(holdsProtectedBelowItsRoot),
               item(plain)});
    EXPECT_EQ(readFile(protectedPath / "data"), "system data");
    EXPECT_EQ(readFile(ignoredPath / "data"), "ignored data");
    EXPECT_EQ(readFile(underIgnored / "data"), "data under an ignored folder");
    EXPECT_EQ(readFile(holdsIgnored / "keep/data"), "kept data");
    EXPECT_EQ(readFile(holdsProtected / "bin/tool"), "system tool");
    EXPECT_EQ(readFile(holdsProtectedBelowItsRoot / "db/system.db"), "system database");
    EXPECT_FALSE(existsItself(plain)) << "the road removed nothing at all";
    EXPECT_EQ(canaryDamage(), "");
}

// A volume keeps one trash folder per user; another user's, and the .Trashes
// folder holding them all, stay whatever rating the items were given.
TEST_P(EveryRoad, AnotherUsersTrashIsNeverRemoved) {
    const fs::path trashes = sys("/Volumes/Backup/.Trashes");
    const fs::path theirs = trashes / Decimal::text(::getuid() + 1);
    writeFile(theirs / "film.mov", "their film");
    writeFile(theirs / "notes/draft.txt", "their draft");
    writeFile(trashes / Decimal::text(::getuid()) / "old.mov", "my film");
    removeAll({item(theirs / "film.mov", Safety::review), item(theirs / "notes", Safety::review),
               item(theirs, Safety::review), item(trashes, Safety::review), item(plain)});
    EXPECT_EQ(readFile(theirs / "film.mov"), "their film");
    EXPECT_EQ(readFile(theirs / "notes/draft.txt"), "their draft");
    EXPECT_EQ(readFile(trashes / Decimal::text(::getuid()) / "old.mov"), "my film");
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
    // A road that scans for itself meets the link and removes it as a link;
    // one handed the folder's item finds another object and leaves it.
    EXPECT_TRUE(!existsItself(plain) || fs::is_symlink(plain));
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

// An item named through a link at or above the root of its location (a home
// reached through a link; on macOS /var, /tmp and /etc lead into /private) is
// matched by where it really is: an ignore entry written with the real path
// keeps it, and so does a protected place it really lies in.
TEST_P(EveryRoad, AnItemNamedThroughALinkAboveItsRootIsJudgedByItsRealPath) {
    const fs::path kept = sys("/private/var/log/com.example.kept");
    writeFile(kept / "data", "kept log");
    writeFile(sys("/private/var/db/com.example.state/data"), "system state");
    ASSERT_EQ(Ignores::add(kept.native()), Ignores::Edit::changed);
    makeSymlink("private/var", sys("/var"));
    const fs::path homeLink = tmp() / "home-link";
    makeSymlink(home(), homeLink);
    ::setenv("HOME", homeLink.c_str(), 1);
    Ignores::resetCache();
    const fs::path caches = homeLink / "Library/Caches";
    removeAll({item(caches / ignoredPath.filename()), item(caches / holdsIgnored.filename()),
               item(sys("/var/log/com.example.kept")), item(sys("/var/db/com.example.state")),
               item(caches / plain.filename())});
    EXPECT_EQ(readFile(ignoredPath / "data"), "ignored data");
    EXPECT_EQ(readFile(holdsIgnored / "keep/data"), "kept data");
    EXPECT_EQ(readFile(kept / "data"), "kept log");
    EXPECT_EQ(readFile(sys("/private/var/db/com.example.state/data")), "system state");
    EXPECT_FALSE(existsItself(plain)) << "the road removed nothing at all";
    EXPECT_EQ(canaryDamage(), "");
}

// A folder a rule names, and a whole catalog root, replaced by links to the
// user's documents (old enough for every age limit): an item named through
// either link is never reached, on any road.
TEST_P(EveryRoad, ItemsBehindALinkedRuleFolderOrCatalogRootAreNeverReached) {
    for (const auto& entry : fs::recursive_directory_iterator(canary))
        setTimes(entry.path(), std::chrono::system_clock::now() - std::chrono::hours(24 * 30));
    const fs::path ruleFolder = home() / "Library/Caches/com.apple.Safari";
    makeSymlink(canary, ruleFolder);
    const fs::path catalogRoot = home() / "Library/Logs";
    makeSymlink(canary, catalogRoot);
    const fs::path systemRoot = sys("/Library/Logs");
    makeSymlink(canary, systemRoot);
    removeAll({item(ruleFolder / "precious.txt"), item(ruleFolder / "deep"), item(catalogRoot / "hardlinked.txt"),
               item(catalogRoot / ".hidden"), item(systemRoot / "deep/er"), item(plain)});
    EXPECT_EQ(canaryDamage(), "");
    EXPECT_FALSE(existsItself(plain)) << "the road removed nothing at all";
}

// Between the scan and the removal someone swaps the folder holding an item
// for a link to a folder with an entry of the same name. The removal meets the
// link on its way and stops there.
TEST_P(EveryRoad, AFolderAboveTheItemSwappedForALinkAfterTheScanLeavesTheTarget) {
    const fs::path caches = plain.parent_path();
    const fs::path decoy = tmp() / "decoy";
    writeFile(decoy / plain.filename() / "keep.txt", "decoy's own");
    removeAll({item(plain)}, [&] {
        fs::rename(caches, caches.native() + ".aside");
        makeSymlink(decoy, caches);
    });
    EXPECT_EQ(readFile(decoy / plain.filename() / "keep.txt"), "decoy's own");
    EXPECT_EQ(canaryDamage(), "");
}

// A bind mount shows the canary inside a folder chosen for removal, and as an
// item of its own; it shares the device number of everything around it.
TEST_P(EveryRoad, BindMountsAreNeverEntered) {
    const fs::path holder = home() / "Library/Caches/com.example.mount-holder";
    writeFile(holder / "own.cache", "own");
    BindMount inside(canary, holder / "inner");
    REQUIRE_BIND_MOUNT(inside);
    BindMount itself(canary, home() / "Library/Caches/com.example.mount-point");
    REQUIRE_BIND_MOUNT(itself);
    removeAll({item(holder), item(home() / "Library/Caches/com.example.mount-point"), item(plain)});
    EXPECT_EQ(canaryDamage(), "");
    EXPECT_TRUE(existsItself(holder / "inner/precious.txt"));
}

// A chosen folder thousands of levels deep, with a file beside every folder
// so each walk comes back up through all of them: every road takes it whole
// on a small stack, so none keeps a stack frame per level, and none finds its
// way back up to anything outside the item.
TEST_P(EveryRoad, AnItemThousandsOfFoldersDeepGoesWholeOnASmallStack) {
    const fs::path deep = home() / "Library/Caches/com.example.deep";
    makeDeepChain(deep, 5'000, true);
    onThreadWithStack(256 * 1024, [&] { removeAll({item(deep), item(plain)}); });
    const bool left = existsItself(deep);
    if (left) removeDeepChain(deep);
    EXPECT_FALSE(left);
    EXPECT_FALSE(existsItself(plain));
    EXPECT_EQ(canaryDamage(), "");
}

// An ignore list that is there but cannot be read protects something no one
// can tell: nothing is removed at all.
TEST_P(EveryRoad, AnUnreadableIgnoreListStopsEveryRemoval) {
    fs::remove(Ignores::fileURL());
    ASSERT_EQ(::mkfifo(Ignores::fileURL().c_str(), 0644), 0);
    Ignores::resetCache();
    removeAll({item(plain), item(folderWithLinks)});
    EXPECT_TRUE(existsItself(plain / "a/b/c.cache"));
    EXPECT_TRUE(existsItself(folderWithLinks / "own.bin"));
    EXPECT_EQ(canaryDamage(), "");
}

// Between the scan and the removal the measured folder is moved aside and the
// user's own folder renamed into its place (a thesis moved where a cache
// was). It is another object than the one the scan measured: every road
// leaves it whole, the item moved aside included.
TEST_P(EveryRoad, AFolderRenamedIntoTheItemsPlaceAfterTheScanStays) {
    const fs::path thesis = home() / "Documents/Thesis";
    writeFile(thesis / "chapter1.tex", "chapter one");
    writeFile(thesis / "figures/plot.pdf", "plot");
    const fs::path aside = plain.native() + ".aside";
    removeAll({item(plain)}, [&] {
        fs::rename(plain, aside);
        fs::rename(thesis, plain);
    });
    EXPECT_EQ(readFile(plain / "chapter1.tex"), "chapter one");
    EXPECT_EQ(readFile(plain / "figures/plot.pdf"), "plot");
    EXPECT_TRUE(existsItself(aside / "a/b/c.cache"));
    EXPECT_EQ(canaryDamage(), "");
}

// A file item rewritten in place after the scan keeps its inode but is not
// what was measured: it stays, with what was written.
TEST_P(EveryRoad, AFileRewrittenAfterTheScanStays) {
    const fs::path file = home() / "Library/Caches/com.example.notes.cache";
    writeFile(file, "old cache");
    setTimes(file, std::chrono::system_clock::now() - std::chrono::hours(24 * 30));
    removeAll({item(file), item(plain)}, [&] { writeFile(file, "the user's notes, longer"); });
    EXPECT_EQ(readFile(file), "the user's notes, longer");
    EXPECT_EQ(canaryDamage(), "");
}
