// One cleaning run as both faces use it: each path removed and counted once,
// the figures and the history what really happened, a stop between items.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/cleaning.h"
#include "engine/clean_history.h"
#include "platform/file_facts.h"
#include "support/privileged_shell.h"
#include "support/test_env.h"
#include "support/unprivileged.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

ScanItem item(const fs::path& path, int64_t size, Safety safety = Safety::safe) {
    ScanItem i;
    i.url = path;
    i.name = path.filename().string();
    i.size = size;
    i.safety = safety;
    i.isSelected = true;
    i.measured = measureObject(path);  // as the scan found it
    return i;
}

Cleaning::Request request(std::vector<ScanItem> forGood, std::vector<ScanItem> toTrash = {}) {
    Cleaning::Request r;
    r.forGood = std::move(forGood);
    r.toTrash = std::move(toTrash);
    r.source = "cli";
    r.modules = {"systemJunk"};
    return r;
}

std::vector<std::string> entries(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

class CleaningRun : public TestEnv {
protected:
    void SetUp() override {
        TestEnv::SetUp();
        // A cache two modules both list, a folder and a file inside it, a
        // log whose parent folder a later item holds.
        cache = home() / "Library/Caches/com.apple.Music";
        writeFile(cache / "a", std::string(4000, 'a'));
        logs = home() / "Library/Logs/old";
        writeFile(logs / "one.log", std::string(3000, 'l'));
        inner = logs / "one.log";
    }

    const CleanupRecord& lastRecord() {
        history = CleanHistory::recent(10);
        EXPECT_FALSE(history.empty());
        static CleanupRecord none;
        return history.empty() ? none : history.front();
    }

    fs::path cache, logs, inner;
    std::vector<CleanupRecord> history;
};

TEST_F(CleaningRun, EachPathIsRemovedAndCountedOnceWhateverListsIt) {
    // Sizes as scans report them: the folder's own bytes include its file's.
    struct Case {
        const char* name;
        std::vector<ScanItem> forGood;
        std::vector<ScanItem> toTrash;
        int64_t reclaimed;
        int64_t removed;
    };
    const ScanItem music = item(cache, 8192), musicAgain = item(cache, 8192);
    const ScanItem folder = item(logs, 8192), file = item(inner, 4096);
    const ScanItem gone = item(home() / "Library/Caches/never-there", 1 << 20);
    const Case cases[] = {
        // Listed by System Junk and by Music: removed once, counted once.
        {"same path twice", {music, musicAgain}, {}, 8192, 1},
        // The same path once with a trailing slash.
        {"spelled with a slash", {music, item(cache.string() + "/", 8192)}, {}, 8192, 1},
        // The file went with its folder before its own turn.
        {"folder then its file", {folder, file}, {}, 8192, 1},
        // The file first, then the folder: the folder's bytes leave out the file's.
        {"file then its folder", {file, folder}, {}, 8192, 2},
        // Gone before the run: reclaimed by whoever removed it.
        {"already gone", {gone, music}, {}, 8192, 1},
        // Listed for both roads: it goes once, to the Trash.
        {"both roads", {music}, {musicAgain}, 8192, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(cache / "a", std::string(4000, 'a'));
        writeFile(inner, std::string(3000, 'l'));
        fs::remove_all(home() / ".Trash");

        // The tree is made again for each case: the scan's look is now.
        auto measuredNow = [](std::vector<ScanItem> items) {
            for (auto& i : items) i.measured = measureObject(i.url);
            return items;
        };
        const Cleaning::Outcome out = Cleaning::run(request(measuredNow(c.forGood), measuredNow(c.toTrash)));
        EXPECT_EQ(out.reclaimed, c.reclaimed);
        EXPECT_EQ(out.removedCount, c.removed);
        EXPECT_TRUE(out.failures.empty());
        for (const auto& i : c.forGood) EXPECT_FALSE(existsItself(i.url)) << i.url;
        const CleanupRecord& record = lastRecord();
        EXPECT_EQ(record.reclaimedBytes, c.reclaimed);
        EXPECT_EQ(record.removedCount, c.removed);
        EXPECT_EQ(record.failureCount, 0);
    }
    // "both roads" left exactly one entry in the Trash.
    EXPECT_EQ(entries(home() / ".Trash"), std::vector<std::string>{"com.apple.Music"});
}

TEST_F(CleaningRun, AnItemInsideTheTrashIsDeletedForGoodNotRenamedInPlace) {
    const fs::path big = home() / ".Trash/big.bin";
    writeFile(big, std::string(5000, 'b'));
    const Cleaning::Outcome out = Cleaning::run(request({}, {item(big, 8192, Safety::review)}));
    EXPECT_EQ(out.removedCount, 1);
    EXPECT_EQ(out.reclaimed, 8192);
    EXPECT_EQ(out.trashedBytes, 0);  // nothing was moved anywhere
    EXPECT_TRUE(entries(home() / ".Trash").empty());
}

TEST_F(CleaningRun, ADryRunRemovesNothingAndCountsEachPathOnce) {
    Cleaning::Request r = request({item(cache, 8192), item(cache, 8192), item(logs, 8192), item(inner, 4096)});
    r.apply = false;
    const Cleaning::Outcome out = Cleaning::run(r);
    EXPECT_EQ(out.reclaimed, 16384);
    EXPECT_EQ(out.removedCount, 2);
    EXPECT_TRUE(fs::exists(cache / "a"));
    EXPECT_TRUE(fs::exists(inner));
    EXPECT_TRUE(lastRecord().dryRun);
    EXPECT_EQ(lastRecord().reclaimedBytes, 16384);
}

TEST_F(CleaningRun, AStopComesBetweenItemsAndTheRecordSaysWhatWent) {
    std::vector<ScanItem> items;
    for (int i = 0; i < 5; ++i) {
        const fs::path p = home() / "Library/Caches" / ("c" + std::to_string(i));
        writeFile(p / "x", "x");
        items.push_back(item(p, 4096));
    }
    auto stop = std::make_shared<ScanToken>();
    std::vector<Cleaning::Step> steps;
    const Cleaning::Outcome out = Cleaning::run(request(items), stop.get(), [&](const Cleaning::Step& s) {
        steps.push_back(s);
        if (s.done == 2) stop->cancel();  // the user presses Stop while the third item is due
    });
    EXPECT_TRUE(out.stopped);
    EXPECT_EQ(out.removedCount, 2);
    EXPECT_EQ(out.notTried, 3);
    EXPECT_EQ(out.reclaimed, 2 * 4096);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(fs::exists(items[size_t(i)].url), i >= 2) << i;
    ASSERT_EQ(steps.size(), 3u);
    EXPECT_EQ(steps.front().total, 5u);
    EXPECT_EQ(steps.back().done, 2u);
    // One record, with what really went.
    ASSERT_EQ(CleanHistory::recent(10).size(), 1u);
    EXPECT_EQ(lastRecord().removedCount, 2);
    EXPECT_EQ(lastRecord().reclaimedBytes, 2 * 4096);
}

TEST_F(CleaningRun, TheSameSystemPathGoesOnceInOneBatch) {
    const fs::path caches = sys("/Library/Caches");
    const fs::path shared = caches / "com.example.shared";
    writeFile(shared / "blob", "b");
    ASSERT_EQ(::chmod(caches.c_str(), 01777), 0);
    ASSERT_EQ(::chown(shared.c_str(), kUnprivilegedId, kUnprivilegedId), 0);
    auto prompts = installPlainShellBackend();

    const Cleaning::Outcome out = Cleaning::run(request({item(shared, 8192), item(shared, 8192)}));
    ASSERT_EQ(prompts->prompts.size(), 1u);
    EXPECT_NE(prompts->prompts[0]->find("remove 1 system item from"), std::string::npos) << *prompts->prompts[0];
    EXPECT_EQ(out.removedCount, 1);
    EXPECT_EQ(out.removedAsRoot, 1);
    EXPECT_EQ(out.reclaimed, 8192);
    EXPECT_FALSE(existsItself(shared));

    // Without leave to ask, it is skipped, counted as denied, and stays.
    writeFile(shared / "blob", "b");
    ASSERT_EQ(::chown(shared.c_str(), kUnprivilegedId, kUnprivilegedId), 0);
    Cleaning::Request noAdmin = request({item(shared, 8192), item(shared, 8192)});
    noAdmin.allowAdmin = false;
    const Cleaning::Outcome skipped = Cleaning::run(noAdmin);
    EXPECT_EQ(skipped.skippedForAdmin.size(), 1u);
    EXPECT_EQ(skipped.removedCount, 0);
    EXPECT_EQ(lastRecord().permissionDeniedCount, 1);
    EXPECT_TRUE(fs::exists(shared / "blob"));
    EXPECT_EQ(prompts->prompts.size(), 1u);
}
