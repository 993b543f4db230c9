#include "engine/scanner_trash.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>

#include "engine/fs.h"
#include "engine/ignores.h"
#include "platform/user.h"
#include "platform/volumes.h"
#include "platform/walker.h"
#include "platform/file_facts.h"
#include "support/test_env.h"
#include "support/unprivileged.h"

using namespace testing_support;
namespace fs = std::filesystem;
using Status = CoverageEntry::Status;

namespace {

class TrashScan : public TestEnv {
protected:
    void SetUp() override {
        TestEnv::SetUp();
        User::setUidForTesting(501);
        Volumes::setForTesting(std::vector<fs::path>{});
    }

    ScanReport scan(const ProgressCallback& progress = nullptr) {
        ScanToken token;
        return Scanner::scanTrash(token, progress);
    }

    static const ScanCategory& byId(const ScanReport& r, const std::string& id) {
        for (const auto& c : r.categories)
            if (c.id == id) return c;
        throw std::runtime_error("no category " + id);
    }

    static std::vector<std::string> names(const ScanCategory& c) {
        std::vector<std::string> out;
        for (const auto& i : c.items) out.push_back(i.name);
        return out;
    }

    static std::map<std::string, const CoverageEntry*> coverageByLabel(const ScanReport& r) {
        std::map<std::string, const CoverageEntry*> out;
        for (const auto& e : r.coverage) out[e.label] = &e;
        return out;
    }
};

}  // namespace

TEST_F(TrashScan, SevenCategoriesCoverageAndThreeProgressCalls) {
    fs::path volume = tmp() / "Volumes/Backup";
    Volumes::setForTesting(std::vector<fs::path>{volume});
    allocateFile(home() / ".Trash/report.pdf", 4096);
    allocateFile(volume / ".Trashes/501/old.zip", 4096);
    makeFolders(home() / "Library/CloudStorage/Box-Work/.Trash");
    makeFolders(home() / "Library/CloudStorage/iDrive");  // no .Trash
    makeFolders(home() / "Library/CloudStorage/.hidden/.Trash");
    makeFolders(sys("/.Trashes"));

    std::vector<std::pair<double, std::string>> calls;
    auto report = scan([&](double f, const std::string& m) { calls.emplace_back(f, m); });

    struct Expected {
        const char *id, *title, *detail;
    } expected[] = {
        {"user-trash", "User Trash", "Files sitting in your home Trash."},
        {"volume-trash", "Trash on Other Volumes", "Per-volume trash folders, including external drives."},
        {"mail-trash", "Local Mail Trash", "Messages Apple Mail has moved to its own Trash mailbox."},
        {"system-trash", "System Trash", "Items moved to the Trash from outside your home folder."},
        {"icloud-trash", "iCloud Drive Trash", "Items deleted from iCloud Drive, shown in Finder's Trash."},
        {"cloud-trash", "Cloud Storage Trash", "Trash folders inside connected cloud drives."},
        {"photos-trash", "Recently Deleted", "Photos holds deleted items for 30 days. Only Photos can empty this."},
    };
    ASSERT_EQ(report.categories.size(), 7u);
    for (size_t i = 0; i < 7; ++i) {
        EXPECT_EQ(report.categories[i].id, expected[i].id);
        EXPECT_EQ(report.categories[i].title, expected[i].title);
        EXPECT_EQ(report.categories[i].detail, expected[i].detail);
    }

    std::vector<std::tuple<std::string, fs::path, Status, int>> coverage;
    for (const auto& e : report.coverage) coverage.emplace_back(e.label, e.path, e.status, e.itemCount);
    const std::vector<std::tuple<std::string, fs::path, Status, int>> want = {
        {"User Trash", home() / ".Trash", Status::checked, 1},
        {"Trash on Backup", volume / ".Trashes/501", Status::checked, 1},
        {"Mail Trash", home() / "Library/Mail", Status::missing, 0},
        {"System Trash", sys("/.Trashes"), Status::checked, 0},
        {"iCloud Drive Trash", home() / "Library/Mobile Documents/.Trash", Status::missing, 0},
        {"Box-Work Trash", home() / "Library/CloudStorage/Box-Work/.Trash", Status::checked, 0},
        {"iDrive Trash", home() / "Library/CloudStorage/iDrive/.Trash", Status::missing, 0},
        {"System Trash (data volume)", sys("/System/Volumes/Data/.Trashes"), Status::missing, 0},
    };
    // The cloud providers come in listing order; compare them as a set.
    ASSERT_EQ(coverage.size(), want.size());
    EXPECT_EQ(std::vector(coverage.begin(), coverage.begin() + 5), std::vector(want.begin(), want.begin() + 5));
    EXPECT_EQ(std::set(coverage.begin() + 5, coverage.begin() + 7), std::set(want.begin() + 5, want.begin() + 7));
    EXPECT_EQ(coverage.back(), want.back());
    EXPECT_EQ(report.coverage[0].id, "User Trash|" + (home() / ".Trash").string());

    const std::vector<std::pair<double, std::string>> progress = {
        {0.1, "Reading your Trash\u2026"},
        {0.5, "Checking other volumes\u2026"},
        {0.7, "Checking Mail, iCloud and cloud drives\u2026"},
    };
    EXPECT_EQ(calls, progress);
    EXPECT_TRUE(report.errors.empty());
    EXPECT_TRUE(report.permissionBlocked.empty());
    EXPECT_FALSE(report.ruleSetInfo);
}

