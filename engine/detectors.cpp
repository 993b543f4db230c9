#include "engine/detectors.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <map>
#include <set>
#include <string_view>

#include "engine/admin.h"
#include "engine/byte_format.h"
#include "engine/fat_binary.h"
#include "engine/fs.h"
#include "engine/protection.h"
#include "engine/scan_support.h"
#include "platform/clock.h"
#include "platform/disk_images.h"
#include "platform/file_facts.h"
#include "platform/locations.h"
#include "platform/unicode.h"
#include "platform/user.h"
#include "platform/decimal.h"

namespace fs = std::filesystem;

namespace Detectors {
namespace {

constexpr std::string_view kDot = " \u00B7 ";  // joins the parts of a detail
constexpr int kProgressScale = 120;
constexpr double kProgressCap = 0.9;
constexpr int64_t kUpdatePayloadFloor = 1024 * 1024;  // a payload must be larger than this
constexpr auto kDiskImageAge = std::chrono::seconds(30 * 86400);

constexpr std::array<std::string_view, 5> kDiskImageExtensions = {"dmg", "iso", "sparseimage", "sparsebundle",
                                                                  "toast"};

ScanCategory makeCategory(std::string id, std::string title, std::string detail) {
    ScanCategory category;
    category.id = std::move(id);
    category.title = std::move(title);
    category.detail = std::move(detail);
    return category;
}

ScanItem makeItem(const fs::path& url, std::string name, std::string detail, FS::Measured measured, Safety safety) {
    ScanItem item;
    item.url = url;
    item.name = std::move(name);
    item.detail = std::move(detail);
    item.size = measured.size;
    item.measured = std::move(measured.object);
    item.safety = safety;
    item.isSelected = safety == Safety::safe;
    return item;
}

bool isDiskImage(const fs::path& path) {
    std::string ext = path.extension().string();
    if (ext.empty()) return false;
    std::string lowered = Unicode::lower(ext.substr(1));
    return std::find(kDiskImageExtensions.begin(), kDiskImageExtensions.end(), lowered) !=
           kDiskImageExtensions.end();
}

// The image files behind the attached volumes, each as given and as resolved,
// so an image reached through a linked home folder is still recognised. The
// disk image tool names the image of each volume; where it is missing (off
// macOS) the system's own tables are asked.
std::set<std::string> attachedImages() {
    std::set<std::string> images;
    std::map<std::string, std::string> listed;
    if (Admin::Result r = Admin::run(Admin::tool("/usr/bin/hdiutil") + " info -plist"); r.ok)
        listed = DiskImages::parseAttached(r.output);
    for (const auto& volume : FS::mountedVolumes()) {
        std::optional<fs::path> image;
        if (auto it = listed.find(volume.string()); it != listed.end()) image = fs::path(it->second);
        else image = DiskImages::backingImage(volume);
        if (!image) continue;
        images.insert(image->string());
        std::error_code ec;
        auto resolved = fs::canonical(*image, ec);
        if (!ec) images.insert(resolved.string());
    }
    return images;
}

bool isAttached(const fs::path& image, const std::set<std::string>& attached) {
    if (attached.count(image.string())) return true;
    std::error_code ec;
    auto resolved = fs::canonical(image, ec);
    return !ec && attached.count(resolved.string());
}

// Whether an image was last used long enough ago: its modification date
// tells; one whose dates cannot be read counts as from the distant past.
bool unusedFor(const fs::path& path, std::chrono::seconds age) {
    auto facts = lstatFacts(path);
    if (!facts) return true;
    return Clock::olderThan(facts->modified, Clock::now(), age);
}

struct LabelledFolder {
    fs::path folder;
    std::string_view label;
};

}  // namespace

ScanCategory universalBinaries(const ScanToken& token, const ProgressCallback& progress) {
    ScanCategory category = makeCategory(
        "universal-binaries", "Universal Binaries",
        "Apps carrying a CPU slice this Mac cannot run. Thinning invalidates the app's signature.");
    int examined = 0;
    const fs::path folders[] = {Locations::system("/Applications"), Locations::home() / "Applications"};
    for (const auto& folder : folders) {
        for (const auto& app : ScanSupport::children(folder)) {
            if (app.extension() != ".app") continue;
            if (token.isCancelled()) {
                ScanSupport::sortLargestFirst(category.items);
                return category;
            }
            ++examined;
            std::string name = app.stem().string();
            ScanSupport::report(progress, std::min(double(examined) / kProgressScale, kProgressCap),
                                "Reading " + name + "\u2026");
            // The executable carries the bundle's name with every ".app" in it
            // dropped, as the bundles built that way name it ("Web.applet.app"
            // runs "Contents/MacOS/Weblet").
            std::string executableName = app.filename().string();
            for (size_t at; (at = executableName.find(".app")) != std::string::npos;) executableName.erase(at, 4);
            fs::path executable = app / "Contents" / "MacOS" / executableName;
            if (!existsFollowingLinks(executable)) continue;
            auto binary = FatBinary::read(executable);
            if (!binary || binary->architectures.size() < 2) continue;
            const auto& slices = binary->architectures;
            auto removable = std::find_if(slices.begin(), slices.end(), [](const auto& s) { return s.name != "arm64"; });
            auto kept = std::find_if(slices.begin(), slices.end(), [](const auto& s) { return s.name == "arm64"; });
            if (removable == slices.end() || kept == slices.end()) continue;
            std::string detail = removable->name + " slice" + std::string(kDot) + ByteFormat::string(kept->size) + " stays";
            category.items.push_back(makeItem(executable, name, std::move(detail), {removable->size, measureObject(executable)}, Safety::review));
        }
    }
    ScanSupport::sortLargestFirst(category.items);
    return category;
}

ScanCategory unusedDiskImages() {
    ScanCategory category = makeCategory("unused-disk-images", "Unused Disk Images",
                                         "Disk images and ISO files left behind after installation.");
    auto attached = attachedImages();
    const fs::path home = Locations::home();
    const fs::path folders[] = {home / "Downloads", home / "Documents", home / "Desktop"};
    for (const auto& folder : folders) {
        for (const auto& child : ScanSupport::children(folder)) {
            if (!isDiskImage(child)) continue;
            if (isAttached(child, attached)) continue;
            if (!unusedFor(child, kDiskImageAge)) continue;
            category.items.push_back(makeItem(child, child.filename().string(),
                                              folder.filename().string() + std::string(kDot) + "not mounted",
                                              ScanSupport::measureAlone(child), Safety::review));
        }
    }
    ScanSupport::sortLargestFirst(category.items);
    return category;
}

ScanCategory staleUpdatePayloads() {
    ScanCategory category = makeCategory("old-updates", "Old Updates",
                                         "Installer payloads left behind after an update completed.");
    const fs::path home = Locations::home();
    const LabelledFolder folders[] = {
        {Locations::system("/Library/Updates"), "System Updates"},
        {home / "Library/Caches/com.apple.SoftwareUpdate", "App Store cache"},
        {home / "Library/Application Support/Sparkle", "Sparkle updater"},
        {home / "Library/Caches/com.apple.packagekit", "PackageKit"},
    };
    for (const auto& [folder, label] : folders) {
        if (!existsFollowingLinks(folder) || !FS::canList(folder)) continue;
        for (const auto& child : ScanSupport::children(folder)) {
            if (Protection::isPathProtected(child)) continue;
            FS::Measured size = ScanSupport::measureAlone(child);
            if (size.size <= kUpdatePayloadFloor) continue;
            category.items.push_back(
                makeItem(child, child.filename().string(), std::string(label), size, Safety::review));
        }
    }
    ScanSupport::sortLargestFirst(category.items);
    return category;
}

ScanCategory documentVersions() {
    ScanCategory category =
        makeCategory("document-versions", "Document Versions", "macOS keeps old revisions of documents you edit.");
    fs::path store = Locations::system("/.DocumentRevisions-V100");
    if (!existsFollowingLinks(store)) return category;
    fs::path mine = store / "PerUID" / Decimal::text(User::uid());
    if (!existsFollowingLinks(mine)) return category;
    category.items.push_back(makeItem(mine, "Your document revision history", "Needs administrator rights",
                                      ScanSupport::measureAlone(mine), Safety::review));
    return category;
}

ScanCategory photoSyncCaches() {
    ScanCategory category =
        makeCategory("photo-sync-caches", "Photo Sync Caches",
                     "Left over after syncing photos with an iOS device. Rebuilt on demand.");
    struct PhotoFolder {
        fs::path folder;
        std::string_view label;
        Safety safety;
    };
    const fs::path home = Locations::home();
    // Application Support holds the Photos app's own data, not a cache: what is
    // found there waits for the user's choice instead of going with the
    // unattended clean.
    const PhotoFolder folders[] = {
        {home / "Library/Caches/com.apple.mobileslideshow", "iOS photo sync", Safety::safe},
        {home / "Library/Caches/com.apple.Photos", "Photos", Safety::safe},
        {home / "Library/Application Support/com.apple.Photos", "Photos support", Safety::review},
        {home / "Library/Caches/com.apple.photoanalysisd", "Photo analysis", Safety::safe},
    };
    for (const auto& [folder, label, safety] : folders) {
        if (!existsFollowingLinks(folder) || !FS::canList(folder)) continue;
        for (const auto& child : ScanSupport::children(folder)) {
            FS::Measured size = ScanSupport::measureAlone(child);
            if (size.size <= 0) continue;
            category.items.push_back(makeItem(child, child.filename().string(), std::string(label), size, safety));
        }
    }
    ScanSupport::sortLargestFirst(category.items);
    return category;
}

}  // namespace Detectors
