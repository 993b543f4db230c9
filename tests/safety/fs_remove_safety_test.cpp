// Removal as the user, for good and to the Trash.
#include <sys/stat.h>
#include <unistd.h>

#include "engine/admin.h"
#include "engine/fs.h"
#include "platform/file_facts.h"
#include "safety/removal_safety.h"
#include "support/unprivileged.h"

using namespace testing_support;
namespace fs = std::filesystem;

INSTANTIATE_TEST_SUITE_P(
    FSRemove, EveryRoad,
    testing::Values(RemovalRoad{"delete",
                                [](const std::vector<ScanItem>& items) {
                                    betweenScanAndRemoval();
                                    FS::remove(items, false);
                                }},
                    RemovalRoad{"trash",
                                [](const std::vector<ScanItem>& items) {
                                    betweenScanAndRemoval();
                                    FS::remove(items, true);
                                }}),
    roadName);

class FSRemoveSafety : public RemovalSafety, public testing::WithParamInterface<bool> {};

TEST_P(FSRemoveSafety, RefusalsNameTheirReason) {
    fs::path vanishedIgnored = home() / "Library/Caches/com.example.ignored-folder/never-existed";
    auto out = FS::remove({item(ignoredPath), item(vanishedIgnored), item(underIgnored), item(protectedPath),
                           item(plain, Safety::protected_)},
                          GetParam());
    EXPECT_TRUE(out.removed.empty());
    EXPECT_EQ(out.bytes, 0);
    ASSERT_EQ(out.failures.size(), 5u);
    const char* expected[] = {"On the ignore list", "On the ignore list", "On the ignore list", "Protected item",
                              "Protected item"};
    for (size_t i = 0; i < 5; ++i) EXPECT_EQ(out.failures[i].second, expected[i]) << i;
    EXPECT_TRUE(existsItself(plain));
    EXPECT_FALSE(existsItself(vanishedIgnored));
}

TEST_P(FSRemoveSafety, VanishedItemsCountAsReclaimedAndDanglingLinksAreRemoved) {
    fs::path dangling = home() / "Library/Caches/dangling";
    makeSymlink(tmp() / "nowhere", dangling);
    auto out = FS::remove({item(home() / "Library/Caches/long-gone", Safety::safe, 1000),
                           item(dangling, Safety::safe, 10), item(plain, Safety::safe, 100)},
                          GetParam());
    EXPECT_TRUE(out.failures.empty());
    ASSERT_EQ(out.removed.size(), 2u);
    EXPECT_EQ(out.removed[0].url, dangling);
    EXPECT_EQ(out.removed[1].url, plain);
    EXPECT_EQ(out.bytes, 1110);
    EXPECT_FALSE(existsItself(dangling));
    EXPECT_EQ(out.trashedTo.size(), GetParam() ? 2u : 0u);
}

TEST_P(FSRemoveSafety, UnprivilegedUserMeetsAFolderOnlyRootMayWrite) {
    fs::path rootOwned = sys("/Library/Caches/com.apple.root-owned");
    writeFile(rootOwned / "entry", "root's");
    ::chmod(rootOwned.c_str(), 0755);
    const bool toTrash = GetParam();
    std::string failure = inUnprivilegedChild([&]() -> std::string {
        auto out = FS::remove({item(rootOwned / "entry")}, toTrash);
        if (out.failures.size() != 1) return "expected one failure";
        if (out.failures[0].second != "Needs administrator access") return "got: " + out.failures[0].second;
        if (out.bytes != 0) return "a failed item added bytes";
        return "";
    });
    EXPECT_EQ(failure, "");
    EXPECT_EQ(readFile(rootOwned / "entry"), "root's");
}

INSTANTIATE_TEST_SUITE_P(DeleteAndTrash, FSRemoveSafety, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) { return info.param ? "trash" : "delete"; });

// An item no scan measured cannot be told from whatever is at its path now:
// as the user and as root it is refused while something is there, and only
// counted as gone when nothing is.
class FSRemoveUnmeasured : public RemovalSafety {};

TEST_F(FSRemoveUnmeasured, IsRefusedWhileSomethingIsThere) {
    ScanItem unmeasured = item(plain);
    unmeasured.measured.reset();
    ScanItem vanished = item(home() / "Library/Caches/never-there", Safety::safe, 7);
    for (bool toTrash : {false, true}) {
        auto out = FS::remove({unmeasured, vanished}, toTrash);
        ASSERT_EQ(out.failures.size(), 1u);
        EXPECT_EQ(out.failures[0].second, "Not measured by a scan");
        EXPECT_EQ(out.bytes, 7);
        EXPECT_TRUE(existsItself(plain / "a/b/c.cache"));
    }
    installBatchBackend();
    auto batch = Admin::removeAsRoot({{plain, std::nullopt}, {home() / "Library/Caches/never-there", std::nullopt}});
    EXPECT_EQ(batch.failed, std::vector<std::string>{plain.native()});
    EXPECT_EQ(batch.reasons, std::vector<std::string>{"Not measured by a scan"});
    EXPECT_EQ(batch.removed, std::vector<std::string>{(home() / "Library/Caches/never-there").native()});
    EXPECT_TRUE(existsItself(plain / "a/b/c.cache"));
}
