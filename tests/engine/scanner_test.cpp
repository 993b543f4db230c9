#include "engine/scanner.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <map>

#include "engine/fs.h"
#include "engine/ignores.h"
#include "platform/clock.h"
#include "platform/locations.h"
#include "support/test_env.h"
#include "support/unprivileged.h"

using namespace testing_support;
namespace fs = std::filesystem;
using Status = CoverageEntry::Status;

namespace {

// The scan with a progress recorder; the token is never cancelled.
struct Recorded {
    ScanReport report;
    std::vector<std::pair<double, std::string>> progress;
};

Recorded scanRecording(const std::vector<JunkCategory>& categories) {
    Recorded r;
    ScanToken token;
    r.report = Scanner::scan(categories, token, [&](double f, const std::string& m) { r.progress.emplace_back(f, m); });
    return r;
}

const ScanCategory* category(const ScanReport& report, const std::string& id) {
    for (const auto& c : report.categories)
        if (c.id == id) return &c;
    return nullptr;
}

const CoverageEntry* coverage(const ScanReport& report, const std::string& id) {
    for (const auto& e : report.coverage)
        if (e.id == id) return &e;
    return nullptr;
}

std::vector<std::string> itemNames(const ScanCategory& c) {
    std::vector<std::string> out;
    for (const auto& item : c.items) out.push_back(item.name);
    return out;
}

int64_t allocated(const fs::path& path) { return lstatFacts(path)->allocatedSize; }

}  // namespace

class CatalogScan : public TestEnv {
protected:
    void SetUp() override {
        TestEnv::SetUp();
        now_ = std::chrono::time_point_cast<std::chrono::seconds>(std::chrono::system_clock::now());
        Clock::setForTesting([t = now_] { return t; });
    }
    Clock::TimePoint ago(double days) const {
        return now_ - std::chrono::duration_cast<Clock::TimePoint::duration>(std::chrono::duration<double>(days * 86400));
    }
    // Sets the item's own modification time (links are not followed).
    void age(const fs::path& path, double days) const { setTimes(path, ago(days)); }

    fs::path lib(std::string_view rel) const { return home() / "Library" / rel; }

    Clock::TimePoint now_;
};