TEST_F(TrashScan, UserTrashItemsAreSafeUnlessProtectedAndShareOneMeasurement) {
    fs::path volume = tmp() / "Volumes/Backup";
    Volumes::setForTesting(std::vector<fs::path>{volume});
    allocateFile(home() / ".Trash/first.bin", 8192);
    allocateFile(home() / ".Trash/second.bin", 8192);
    allocateFile(home() / ".Trash/big.bin", 64 * 1024);
    allocateFile(home() / ".Trash/1Password 7.app/data", 4096);
    writeFile(home() / ".Trash/.DS_Store", "x");
    // The same file reached through the user's Trash and a volume trash counts once.
    makeFolders(volume / ".Trashes/501");
    fs::create_hard_link(home() / ".Trash/big.bin", volume / ".Trashes/501/big-again.bin");

    auto report = scan();
    const auto& user = byId(report, "user-trash");
    ASSERT_EQ(user.items.size(), 5u);
    EXPECT_EQ(user.items[0].name, "big.bin");
    EXPECT_EQ(user.items[0].size, 64 * 1024);
    // Equal sizes keep the order they were listed in.
    auto listed = Walker::list(home() / ".Trash");
    auto pos = [&](const std::string& n) { return std::find(listed.begin(), listed.end(), n) - listed.begin(); };
    bool firstListedFirst = pos("first.bin") < pos("second.bin");
    EXPECT_EQ(user.items[1].name, firstListedFirst ? "first.bin" : "second.bin");
    EXPECT_EQ(user.items[2].name, firstListedFirst ? "second.bin" : "first.bin");

    for (const auto& item : user.items) {
        EXPECT_EQ(item.detail, "User Trash");
        EXPECT_EQ(item.url, home() / ".Trash" / item.name);
        bool isProtected = item.name == "1Password 7.app";
        EXPECT_EQ(item.safety, isProtected ? Safety::protected_ : Safety::safe) << item.name;
        EXPECT_EQ(item.isSelected, !isProtected) << item.name;
    }
    const auto& volumeItems = byId(report, "volume-trash").items;
    ASSERT_EQ(volumeItems.size(), 1u);
    EXPECT_EQ(volumeItems[0].size, 0);
}

