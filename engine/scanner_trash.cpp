#include "engine/scanner_trash.h"

#include <algorithm>
#include <array>
#include <string>
#include <string_view>

#include "engine/fs.h"
#include "engine/protection.h"
#include "engine/scanner.h"
#include "engine/scan_support.h"
#include "engine/scanner_large_old.h"
#include "platform/clock.h"
#include "platform/file_facts.h"
#include "platform/locations.h"
#include "platform/user.h"
#include "platform/walker.h"
#include "platform/decimal.h"

namespace Scanner {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kDot = " \u00B7 ";
constexpr std::array<std::string_view, 4> kTrashMailboxes = {
    "Trash.mbox", "Deleted Messages.mbox", "Deleted Items.mbox", "Junk.mbox"};

// Whether a folder is a folder in its own right and not a symbolic link. The
// entries of a trash folder are offered for removal, so a trash folder that is
// a link (which anyone who wrote the volume could plant, pointing anywhere on
// this Mac) is not read: its target's contents are no trash.
bool isRealFolder(const fs::path& folder) {
    auto facts = lstatFacts(folder);
    return facts && facts->isDirectory();
}

std::vector<fs::path> trashEntries(const fs::path& folder) {
    if (!isRealFolder(folder)) return {};
    return ScanSupport::children(folder);
}

std::string lastComponent(const fs::path& path) {
    std::string s = path.native();
    while (s.size() > 1 && s.back() == '/') s.pop_back();
    if (s == "/") return s;
    return fs::path(s).filename().string();
}

// Only the user's own Trash holds safe items; those start selected.
ScanItem makeItem(const fs::path& url, std::string name, std::string detail, FS::Measured measured, Safety safety) {
    return ScanItem{.url = url,
                    .name = std::move(name),
                    .detail = std::move(detail),
                    .size = measured.size,
                    .safety = safety,
                    .isSelected = safety == Safety::safe,
                    .measured = std::move(measured.object)};
}

// A review item measured on its own.
ScanItem reviewItem(const fs::path& url, std::string detail) {
    return makeItem(url, lastComponent(url), std::move(detail), ScanSupport::measureAlone(url), Safety::review);
}

ScanCategory category(std::string id, std::string title, std::string detail, std::vector<ScanItem> items) {
    return ScanCategory{std::move(id), std::move(title), std::move(detail), std::move(items)};
}

fs::path userTrash() { return Locations::home() / ".Trash"; }
fs::path mailFolder() { return Locations::home() / "Library/Mail"; }
fs::path icloudTrashFolder() { return Locations::home() / "Library/Mobile Documents/.Trash"; }
fs::path cloudStorageFolder() { return Locations::home() / "Library/CloudStorage"; }

ScanCategory scanVolumeTrashes(const ScanToken& token, FS::SeenSet& shared, std::vector<CoverageEntry>& coverage) {
    const std::string uid = Decimal::text(User::uid());
    std::vector<ScanItem> items;
    for (const fs::path& volume : FS::mountedVolumes()) {
        if (token.isCancelled()) break;
        const std::string name = lastComponent(volume);
        const fs::path shelf = volume / ".Trashes";
        const fs::path own = shelf / uid;

        struct Source {
            fs::path folder;
            std::string detail;
        };
        std::vector<Source> sources;
        if (existsFollowingLinks(own) && isRealFolder(shelf)) sources.push_back({own, "Trash on " + name});
        if (isRealFolder(shelf) && FS::canList(shelf)) sources.push_back({shelf, "Shared trash on " + name});
        coverage.push_back(Scanner::entry("Trash on " + name, own));

        for (const Source& source : sources) {
            for (const fs::path& url : trashEntries(source.folder)) {
                if (url == own) continue;  // the user's own folder is read on its own, never one item
                bool isProtected = Protection::isPathProtected(url);
                FS::Measured size = std::move(FS::measure({url}, shared)[0]);
                // Another user's trash folder is listed, and says why it is
                // never removed: the protection rules keep it from every road.
                std::string detail = source.detail;
                if (Protection::isInAnotherUsersTrash(url)) detail += " \u00B7 another user\u2019s trash";
                items.push_back(makeItem(url, lastComponent(url), std::move(detail), size,
                                         isProtected ? Safety::protected_ : Safety::review));
            }
        }
    }
    ScanSupport::sortLargestFirst(items);
    return category("volume-trash", "Trash on Other Volumes", "Per-volume trash folders, including external drives.",
                    std::move(items));
}

}  // namespace