// A sample home with old and fresh caches, logs, installers, Mail attachments
// and a browser cache, and a system root with shared caches and logs.
TEST_F(CatalogScan, SystemJunkOfASampleHome) {
    allocateFile(lib("Caches/com.example.editor/blob.bin"), 64 * 1024);
    allocateFile(lib("Caches/com.example.editor/sub/part.bin"), 8 * 1024);
    allocateFile(lib("Caches/com.example.fresh/blob.bin"), 16 * 1024);
    allocateFile(lib("Caches/com.apple.Safari/WebKitCache/record.bin"), 32 * 1024);
    allocateFile(lib("Caches/com.nordvpn.client/state.bin"), 4 * 1024);
    allocateFile(lib("Caches/com.apple.iconservices.store"), 12 * 1024);
    allocateFile(lib("Logs/sync-old.log"), 4 * 1024);
    allocateFile(lib("Logs/sync-new.log"), 4 * 1024);
    allocateFile(sys("/Library/Caches/com.vendor.shared/index.bin"), 20 * 1024);
    allocateFile(sys("/private/var/log/install.log"), 4 * 1024);
    allocateFile(home() / "Downloads/Installer.dmg", 40 * 1024);
    allocateFile(home() / "Downloads/Recent.pkg", 40 * 1024);
    allocateFile(home() / "Downloads/notes.txt", 4 * 1024);
    allocateFile(lib("Mail/V10/MailData/Attachments/42/report.pdf"), 24 * 1024);

    age(lib("Caches/com.example.editor"), 3);
    age(lib("Caches/com.example.fresh"), 0.5);
    age(lib("Caches/com.apple.Safari"), 2);
    age(lib("Caches/com.nordvpn.client"), 10);
    age(lib("Caches/com.apple.iconservices.store"), 0.1);
    age(lib("Logs/sync-old.log"), 8);
    age(lib("Logs/sync-new.log"), 6);
    age(sys("/Library/Caches/com.vendor.shared"), 2);
    age(sys("/private/var/log/install.log"), 30);
    age(home() / "Downloads/Installer.dmg", 31);
    age(home() / "Downloads/Recent.pkg", 29);
    age(home() / "Downloads/notes.txt", 90);
    age(lib("Mail/V10/MailData/Attachments/42"), 61);

    auto [report, progress] = scanRecording(Catalog::systemJunk());

    // Nine progress reports, each before its category, on a scale of 20 rules
    // plus one step for the category without rules.
    const std::vector<int> steps = {0, 2, 3, 4, 6, 14, 15, 18, 20};
    const auto catalog = Catalog::systemJunk();
    ASSERT_EQ(progress.size(), steps.size());
    for (size_t i = 0; i < steps.size(); ++i) {
        EXPECT_DOUBLE_EQ(progress[i].first, steps[i] / 21.0) << i;
        EXPECT_EQ(progress[i].second, "Scanning " + catalog[i].title + "\u2026");
    }

    std::vector<std::string> ids;
    for (const auto& c : report.categories) ids.push_back(c.id);
    EXPECT_EQ(ids, (std::vector<std::string>{"user-caches", "system-caches", "user-logs", "system-logs", "developer",
                                             "ios-backups", "downloads", "photo-cache", "language-files"}));

    // User caches: the old folders, largest first; the fresh one is too young
    // for the "/*" rule, and the icon store is reported by its own rule
    // whatever its age. The VPN client's cache is shown but protected.
    const auto* caches = category(report, "user-caches");
    ASSERT_NE(caches, nullptr);
    EXPECT_EQ(itemNames(*caches), (std::vector<std::string>{"com.example.editor", "com.apple.Safari",
                                                             "com.apple.iconservices.store", "com.nordvpn.client"}));
    const auto& editor = caches->items[0];
    EXPECT_EQ(editor.size, allocated(lib("Caches/com.example.editor/blob.bin")) +
                               allocated(lib("Caches/com.example.editor/sub/part.bin")) + 4096);
    EXPECT_EQ(editor.detail, "~/Library/Caches/com.example.editor");
    EXPECT_EQ(editor.url, lib("Caches/com.example.editor"));
    for (const auto& item : caches->items) {
        bool isVpn = item.name == "com.nordvpn.client";
        EXPECT_EQ(item.safety, isVpn ? Safety::protected_ : Safety::safe) << item.name;
        EXPECT_EQ(item.isSelected, !isVpn) << item.name;
    }

    const auto* systemCaches = category(report, "system-caches");
    ASSERT_EQ(systemCaches->items.size(), 1u);
    EXPECT_EQ(systemCaches->items[0].url, sys("/Library/Caches/com.vendor.shared"));
    EXPECT_EQ(itemNames(*category(report, "user-logs")), std::vector<std::string>{"sync-old.log"});
    EXPECT_EQ(itemNames(*category(report, "system-logs")), std::vector<std::string>{"install.log"});
    EXPECT_TRUE(category(report, "developer")->items.empty());

    // Installers are reported for review, unselected; other files are not.
    const auto* downloads = category(report, "downloads");
    ASSERT_EQ(downloads->items.size(), 1u);
    EXPECT_EQ(downloads->items[0].name, "Installer.dmg");
    EXPECT_EQ(downloads->items[0].safety, Safety::review);
    EXPECT_FALSE(downloads->items[0].isSelected);
    EXPECT_TRUE(category(report, "language-files")->items.empty());

    // One coverage entry per rule, none for the category without rules.
    ASSERT_EQ(report.coverage.size(), 20u);
    const std::string h = home().string();
    struct Expected {
        std::string id;
        Status status;
        int count;
    } expected[] = {
        {"user-caches|" + h + "/Library/Caches", Status::checked, 3},
        {"user-caches|" + h + "/Library/Caches/com.apple.iconservices.store", Status::checked, 1},
        {"system-caches|" + sys("/Library/Caches").string(), Status::checked, 1},
        {"user-logs|" + h + "/Library/Logs", Status::checked, 1},
        {"system-logs|" + sys("/Library/Logs").string(), Status::missing, 0},
        {"system-logs|" + sys("/private/var/log").string(), Status::checked, 1},
        {"developer|" + h + "/Library/Developer/Xcode/iOS DeviceSupport", Status::missing, 0},
        {"developer|" + h + "/Library/Caches/com.apple.dt.Xcode", Status::missing, 0},
        {"downloads|" + h + "/Downloads/*.dmg", Status::checked, 1},
        {"downloads|" + h + "/Downloads/*.iso", Status::checked, 0},
    };
    for (const auto& e : expected) {
        const auto* entry = coverage(report, e.id);
        ASSERT_NE(entry, nullptr) << e.id;
        EXPECT_EQ(entry->status, e.status) << e.id;
        EXPECT_EQ(entry->itemCount, e.count) << e.id;
        EXPECT_EQ(entry->label, category(report, e.id.substr(0, e.id.find('|')))->title);
        EXPECT_EQ(entry->path, e.id.substr(e.id.find('|') + 1));
    }
    EXPECT_TRUE(report.errors.empty());
    EXPECT_TRUE(report.permissionBlocked.empty());
    EXPECT_EQ(report.scannedAt, now_);

    // The Mail catalog on the same home finds the attachment folder of every
    // account; its coverage keeps the pattern, with the status of ~/Library/Mail.
    auto mail = scanRecording(Catalog::mail()).report;
    const auto* attachments = category(mail, "mail-attachments");
    ASSERT_EQ(attachments->items.size(), 1u);
    EXPECT_EQ(attachments->items[0].url, lib("Mail/V10/MailData/Attachments/42"));
    EXPECT_EQ(attachments->items[0].safety, Safety::review);
    const auto* mailEntry = coverage(mail, "mail-attachments|" + h + "/Library/Mail/*/MailData/Attachments");
    ASSERT_NE(mailEntry, nullptr);
    EXPECT_EQ(mailEntry->status, Status::checked);
    EXPECT_EQ(mailEntry->itemCount, 1);
    EXPECT_EQ(coverage(mail, "mail-downloads|" + h + "/Library/Mail Downloads")->status, Status::missing);
}