TEST_F(TrashScan, VolumeTrashesOwnFolderSharedFolderAndOtherUsers) {
    fs::path backup = tmp() / "Volumes/Backup";
    fs::path media = tmp() / "Volumes/Media";
    Volumes::setForTesting(std::vector<fs::path>{backup, media});
    allocateFile(backup / ".Trashes/501/mine.mov", 16384);
    allocateFile(backup / ".Trashes/502/theirs.mov", 8192);
    allocateFile(backup / ".Trashes/stray.txt", 4096);
    allocateFile(backup / ".Trashes/501/Tailscale.app/x", 4096);
    makeFolders(media);  // no .Trashes at all

    auto report = scan();
    const auto& category = byId(report, "volume-trash");
    std::map<std::string, const ScanItem*> items;
    for (const auto& item : category.items) items[item.name] = &item;
    ASSERT_EQ(items.size(), 4u) << ::testing::PrintToString(names(category));
    EXPECT_FALSE(items.count("501"));  // the user's own folder is never one item
    EXPECT_EQ(items["mine.mov"]->detail, "Trash on Backup");
    EXPECT_EQ(items["mine.mov"]->url, backup / ".Trashes/501/mine.mov");
    EXPECT_EQ(items["Tailscale.app"]->detail, "Trash on Backup");
    // Another user's trash folder is listed and says why no road takes it.
    EXPECT_EQ(items["502"]->detail, "Shared trash on Backup \u00B7 another user\u2019s trash");
    EXPECT_EQ(items["stray.txt"]->detail, "Shared trash on Backup");
    for (const auto& [name, item] : items) {
        const bool kept = name == "Tailscale.app" || name == "502";
        EXPECT_EQ(item->safety, kept ? Safety::protected_ : Safety::review) << name;
        EXPECT_FALSE(item->isSelected);
    }
    EXPECT_EQ(category.items.front().name, "mine.mov");

    auto coverage = coverageByLabel(report);
    ASSERT_TRUE(coverage.count("Trash on Media"));
    EXPECT_EQ(coverage["Trash on Media"]->status, Status::missing);
    EXPECT_EQ(coverage["Trash on Media"]->path, (media / ".Trashes/501").string());
    EXPECT_EQ(coverage["Trash on Backup"]->itemCount, 2);

    // No volume at all: an empty category and no volume coverage.
    Volumes::setForTesting(std::vector<fs::path>{});
    auto none = scan();
    EXPECT_TRUE(byId(none, "volume-trash").items.empty());
    for (const auto& e : none.coverage) EXPECT_NE(e.label.rfind("Trash on ", 0), 0u) << e.label;
}

TEST_F(TrashScan, TrashFoldersThatAreLinksAreNotRead) {
    // A volume written elsewhere can carry links pointing anywhere on this Mac;
    // their targets' contents must never show up as trash.
    fs::path volume = tmp() / "Volumes/Stick";
    Volumes::setForTesting(std::vector<fs::path>{volume});
    allocateFile(home() / "Documents/thesis.tex", 4096);
    makeSymlink(home() / "Documents", volume / ".Trashes/501");
    fs::path other = tmp() / "Volumes/Other";
    makeSymlink(home(), other / ".Trashes");
    makeSymlink(home() / "Documents", home() / ".Trash");
    makeSymlink(home() / "Documents", home() / "Library/Mobile Documents/.Trash");
    makeSymlink(home() / "Documents", home() / "Library/CloudStorage/Box/.Trash");
    makeFolders(sys("/.Trashes"));
    makeSymlink(home() / "Documents", sys("/.Trashes/501"));
    Volumes::setForTesting(std::vector<fs::path>{volume, other});

    auto report = scan();
    for (const auto& c : report.categories) EXPECT_TRUE(c.items.empty()) << c.id << ": " << ::testing::PrintToString(names(c));
}

TEST_F(TrashScan, MailTrashMailboxes) {
    fs::path mail = home() / "Library/Mail";
    allocateFile(mail / "V10/MailData/Trash.mbox/Messages/1.emlx", 16384);
    allocateFile(mail / "V10/MailData/Junk.mbox/Messages/2.emlx", 4096);
    allocateFile(mail / "V10/MailData/trash.mbox/Messages/3.emlx", 4096);  // case matters
    allocateFile(mail / "V10/MailData/Inbox.mbox/Messages/4.emlx", 4096);
    allocateFile(mail / "V9/MailData/Deleted Messages.mbox/x", 12288);
    allocateFile(mail / "V9/MailData/Deleted Items.mbox/x", 4096);
    allocateFile(mail / "V8/Trash.mbox/x", 4096);  // no MailData
    writeFile(mail / "PersistenceInfo.plist", "");

    auto category = Scanner::mailTrash();
    EXPECT_EQ(category.id, "mail-trash");
    ASSERT_EQ(category.items.size(), 4u) << ::testing::PrintToString(names(category));
    EXPECT_EQ(category.items[0].name, "Trash");
    EXPECT_EQ(category.items[0].detail, "V10");
    EXPECT_EQ(category.items[0].url, mail / "V10/MailData/Trash.mbox");
    EXPECT_EQ(category.items[1].name, "Deleted Messages");
    EXPECT_EQ(category.items[1].detail, "V9");
    EXPECT_EQ(std::set<std::string>({category.items[2].name, category.items[3].name}),
              (std::set<std::string>{"Junk", "Deleted Items"}));
    for (const auto& item : category.items) {
        EXPECT_EQ(item.safety, Safety::review);
        EXPECT_FALSE(item.isSelected);
        FS::SeenSet fresh;
        EXPECT_EQ(item.size, FS::size(item.url, fresh));
    }
}

