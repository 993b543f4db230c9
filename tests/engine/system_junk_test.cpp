#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <set>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "engine/fs.h"
#include "engine/system_junk.h"
#include "platform/clock.h"
#include "support/test_env.h"

using namespace testing_support;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

const ScanCategory* category(const ScanReport& report, const std::string& id) {
    for (const auto& c : report.categories)
        if (c.id == id && !c.items.empty()) return &c;
    return nullptr;
}

std::set<fs::path> paths(const ScanCategory* c) {
    std::set<fs::path> out;
    if (c)
        for (const auto& item : c->items) out.insert(item.url);
    return out;
}

ScanItem itemAt(const std::string& path, int64_t size = 1) {
    ScanItem item;
    item.url = path;
    item.name = fs::path(path).filename().string();
    item.size = size;
    return item;
}

ScanCategory categoryOf(const std::string& id, std::vector<std::string> itemPaths) {
    ScanCategory c;
    c.id = id;
    for (const auto& p : itemPaths) c.items.push_back(itemAt(p));
    return c;
}

}  // namespace

class SystemJunkReport : public TestEnv {
protected:
    const std::chrono::system_clock::time_point now = std::chrono::system_clock::time_point(1'800'000'000s);
    void SetUp() override {
        TestEnv::SetUp();
        Clock::setForTesting([this] { return now; });
    }
    void age(const fs::path& path, std::chrono::seconds by) { setTimes(path, now - by); }
};

TEST_F(SystemJunkReport, CountsNoByteTwice) {
    // A cache folder old enough to be listed whole, whose children the
    // photo-sync detector and the photo-cache rule also find.
    fs::path photos = home() / "Library/Caches/com.apple.Photos";
    allocateFile(photos / "thumbs/t1", 96 * 1024);
    allocateFile(photos / "thumbs/t2", 32 * 1024);
    allocateFile(photos / "preview.db", 200 * 1024);
    age(photos / "thumbs", 10 * 86400s);
    age(photos / "preview.db", 10 * 86400s);
    age(photos, 10 * 86400s);
    // An update cache listed whole, holding a payload the update detector finds.
    fs::path updates = home() / "Library/Caches/com.apple.SoftwareUpdate";
    allocateFile(updates / "macOS.pkg", 3 * 1024 * 1024);
    age(updates, 10 * 86400s);
    // A photo-sync folder too young for the cache rule: its children stay with the detector.
    allocateFile(home() / "Library/Caches/com.apple.mobileslideshow/sync-1", 48 * 1024);
    age(home() / "Library/Caches/com.apple.mobileslideshow", 0s);
    // An old disk image the downloads rule finds, and one only the detector finds.
    allocateFile(home() / "Downloads/Old.dmg", 512 * 1024);
    age(home() / "Downloads/Old.dmg", 40 * 86400s);
    allocateFile(home() / "Documents/Other.iso", 128 * 1024);
    age(home() / "Documents/Other.iso", 40 * 86400s);
    allocateFile(home() / "Library/Preferences/com.example.gone.plist", 4096);

    ScanToken token;
    ScanReport report = SystemJunk::scan(token, nullptr);

    // The earlier items stay.
    EXPECT_EQ(paths(category(report, "user-caches")), (std::set<fs::path>{photos, updates}));
    EXPECT_EQ(paths(category(report, "downloads")), (std::set<fs::path>{home() / "Downloads/Old.dmg"}));
    EXPECT_EQ(paths(category(report, "photo-cache")), (std::set<fs::path>{photos / "thumbs", photos / "preview.db"}));
    // The detectors keep only what nothing before them holds.
    EXPECT_EQ(paths(category(report, "photo-sync-caches")),
              (std::set<fs::path>{home() / "Library/Caches/com.apple.mobileslideshow/sync-1"}));
    EXPECT_EQ(paths(category(report, "unused-disk-images")), (std::set<fs::path>{home() / "Documents/Other.iso"}));
    EXPECT_EQ(category(report, "old-updates"), nullptr);
    EXPECT_EQ(paths(category(report, "broken-preferences")),
              (std::set<fs::path>{home() / "Library/Preferences/com.example.gone.plist"}));

    // The report's total is what its places hold, each byte once.
    std::set<std::string> unionOfPaths;  // sorted: a folder comes before what it holds
    for (const auto& c : report.categories)
        for (const auto& item : c.items) unionOfPaths.insert(item.url.string());
    FS::SeenSet seen;
    int64_t measured = 0;
    for (const auto& p : unionOfPaths) measured += FS::size(p, seen);
    EXPECT_EQ(report.totalSize(), measured);
    EXPECT_GT(measured, 3 * 1024 * 1024);
}

TEST_F(SystemJunkReport, CategoriesComeInTheirOrder) {
    allocateFile(home() / "Library/Caches/com.apple.mobileslideshow/sync-1", 4096);
    age(home() / "Library/Caches/com.apple.mobileslideshow", 0s);
    std::vector<std::string> messages;
    auto progress = [&](double, const std::string& m) { messages.push_back(m); };

    ScanToken token;
    ScanReport report = SystemJunk::scan(token, progress);
    std::vector<std::string> ids;
    for (const auto& c : report.categories) ids.push_back(c.id);
    const std::vector<std::string> expected = {
        "user-caches",  "system-caches",      "user-logs",          "system-logs",    "developer",
        "ios-backups",  "downloads",          "photo-cache",        "language-files", "broken-preferences",
        "broken-login-items", "language-files", "photo-sync-caches"};
    EXPECT_EQ(ids, expected);
    EXPECT_EQ(messages.front(), "Scanning User Cache Files\u2026");
    EXPECT_EQ(messages.back(), "Checking photo sync caches\u2026");
    EXPECT_FALSE(report.coverage.empty());

    ScanReport quick = SystemJunk::scan(token, nullptr, SystemJunk::LanguageFiles::skip);
    EXPECT_EQ(std::count_if(quick.categories.begin(), quick.categories.end(),
                            [](const ScanCategory& c) { return c.id == "language-files"; }),
              1);
}

TEST(SystemJunkOverlap, LaterItemsWhosePlaceIsTakenAreLeftOut) {
    ScanReport report;
    report.categories.push_back(categoryOf("first", {"/r/a", "/r/b/c", "/r/caf\u00E9"}));
    report.categories.push_back(categoryOf("empty-first", {}));

    SystemJunk::appendUncounted(report, {
        categoryOf("later", {"/r/a",          // the same place
                             "/r/a/x",        // inside a taken folder
                             "/r/b",          // holds a taken item
                             "/r/ab",         // a sibling that only shares letters
                             "/r/b/cd",       // likewise
                             "/r/./z",        // kept, spelled loosely
                             "/r/z/y",        // inside an item kept just before
                             "/r/cafe\u0301/x"}),  // inside a taken folder, spelled decomposed
        categoryOf("all-taken", {"/r/a/y", "/r/b/c"}),
        categoryOf("empty-later", {}),
    });

    std::vector<std::string> ids;
    for (const auto& c : report.categories) ids.push_back(c.id);
    EXPECT_EQ(ids, (std::vector<std::string>{"first", "empty-first", "later", "empty-later"}));
    std::vector<std::string> kept;
    for (const auto& item : report.categories[2].items) kept.push_back(item.url.string());
    EXPECT_EQ(kept, (std::vector<std::string>{"/r/ab", "/r/b/cd", "/r/./z"}));
    EXPECT_EQ(report.categories[0].items.size(), 3u);
}

// A Stop is felt at once, not after the batch of caches being measured: with
// many cache folders of many files, the scan returns within a small share of
// the time the whole scan takes (the share is what a loaded machine cannot
// blur; the old wait was about half of it).
TEST_F(SystemJunkReport, AStoppedScanReturnsAtOnceFromTheMiddleOfItsCaches) {
    constexpr int kFolders = 128, kFiles = 1000;
    for (int d = 0; d < kFolders; ++d) {
        const fs::path folder = home() / "Library/Caches" / ("com.example.cache" + std::to_string(d));
        fs::create_directories(folder);
        for (int f = 0; f < kFiles; ++f) {
            const int fd = ::open((folder / std::to_string(f)).c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
            ASSERT_GE(fd, 0);
            ASSERT_EQ(::write(fd, "x", 1), 1);
            ::close(fd);
        }
        age(folder, 72h);
    }
    using Steady = std::chrono::steady_clock;
    auto scanOnce = [] {
        ScanToken token;
        const auto start = Steady::now();
        SystemJunk::scan(token, {});
        return Steady::now() - start;
    };
    scanOnce();  // the tree read once, as a second scan finds it
    const auto whole = scanOnce();
    ASSERT_GT(whole, 20ms) << "the fixture is too small to show a wait";

    ScanToken token;
    std::atomic<bool> measuring{false};
    Steady::time_point returned;
    std::thread scan([&] {
        SystemJunk::scan(token, [&](double, const std::string& message) {
            if (message.find("User Cache Files") != std::string::npos) measuring = true;
        });
        returned = Steady::now();
    });
    while (!measuring) std::this_thread::yield();
    std::this_thread::sleep_for(whole / 5);
    const auto stopped = Steady::now();
    token.cancel();
    scan.join();
    const auto wait = returned - stopped;
    EXPECT_LT(wait, whole / 8) << "stop took " << std::chrono::duration<double, std::milli>(wait).count()
                               << " ms of a " << std::chrono::duration<double, std::milli>(whole).count()
                               << " ms scan";
}