// The age test at its edge, what a rule does with links and empty folders, and
// the order of items of equal size.
TEST_F(CatalogScan, AgeEdgeLinksEmptyFoldersAndOrder) {
    auto caches = lib("Caches");
    allocateFile(caches / "exactly-a-day", 4096);
    allocateFile(caches / "a-day-and-a-second", 4096);
    allocateFile(caches / "target.bin", 4096);
    makeSymlink(caches / "target.bin", caches / "link-to-file");
    makeSymlink(caches / "gone", caches / "dangling");
    makeFolders(caches / "empty");
    allocateFile(caches / "big", 64 * 1024);

    setTimes(caches / "exactly-a-day", now_ - std::chrono::seconds(86400));
    setTimes(caches / "a-day-and-a-second", now_ - std::chrono::seconds(86401));
    for (auto name : {"target.bin", "link-to-file", "dangling", "empty", "big"}) age(caches / name, 2);
    // Enough items of one size that an unstable sort would reorder them.
    for (int i = 0; i < 40; ++i) {
        auto folder = caches / ("same-" + std::to_string(i));
        makeFolders(folder);
        age(folder, 2);
    }

    auto report = scanRecording({{"c", "C", "d", {{"~/Library/Caches/*", Safety::safe, 1}}}}).report;
    const auto& items = report.categories.at(0).items;
    std::map<std::string, int64_t> sizes;
    for (const auto& item : items) sizes[item.name] = item.size;
    EXPECT_EQ(sizes.count("exactly-a-day"), 0u);
    EXPECT_EQ(sizes.count("a-day-and-a-second"), 1u);
    EXPECT_EQ(sizes.count("dangling"), 0u);
    EXPECT_EQ(sizes.at("link-to-file"), 0);
    EXPECT_EQ(sizes.at("empty"), 0);
    EXPECT_EQ(report.coverage.at(0).itemCount, int(items.size()));

    // Largest first; equal sizes keep the order in which the folder listed them.
    ASSERT_EQ(items.front().name, "big");
    std::vector<std::string> listed;
    for (const auto& p : FS::expand(caches, "*")) {
        auto name = p.filename().string();
        if (sizes.count(name) && sizes[name] == 0) listed.push_back(name);
    }
    std::vector<std::string> zeros;
    for (const auto& item : items)
        if (item.size == 0) zeros.push_back(item.name);
    EXPECT_EQ(zeros, listed);
}