TEST_F(TrashScan, SystemTrashReadsTheUsersFoldersAndNotesRefusals) {
    allocateFile(sys("/.Trashes/501/installer.pkg"), 8192);
    allocateFile(sys("/.Trashes/502/not-mine.pkg"), 8192);
    allocateFile(sys("/System/Volumes/Data/.Trashes/501/notes.txt"), 4096);

    auto category = Scanner::systemTrash();
    EXPECT_EQ(names(category), (std::vector<std::string>{"installer.pkg", "notes.txt"}));
    EXPECT_EQ(category.detail, "Items moved to the Trash from outside your home folder.");
    for (const auto& item : category.items) {
        EXPECT_EQ(item.detail, "System Trash \u00B7 needs administrator rights");
        EXPECT_EQ(item.safety, Safety::review);
        EXPECT_FALSE(item.isSelected);
    }

    // /.Trashes/<uid> missing and the data volume's refused: empty, with the note.
    fs::remove_all(sys("/.Trashes"));
    User::setUidForTesting(testing_support::kUnprivilegedId);
    fs::path refused = sys("/System/Volumes/Data/.Trashes") / std::to_string(testing_support::kUnprivilegedId);
    allocateFile(refused / "secret.txt", 4096);
    ::chmod(refused.c_str(), 0700);
    std::string failure = inUnprivilegedChild([]() -> std::string {
        auto c = Scanner::systemTrash();
        if (!c.items.empty()) return "expected no items";
        if (c.detail != "Items moved to the Trash from outside your home folder. \u00B7 some locations need Full Disk Access")
            return "detail was: " + c.detail;
        return "";
    });
    EXPECT_EQ(failure, "");
}

TEST_F(TrashScan, UnreadableUserTrashIsReportedInWords) {
    fs::path trash = home() / ".Trash";
    allocateFile(trash / "kept.bin", 4096);
    ::chmod(trash.c_str(), 0700);  // owned by root: the unprivileged child cannot list it
    std::string failure = inUnprivilegedChild([&]() -> std::string {
        ScanToken token;
        auto r = Scanner::scanTrash(token, nullptr);
        if (r.permissionBlocked != std::vector<std::string>{"~/.Trash \u2014 grant Full Disk Access to see it"})
            return "permission line missing";
        if (!r.categories[0].items.empty()) return "items listed";
        if (r.coverage[0].status != Status::unreadable) return "coverage not unreadable";
        return "";
    });
    EXPECT_EQ(failure, "");

    fs::remove_all(trash);
    auto report = scan();
    EXPECT_TRUE(report.permissionBlocked.empty());
    EXPECT_EQ(report.coverage[0].status, Status::missing);
    EXPECT_TRUE(report.categories[0].items.empty());
}

TEST_F(TrashScan, IgnoredTrashStillListsItsItems) {
    allocateFile(home() / ".Trash/draft.doc", 4096);
    ASSERT_EQ(Ignores::add((home() / ".Trash").string()), Ignores::Edit::changed);
    auto report = scan();
    EXPECT_EQ(report.coverage[0].status, Status::ignored);
    EXPECT_EQ(names(report.categories[0]), std::vector<std::string>{"draft.doc"});
}

