#include "engine/scanner_large_old.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <set>
#include <thread>

#include "platform/clock.h"
#include "platform/file_facts.h"
#include "platform/locale_text.h"
#include "support/test_env.h"

using namespace testing_support;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr int64_t MiB = 1024 * 1024;
constexpr auto kDay = std::chrono::hours(24);

class LargeOld : public TestEnv {
protected:
    void SetUp() override {
        TestEnv::SetUp();
        Clock::setForTesting([this] { return now; });
    }

    // A file occupying exactly the given allocated size, modified the given
    // time before now. The file system may add blocks of its own (extent
    // blocks), so the request is lowered by what it added.
    fs::path file(const fs::path& path, int64_t bytes, Clock::TimePoint::duration age) {
        int64_t request = bytes;
        for (int attempt = 0; attempt < 4; ++attempt) {
            allocateFile(path, request);
            int64_t got = lstatFacts(path)->allocatedSize;
            if (got == bytes) break;
            request -= got - bytes;
        }
        EXPECT_EQ(lstatFacts(path)->allocatedSize, bytes) << path;
        setTimes(path, now - age);
        return path;
    }

    // Many empty files, quickly.
    static void touchMany(const fs::path& folder, int count) {
        makeFolders(folder);
        for (int i = 0; i < count; ++i) {
            int fd = ::open((folder / std::to_string(i)).c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
            ASSERT_GE(fd, 0);
            ::close(fd);
        }
    }

    ScanReport scan(const std::vector<fs::path>& roots, const Scanner::LargeOldLimits& limits = {}) {
        ScanToken token;
        return Scanner::scanLargeAndOld(roots, token, nullptr, limits);
    }

    static std::vector<std::string> names(const ScanCategory& c) {
        std::vector<std::string> out;
        for (const auto& i : c.items) out.push_back(i.name);
        return out;
    }

    // A whole second, so times written with utimensat compare exactly.
    Clock::TimePoint now = Clock::TimePoint(std::chrono::seconds(1'750'000'000));
};

}  // namespace

TEST_F(LargeOld, SizeAndAgeThresholds) {
    fs::path movies = home() / "Movies";
    file(movies / "exactly-500.mov", 500 * MiB, 5 * 365 * kDay);   // large, and so never old
    file(movies / "just-under-500.mov", 500 * MiB - 4096, 366 * kDay);
    file(movies / "exactly-100-366d.mov", 100 * MiB, 366 * kDay);
    file(movies / "exactly-100-364d.mov", 100 * MiB, 364 * kDay);
    file(movies / "at-cutoff.mov", 100 * MiB, 365 * kDay);                // not strictly before the cutoff
    file(movies / "past-cutoff.mov", 100 * MiB, 365 * kDay + 1s);
    file(movies / "under-100-ancient.mov", 100 * MiB - 4096, 20 * 365 * kDay);

    auto report = scan({home()});
    ASSERT_EQ(report.categories.size(), 2u);
    const auto& large = report.categories[0];
    const auto& old = report.categories[1];
    EXPECT_EQ(large.id, "large-files");
    EXPECT_EQ(large.title, "Large Files");
    EXPECT_EQ(large.detail, "Bigger than 500 MB. Worth a second look before you decide.");
    EXPECT_EQ(old.id, "old-files");
    EXPECT_EQ(old.title, "Old Files");
    EXPECT_EQ(old.detail, "Over 100 MB and untouched for more than a year.");

    EXPECT_EQ(names(large), std::vector<std::string>{"exactly-500.mov"});
    ASSERT_EQ(old.items.size(), 3u);
    EXPECT_EQ(old.items[0].name, "just-under-500.mov");
    EXPECT_EQ(std::set<std::string>({old.items[1].name, old.items[2].name}),
              (std::set<std::string>{"exactly-100-366d.mov", "past-cutoff.mov"}));

    EXPECT_EQ(large.items[0].url, movies / "exactly-500.mov");
    EXPECT_EQ(large.items[0].detail, "~/Movies/exactly-500.mov");
    EXPECT_EQ(large.items[0].size, 524'288'000);
    EXPECT_EQ(old.items[0].detail, "~/Movies/just-under-500.mov \u00B7 untouched for 12 months");
    for (const auto* c : {&large, &old})
        for (const auto& item : c->items) {
            EXPECT_EQ(item.safety, Safety::review);
            EXPECT_FALSE(item.isSelected);
        }
    EXPECT_EQ(report.scannedAt, now);
    EXPECT_TRUE(report.errors.empty());
    EXPECT_TRUE(report.permissionBlocked.empty());
    EXPECT_TRUE(report.coverage.empty());
    EXPECT_FALSE(report.ruleSetInfo);
}

TEST_F(LargeOld, EachFileOnceAndNeverThroughLinksPackagesOrHiddenFolders) {
    const auto ancient = 3 * 365 * kDay;
    fs::path outside = file(tmp() / "outside/old.bin", 100 * MiB, ancient);
    makeSymlink(outside, home() / "link-to-old.bin");
    makeSymlink(tmp() / "outside", home() / "link-to-folder");
    fs::path first = file(home() / "Archive/disk.img", 100 * MiB, ancient);
    fs::create_hard_link(first, home() / "Archive/disk-again.img");
    setTimes(first, now - ancient);
    file(home() / "Applications/Big.app/Contents/payload.bin", 100 * MiB, ancient);
    file(home() / ".cache/hidden.bin", 100 * MiB, ancient);
    file(home() / "Documents/.secret.bin", 100 * MiB, ancient);
    // Marked hidden by the platform, whatever their names.
    file(home() / "Documents/flagged.bin", 100 * MiB, ancient);
    file(home() / "Flagged Folder/inside.bin", 100 * MiB, ancient);
    const FileIdentity flaggedFile = lstatFacts(home() / "Documents/flagged.bin")->identity;
    const FileIdentity flaggedFolder = lstatFacts(home() / "Flagged Folder")->identity;
    setMarkedHiddenForTesting([&](const FileIdentity& id) { return id == flaggedFile || id == flaggedFolder; });

    auto report = scan({home()});
    EXPECT_TRUE(report.categories[0].items.empty());
    ASSERT_EQ(report.categories[1].items.size(), 1u);
    const auto& item = report.categories[1].items[0];
    EXPECT_TRUE(item.url == first || item.url == home() / "Archive/disk-again.img") << item.url;
    EXPECT_EQ(item.detail, "~/Archive/" + item.name + " \u00B7 untouched for 3 years");
}

TEST_F(LargeOld, RootsWalkedInOrderCutToTheLargestStably) {
    const auto ancient = 2 * 365 * kDay;
    file(tmp() / "r1/a.bin", 100 * MiB, ancient);
    file(tmp() / "r2/b.bin", 100 * MiB, ancient);
    file(tmp() / "r3/c.bin", 100 * MiB + 4096, ancient);
    Scanner::LargeOldLimits limits;
    limits.listCut = 2;
    auto report = scan({tmp() / "r1", tmp() / "missing", tmp() / "r2", tmp() / "r3"}, limits);
    EXPECT_EQ(names(report.categories[1]), (std::vector<std::string>{"c.bin", "a.bin"}));
    // The same walk in the other order keeps b ahead of a.
    report = scan({tmp() / "r2", tmp() / "r1", tmp() / "r3"}, limits);
    EXPECT_EQ(names(report.categories[1]), (std::vector<std::string>{"c.bin", "b.bin"}));

    for (const auto& roots : {std::vector<fs::path>{}, std::vector<fs::path>{tmp() / "missing"}}) {
        auto empty = scan(roots);
        ASSERT_EQ(empty.categories.size(), 2u);
        EXPECT_TRUE(empty.categories[0].items.empty());
        EXPECT_TRUE(empty.categories[1].items.empty());
    }
}

TEST_F(LargeOld, RootThatIsALinkIsWalkedUnderItsOwnName) {
    file(tmp() / "real-home/Movies/old.mov", 100 * MiB, 400 * kDay);
    makeSymlink(tmp() / "real-home", tmp() / "linked-home");
    auto report = scan({tmp() / "linked-home"});
    ASSERT_EQ(report.categories[1].items.size(), 1u);
    EXPECT_EQ(report.categories[1].items[0].url, tmp() / "linked-home/Movies/old.mov");
}

TEST_F(LargeOld, ProgressEveryTwoThousandEntries) {
    touchMany(home() / "many", 1999);
    std::vector<std::pair<double, std::string>> calls;
    auto record = [&](double f, const std::string& m) { calls.emplace_back(f, m); };
    ScanToken token;
    Scanner::scanLargeAndOld({home()}, token, record);  // 2,000 entries with the folder itself
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_DOUBLE_EQ(calls[0].first, 0.005);
    EXPECT_EQ(calls[0].second, "Examined 2,000 files\u2026");

    calls.clear();
    writeFile(home() / "one-more", "");
    writeFile(home() / ".hidden", "");  // not an entry of the walk
    Scanner::scanLargeAndOld({home()}, token, record);
    EXPECT_EQ(calls.size(), 1u);

    // The count is grouped as the user's locale groups digits.
    for (const auto& [locale, line] : {std::pair{"de_DE", "Examined 2.000 files\u2026"},
                                       std::pair{"fr_FR", "Examined 2\u202F000 files\u2026"}}) {
        LocaleText::setForTesting(std::string(locale));
        calls.clear();
        fs::remove(home() / "one-more");
        Scanner::scanLargeAndOld({home()}, token, record);
        ASSERT_EQ(calls.size(), 1u) << locale;
        EXPECT_EQ(calls[0].second, line) << locale;
    }
}

TEST_F(LargeOld, EntryLimitAndFractionCapAcrossRoots) {
    touchMany(tmp() / "r1", 60);
    touchMany(tmp() / "r2", 60);
    Scanner::LargeOldLimits limits;
    limits.progressStep = 10;
    limits.progressScale = 40;
    limits.entryLimit = 40;
    std::vector<std::pair<double, std::string>> calls;
    ScanToken token;
    auto stopped = Scanner::scanLargeAndOld({tmp() / "r1", tmp() / "r2"}, token,
                                            [&](double f, const std::string& m) { calls.emplace_back(f, m); }, limits);
    // Reported at 10 ... 50, the walk going on at the limit itself and stopping at the next point.
    ASSERT_EQ(calls.size(), 5u);
    const double fractions[] = {0.25, 0.5, 0.75, 0.98, 0.98};
    for (size_t i = 0; i < 5; ++i) EXPECT_DOUBLE_EQ(calls[i].first, fractions[i]) << i;
    EXPECT_EQ(calls[4].second, "Examined 50 files\u2026");
    // The report says the lists are partial, naming the limit.
    EXPECT_EQ(stopped.errors, std::vector<std::string>{
                                  "Stopped at the limit of 40 entries, after 50: files beyond them were not looked at."});

    // Without the limit, the count runs on over both roots.
    calls.clear();
    limits.entryLimit = 1'000;
    limits.progressScale = 1'000;
    auto whole = Scanner::scanLargeAndOld({tmp() / "r1", tmp() / "r2"}, token,
                                          [&](double f, const std::string& m) { calls.emplace_back(f, m); }, limits);
    ASSERT_EQ(calls.size(), 12u);
    EXPECT_EQ(calls.back().second, "Examined 120 files\u2026");
    EXPECT_TRUE(whole.errors.empty());
}

TEST_F(LargeOld, CancellationReturnsWhatWasFound) {
    const auto ancient = 2 * 365 * kDay;
    file(tmp() / "r1/found.bin", 100 * MiB, ancient);
    touchMany(tmp() / "r1", 9);
    file(tmp() / "r2/never.bin", 100 * MiB, ancient);
    Scanner::LargeOldLimits limits;
    limits.progressStep = 10;

    ScanToken token;
    int calls = 0;
    auto report = Scanner::scanLargeAndOld({tmp() / "r1", tmp() / "r2"}, token, [&](double, const std::string&) {
        ++calls;
        token.cancel();
    }, limits);
    EXPECT_EQ(calls, 1);
    ASSERT_EQ(report.categories.size(), 2u);
    EXPECT_EQ(names(report.categories[1]), std::vector<std::string>{"found.bin"});
    EXPECT_TRUE(report.errors.empty()) << "a cancelled scan was asked to stop";

    calls = 0;
    auto none = Scanner::scanLargeAndOld({tmp() / "r1"}, token, [&](double, const std::string&) { ++calls; }, limits);
    EXPECT_EQ(calls, 0);
    ASSERT_EQ(none.categories.size(), 2u);
    EXPECT_TRUE(none.categories[1].items.empty());
}

TEST_F(LargeOld, CancellingFromAnotherThreadStopsALargeWalkPromptly) {
    for (int f = 0; f < 20; ++f) touchMany(tmp() / "r1" / ("folder" + std::to_string(f)), 200);
    file(tmp() / "r2/never.bin", 100 * MiB, 2 * 365 * kDay);
    Scanner::LargeOldLimits limits;
    limits.progressStep = 20;

    // Each progress point takes a moment, so the walk of r1 alone lasts far
    // longer than the cancellation may.
    ScanToken token;
    std::atomic<int> calls{0};
    std::atomic<bool> started{false};
    ScanReport report;
    std::chrono::steady_clock::time_point returned;
    std::thread scan([&] {
        report = Scanner::scanLargeAndOld({tmp() / "r1", tmp() / "r2"}, token, [&](double, const std::string&) {
            ++calls;
            started = true;
            std::this_thread::sleep_for(2ms);
        }, limits);
        returned = std::chrono::steady_clock::now();
    });
    while (!started) std::this_thread::sleep_for(1ms);
    const auto cancelled = std::chrono::steady_clock::now();
    token.cancel();
    scan.join();

    EXPECT_LT(returned - cancelled, 300ms);
    EXPECT_LT(calls.load(), 4'000 / 20);
    ASSERT_EQ(report.categories.size(), 2u);
    EXPECT_TRUE(report.categories[1].items.empty());
}

TEST_F(LargeOld, AgeTexts) {
    struct Case {
        Clock::TimePoint::duration age;
        const char* text;
    } cases[] = {
        {20 * kDay, "1 months"},   {60 * kDay, "2 months"},   {365 * kDay, "12 months"},
        {719 * kDay, "23 months"}, {720 * kDay, "2 years"},   {1100 * kDay, "3 years"},
        {0s, "1 months"},          {-30 * kDay, "1 months"},  {100 * 365 * kDay, "101 years"},
    };
    for (const auto& c : cases) EXPECT_EQ(Scanner::months(now - c.age), c.text) << c.text;
}

TEST_F(LargeOld, VisibleSubfolders) {
    makeFolders(tmp() / "f/a");
    makeFolders(tmp() / "f/.b");
    writeFile(tmp() / "f/c", "file");
    makeFolders(tmp() / "elsewhere");
    makeSymlink(tmp() / "elsewhere", tmp() / "f/d");
    makeSymlink(tmp() / "nowhere", tmp() / "f/e");
    makeSymlink(tmp() / "f/c", tmp() / "f/g");
    auto found = Scanner::directories(tmp() / "f");
    EXPECT_EQ(std::set<fs::path>(found.begin(), found.end()), (std::set<fs::path>{tmp() / "f/a", tmp() / "f/d"}));
    EXPECT_TRUE(Scanner::directories(tmp() / "missing").empty());
    EXPECT_TRUE(Scanner::directories(tmp() / "f/c").empty());
}