// Overlapping rules list the same place twice but count its bytes once.
TEST_F(CatalogScan, OverlappingRulesCountBytesOnce) {
    allocateFile(lib("Caches/com.apple.dt.Xcode/module.bin"), 16 * 1024);
    allocateFile(lib("Caches/com.apple.Photos/thumbs.db"), 8 * 1024);
    allocateFile(lib("Caches/com.apple.Photos/derived/a.jpg"), 8 * 1024);
    age(lib("Caches/com.apple.Photos/thumbs.db"), 5);
    age(lib("Caches/com.apple.Photos/derived"), 5);
    age(lib("Caches/com.apple.dt.Xcode"), 5);
    age(lib("Caches/com.apple.Photos"), 5);

    auto report = scanRecording(Catalog::systemJunk()).report;
    std::map<std::string, int64_t> userCaches;
    for (const auto& item : category(report, "user-caches")->items) userCaches[item.name] = item.size;
    EXPECT_EQ(userCaches.at("com.apple.dt.Xcode"), allocated(lib("Caches/com.apple.dt.Xcode/module.bin")));
    EXPECT_GT(userCaches.at("com.apple.Photos"), 16 * 1024);

    const auto* developer = category(report, "developer");
    ASSERT_EQ(developer->items.size(), 1u);
    EXPECT_EQ(developer->items[0].name, "com.apple.dt.Xcode");
    EXPECT_EQ(developer->items[0].size, 0);

    // Entries inside a place already measured: still listed, files count 0.
    std::map<std::string, int64_t> photo;
    for (const auto& item : category(report, "photo-cache")->items) photo[item.name] = item.size;
    EXPECT_EQ(photo, (std::map<std::string, int64_t>{{"thumbs.db", 0}, {"derived", 0}}));
    EXPECT_EQ(report.totalSize(), userCaches.at("com.apple.dt.Xcode") + userCaches.at("com.apple.Photos"));
}

TEST_F(CatalogScan, IgnoredEntriesAndPlaces) {
    allocateFile(lib("Caches/com.example.kept/a"), 4096);
    allocateFile(lib("Caches/com.example.ignored/a"), 4096);
    allocateFile(lib("Logs/old.log"), 4096);
    for (auto p : {"Caches/com.example.kept", "Caches/com.example.ignored", "Logs/old.log"}) age(lib(p), 30);
    ASSERT_EQ(Ignores::add(lib("Caches/com.example.ignored").string()), Ignores::Edit::changed);
    ASSERT_EQ(Ignores::add("~/Library/Logs"), Ignores::Edit::changed);

    auto report = scanRecording(Catalog::systemJunk()).report;
    EXPECT_EQ(itemNames(*category(report, "user-caches")), std::vector<std::string>{"com.example.kept"});
    EXPECT_EQ(coverage(report, "user-caches|" + lib("Caches").string())->itemCount, 1);
    EXPECT_TRUE(category(report, "user-logs")->items.empty());
    const auto* logs = coverage(report, "user-logs|" + lib("Logs").string());
    EXPECT_EQ(logs->status, Status::ignored);
    EXPECT_EQ(logs->itemCount, 0);
}

// The home folder is taken as it is named: brackets, stars and question marks
// in its name are no patterns, and its places are found and counted checked.
// Its caches folder replaced by a link to the documents offers nothing.
TEST_F(CatalogScan, AHomeWhoseNameLooksLikeAPatternIsStillScanned) {
    const fs::path odd = tmp() / "h-[x] *?";
    ::setenv("HOME", odd.c_str(), 1);
    auto lib = [&](std::string_view rel) { return odd / "Library" / rel; };
    allocateFile(lib("Caches/com.example.app/blob"), 4096);
    allocateFile(lib("Logs/old.log"), 4096);
    age(lib("Caches/com.example.app"), 30);
    age(lib("Logs/old.log"), 30);
    writeFile(tmp() / "h-a/Library/Caches/decoy/blob", "the brackets as a pattern would match this home");
    age(tmp() / "h-a/Library/Caches/decoy", 30);

    auto report = scanRecording(Catalog::systemJunk()).report;
    EXPECT_EQ(itemNames(*category(report, "user-caches")), std::vector<std::string>{"com.example.app"});
    EXPECT_EQ(itemNames(*category(report, "user-logs")), std::vector<std::string>{"old.log"});
    EXPECT_EQ(coverage(report, "user-caches|" + lib("Caches").string())->status, Status::checked);
    EXPECT_EQ(coverage(report, "user-logs|" + lib("Logs").string())->status, Status::checked);

    writeFile(tmp() / "Documents/thesis.pdf", "precious");
    age(tmp() / "Documents/thesis.pdf", 30);
    fs::rename(lib("Caches"), tmp() / "caches-aside");
    makeSymlink(tmp() / "Documents", lib("Caches"));
    report = scanRecording(Catalog::systemJunk()).report;
    EXPECT_TRUE(category(report, "user-caches")->items.empty());
    EXPECT_EQ(coverage(report, "user-caches|" + lib("Caches").string())->status, Status::unreadable);
}