TEST_F(TrashScan, CloudTrashes) {
    fs::path cloud = home() / "Library/CloudStorage";
    allocateFile(cloud / "Dropbox/.Trash/plan.key", 8192);
    allocateFile(cloud / "OneDrive-Work/.Trash/old.xlsx", 16384);
    allocateFile(cloud / ".Hidden/.Trash/skipped", 4096);
    makeFolders(cloud / "Box");  // no .Trash
    allocateFile(tmp() / "Provider/.Trash/linked.txt", 4096);
    makeSymlink(tmp() / "Provider", cloud / "Linked");  // a provider reached through a link is not read
    allocateFile(home() / "Library/Mobile Documents/.Trash/essay.pages/Data/index", 4096);
    allocateFile(home() / "Library/Mobile Documents/.Trash/photo.heic", 12288);

    auto providers = Scanner::cloudStorageTrashes();
    EXPECT_EQ(providers.id, "cloud-trash");
    ASSERT_EQ(providers.items.size(), 2u) << ::testing::PrintToString(names(providers));
    EXPECT_EQ(providers.items[0].name, "old.xlsx");
    EXPECT_EQ(providers.items[0].detail, "OneDrive-Work \u00B7 cloud trash");
    EXPECT_EQ(providers.items[1].detail, "Dropbox \u00B7 cloud trash");
    EXPECT_TRUE(existsItself(tmp() / "Provider/.Trash/linked.txt"));

    auto icloud = Scanner::icloudTrash();
    EXPECT_EQ(icloud.id, "icloud-trash");
    ASSERT_EQ(icloud.items.size(), 2u);
    EXPECT_EQ(icloud.items[0].name, "photo.heic");
    EXPECT_EQ(icloud.items[1].name, "essay.pages");
    EXPECT_EQ(icloud.items[1].size, 4096 + 4096);  // its file plus the folder inside it
    for (const auto* c : {&providers, &icloud})
        for (const auto& item : c->items) {
            EXPECT_EQ(item.safety, Safety::review);
            EXPECT_FALSE(item.isSelected);
        }
    EXPECT_EQ(icloud.items[0].detail, "iCloud Drive \u00B7 synced, so removing it deletes it everywhere");
}

TEST_F(TrashScan, PhotosLibrariesAreProtectedPlaceholders) {
    fs::path pictures = home() / "Pictures";
    allocateFile(pictures / "Photos Library.photoslibrary/database/Photos.sqlite", 64 * 1024);
    allocateFile(pictures / "Old.photoslibrary/originals/a.jpg", 4096);         // no database
    allocateFile(pictures / "Other.PHOTOSLIBRARY/database/Photos.sqlite", 4096);  // extension compared exactly
    allocateFile(pictures / ".photoslibrary/database/Photos.sqlite", 4096);     // no name before the extension

    auto category = Scanner::photosTrash();
    EXPECT_EQ(category.id, "photos-trash");
    ASSERT_EQ(category.items.size(), 1u);
    const auto& item = category.items[0];
    EXPECT_EQ(item.name, "Photos Library");
    EXPECT_EQ(item.url, pictures / "Photos Library.photoslibrary");
    EXPECT_EQ(item.detail, "Photos keeps deleted items for 30 days \u2014 empty it in Photos");
    EXPECT_EQ(item.size, 0);
    EXPECT_EQ(item.safety, Safety::protected_);
    EXPECT_FALSE(item.isSelected);
}

TEST_F(TrashScan, CancellationKeepsEverythingAfterTheUsersTrash) {
    Volumes::setForTesting(std::vector<fs::path>{tmp() / "Volumes/Backup"});
    allocateFile(tmp() / "Volumes/Backup/.Trashes/501/x", 4096);
    allocateFile(home() / ".Trash/a", 4096);
    allocateFile(home() / "Library/Mail/V10/MailData/Trash.mbox/x", 4096);
    allocateFile(home() / "Library/Mobile Documents/.Trash/y", 4096);
    allocateFile(home() / "Pictures/P.photoslibrary/database/Photos.sqlite", 4096);

    ScanToken token;
    int calls = 0;
    auto report = Scanner::scanTrash(token, [&](double, const std::string&) {
        ++calls;
        token.cancel();
    });
    ASSERT_EQ(report.categories.size(), 7u);
    EXPECT_TRUE(report.categories[0].items.empty());
    EXPECT_TRUE(report.categories[1].items.empty());
    EXPECT_EQ(report.categories[2].items.size(), 1u);
    EXPECT_EQ(report.categories[4].items.size(), 1u);
    EXPECT_EQ(report.categories[6].items.size(), 1u);
    for (const auto& e : report.coverage) EXPECT_NE(e.label, "Trash on Backup");
    EXPECT_EQ(report.coverage.size(), 5u);  // the user's Trash, Mail, system, iCloud and data volume
    EXPECT_EQ(calls, 3);
}