ScanReport scanTrash(const ScanToken& token, const ProgressCallback& progress) {
    const Clock::TimePoint start = Clock::now();
    ScanReport report;
    report.scannedAt = start;
    FS::SeenSet shared;

    const fs::path trash = userTrash();
    ScanSupport::report(progress, 0.1, "Reading your Trash\u2026");
    if (existsFollowingLinks(trash) && !FS::canList(trash))
        report.permissionBlocked.push_back("~/.Trash \u2014 grant Full Disk Access to see it");
    report.coverage.push_back(Scanner::entry("User Trash", trash));

    std::vector<ScanItem> items;
    const auto entries = trashEntries(trash);
    const auto sizes = ScanSupport::measureInOrder(entries, shared, token);
    for (size_t i = 0; i < sizes.size(); ++i) {
        const fs::path& url = entries[i];
        bool isProtected = Protection::isPathProtected(url);
        items.push_back(makeItem(url, lastComponent(url), "User Trash", std::move(sizes[i]),
                                 isProtected ? Safety::protected_ : Safety::safe));
    }
    ScanSupport::sortLargestFirst(items);
    report.categories.push_back(
        category("user-trash", "User Trash", "Files sitting in your home Trash.", std::move(items)));

    ScanSupport::report(progress, 0.5, "Checking other volumes\u2026");
    report.categories.push_back(scanVolumeTrashes(token, shared, report.coverage));

    ScanSupport::report(progress, 0.7, "Checking Mail, iCloud and cloud drives\u2026");
    report.coverage.push_back(Scanner::entry("Mail Trash", mailFolder()));
    report.coverage.push_back(Scanner::entry("System Trash", Locations::system("/.Trashes")));
    report.coverage.push_back(Scanner::entry("iCloud Drive Trash", icloudTrashFolder()));
    for (const fs::path& provider : directories(cloudStorageFolder()))
        report.coverage.push_back(Scanner::entry(lastComponent(provider) + " Trash", provider / ".Trash"));
    report.coverage.push_back(
        Scanner::entry("System Trash (data volume)", Locations::system("/System/Volumes/Data/.Trashes")));

    report.categories.push_back(mailTrash());
    report.categories.push_back(systemTrash());
    report.categories.push_back(icloudTrash());
    report.categories.push_back(cloudStorageTrashes());
    report.categories.push_back(photosTrash());

    report.duration = std::chrono::duration<double>(Clock::now() - start).count();
    return report;
}

ScanCategory mailTrash() {
    const fs::path mail = mailFolder();
    std::vector<ScanItem> items;
    if (existsFollowingLinks(mail) && FS::canList(mail)) {
        for (const fs::path& version : ScanSupport::children(mail)) {
            if (!existsFollowingLinks(version / "MailData")) continue;
            for (const fs::path& url : ScanSupport::children(version / "MailData")) {
                const std::string name = url.filename().string();
                if (std::find(kTrashMailboxes.begin(), kTrashMailboxes.end(), name) == kTrashMailboxes.end()) continue;
                ScanItem item = reviewItem(url, lastComponent(version));
                std::string shown = name;
                for (size_t at; (at = shown.find(".mbox")) != std::string::npos;) shown.erase(at, 5);
                item.name = shown;
                items.push_back(std::move(item));
            }
        }
    }
    ScanSupport::sortLargestFirst(items);
    return category("mail-trash", "Local Mail Trash", "Messages Apple Mail has moved to its own Trash mailbox.",
                    std::move(items));
}

ScanCategory systemTrash() {
    const std::string uid = Decimal::text(User::uid());
    const fs::path shelves[] = {Locations::system("/.Trashes"), Locations::system("/System/Volumes/Data/.Trashes")};
    std::vector<ScanItem> items;
    bool refused = false;
    for (const fs::path& shelf : shelves) {
        const fs::path location = shelf / uid;
        if (!existsFollowingLinks(location)) continue;
        if (!isRealFolder(shelf) || !isRealFolder(location)) continue;
        bool ok = false;
        auto names = Walker::list(location, &ok);
        if (!ok) {
            refused = true;
            continue;
        }
        for (const auto& name : names)
            items.push_back(reviewItem(location / name, "System Trash \u00B7 needs administrator rights"));
    }
    ScanSupport::sortLargestFirst(items);
    std::string detail = "Items moved to the Trash from outside your home folder.";
    if (refused) detail += std::string(kDot) + "some locations need Full Disk Access";
    return category("system-trash", "System Trash", std::move(detail), std::move(items));
}

ScanCategory icloudTrash() {
    std::vector<ScanItem> items;
    for (const fs::path& url : trashEntries(icloudTrashFolder()))
        items.push_back(reviewItem(url, "iCloud Drive \u00B7 synced, so removing it deletes it everywhere"));
    ScanSupport::sortLargestFirst(items);
    return category("icloud-trash", "iCloud Drive Trash", "Items deleted from iCloud Drive, shown in Finder's Trash.",
                    std::move(items));
}

ScanCategory cloudStorageTrashes() {
    std::vector<ScanItem> items;
    for (const fs::path& provider : directories(cloudStorageFolder())) {
        const std::string detail = lastComponent(provider) + std::string(kDot) + "cloud trash";
        for (const fs::path& url : trashEntries(provider / ".Trash")) items.push_back(reviewItem(url, detail));
    }
    ScanSupport::sortLargestFirst(items);
    return category("cloud-trash", "Cloud Storage Trash", "Trash folders inside connected cloud drives.",
                    std::move(items));
}

ScanCategory photosTrash() {
    constexpr std::string_view kExtension = ".photoslibrary";
    std::vector<ScanItem> items;
    for (const fs::path& library : ScanSupport::children(Locations::home() / "Pictures")) {
        const std::string name = library.filename().string();
        // "x.photoslibrary": the extension needs a name in front of it.
        if (name.size() <= kExtension.size() || name.compare(name.size() - kExtension.size(), kExtension.size(), kExtension) != 0)
            continue;
        if (!existsFollowingLinks(library / "database/Photos.sqlite")) continue;
        items.push_back(makeItem(library, name.substr(0, name.size() - kExtension.size()),
                                 "Photos keeps deleted items for 30 days \u2014 empty it in Photos", {0, measureObject(library)},
                                 Safety::protected_));
    }
    return category("photos-trash", "Recently Deleted", "Photos holds deleted items for 30 days. Only Photos can empty this.",
                    std::move(items));
}

}  // namespace Scanner