TEST_F(CatalogScan, CancellationKeepsWhatWasBegun) {
    allocateFile(lib("Caches/com.example.a/x"), 4096);
    age(lib("Caches/com.example.a"), 5);

    ScanToken cancelled;
    cancelled.cancel();
    int calls = 0;
    auto none = Scanner::scan(Catalog::systemJunk(), cancelled, [&](double, const std::string&) { ++calls; });
    EXPECT_EQ(calls, 0);
    EXPECT_TRUE(none.categories.empty());
    EXPECT_TRUE(none.coverage.empty());
    EXPECT_GE(none.duration, 0);

    // Cancelled as the second category begins: it is listed, empty and
    // without coverage, and nothing after it is scanned.
    ScanToken token;
    std::vector<std::string> messages;
    auto report = Scanner::scan(Catalog::systemJunk(), token, [&](double, const std::string& m) {
        messages.push_back(m);
        if (messages.size() == 2) token.cancel();
    });
    EXPECT_EQ(messages.size(), 2u);
    ASSERT_EQ(report.categories.size(), 2u);
    EXPECT_EQ(report.categories[0].items.size(), 1u);
    EXPECT_TRUE(report.categories[1].items.empty());
    ASSERT_EQ(report.coverage.size(), 2u);
    EXPECT_EQ(report.coverage[1].label, "User Cache Files");
}

TEST_F(CatalogScan, StatusAndLabelledEntries) {
    writeFile(tmp() / "folder/a", "a");
    writeFile(tmp() / "folder/.hidden", "h");
    writeFile(tmp() / "folder/.DS_Store", "d");
    writeFile(tmp() / "file.txt", "x");
    makeSymlink(tmp() / "folder", tmp() / "link-to-folder");
    makeSymlink(tmp() / "nowhere", tmp() / "dangling");
    makeFolders(tmp() / "ignored");
    writeFile(tmp() / "ignored/a", "a");
    ASSERT_EQ(Ignores::add((tmp() / "ignored").string()), Ignores::Edit::changed);

    struct Case {
        std::string name;
        Status status;
        int count;
    } cases[] = {
        // A place reached only through a link is not read.
        {"folder", Status::checked, 3},         {"link-to-folder", Status::unreadable, 0},
        {"file.txt", Status::checked, 0},       {"missing", Status::missing, 0},
        {"dangling", Status::missing, 0},       {"ignored", Status::ignored, 0},
    };
    for (const auto& c : cases) {
        auto path = tmp() / c.name;
        EXPECT_EQ(Scanner::status(path), c.status) << c.name;
        auto entry = Scanner::entry("Trash", path);
        EXPECT_EQ(entry.id, "Trash|" + path.string());
        EXPECT_EQ(entry.label, "Trash");
        EXPECT_EQ(entry.path, path.string());
        EXPECT_EQ(entry.status, c.status) << c.name;
        EXPECT_EQ(entry.itemCount, c.count) << c.name;
    }
}

// Places the user may not read are reported unreadable, and a scan passes
// over them without items.
TEST_F(CatalogScan, UnreadablePlaces) {
    allocateFile(lib("Developer/Xcode/DerivedData/Project-abc/Build.db"), 4096);
    age(lib("Developer/Xcode/DerivedData/Project-abc"), 10);
    writeFile(tmp() / "secret.txt", "s");
    ::chmod(lib("Developer/Xcode/DerivedData").c_str(), 0);
    ::chmod((tmp() / "secret.txt").c_str(), 0);
    const auto derived = lib("Developer/Xcode/DerivedData");
    const auto secret = tmp() / "secret.txt";

    std::string failure = inUnprivilegedChild([&]() -> std::string {
        if (Scanner::status(derived) != Status::unreadable) return "folder not unreadable";
        if (Scanner::status(secret) != Status::unreadable) return "file not unreadable";
        if (Scanner::entry("X", derived).itemCount != 0) return "counted entries of an unreadable folder";
        ScanToken token;
        auto report = Scanner::scan(Catalog::systemJunk(), token, nullptr);
        const auto* developer = category(report, "developer");
        if (!developer || !developer->items.empty()) return "items found in an unreadable folder";
        const auto* entry = coverage(report, "developer|" + derived.string());
        if (!entry || entry->status != Status::unreadable) return "coverage not unreadable";
        return "";
    });
    EXPECT_EQ(failure, "");
}
