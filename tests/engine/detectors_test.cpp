#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

#include "engine/byte_format.h"
#include "engine/detectors.h"
#include "engine/fs.h"
#include "platform/clock.h"
#include "platform/disk_images.h"
#include "platform/user.h"
#include "platform/volumes.h"
#include "platform/walker.h"
#include "support/test_env.h"

using namespace testing_support;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr uint32_t kX86_64 = 0x01000007, kArm64 = 0x0100000C, kX86 = 7;

struct Slice {
    uint32_t cpuType;
    uint32_t cpuSubtype;
    uint32_t size;
};

// The 32-bit universal header of an executable; the slices themselves are not
// written, since only the header is ever read.
std::string fatHeader(std::initializer_list<Slice> slices) {
    std::string bytes;
    auto put = [&](uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(char((v >> shift) & 0xFF));
    };
    put(0xCAFEBABE);
    put(uint32_t(slices.size()));
    uint32_t offset = 0x4000;
    for (const auto& s : slices) {
        put(s.cpuType);
        put(s.cpuSubtype);
        put(offset);
        put(s.size);
        put(14);
        offset += 0x100000;
    }
    return bytes;
}

std::vector<std::string> names(const ScanCategory& category) {
    std::vector<std::string> out;
    for (const auto& item : category.items) out.push_back(item.name);
    return out;
}

const ScanItem* find(const ScanCategory& category, const std::string& name) {
    for (const auto& item : category.items)
        if (item.name == name) return &item;
    return nullptr;
}

struct Progress {
    std::vector<std::pair<double, std::string>> calls;
    ProgressCallback callback() {
        return [this](double f, const std::string& m) { calls.emplace_back(f, m); };
    }
};

}  // namespace

class Detectors_ : public TestEnv {
protected:
    void app(const fs::path& folder, const std::string& bundle, const std::string& executable,
             std::initializer_list<Slice> slices) {
        writeFile(folder / (bundle + ".app") / "Contents/MacOS" / executable, fatHeader(slices));
    }
};

TEST_F(Detectors_, UniversalBinariesListAppsWithAnArm64SliceAndAnother) {
    fs::path apps = sys("/Applications");
    app(apps, "Editor", "Editor", {{kX86_64, 3, 52'300'000}, {kArm64, 0, 48'000'000}});
    app(apps, "Signed", "Signed", {{kArm64, 0, 9'000'000}, {kArm64, 0x80000002, 9'500'000}});
    app(apps, "NoPlainArm", "NoPlainArm", {{kArm64, 0x80000002, 1000}, {kX86_64, 3, 2000}});
    app(apps, "IntelOnly", "IntelOnly", {{kX86_64, 3, 1000}, {kX86, 3, 2000}});
    app(apps, "Thin", "Thin", {{kArm64, 0, 1000}});
    app(apps, "Renamed", "RenamedApp", {{kX86_64, 3, 1000}, {kArm64, 0, 2000}});
    // Every ".app" in the bundle's name is dropped to name its executable;
    // a file named after the stem alone is not looked at.
    app(apps, "Web.applet", "Weblet", {{kX86_64, 3, 4000}, {kArm64, 0, 2000}});
    app(apps, "Tools.app.Kit", "Tools.app.Kit", {{kX86_64, 3, 4000}, {kArm64, 0, 2000}});
    app(apps, "Tools.app.Kit", "Tools.Kit", {{kX86_64, 3, 3000}, {kArm64, 0, 2000}});
    app(apps / "Games", "Nested", "Nested", {{kX86_64, 3, 1000}, {kArm64, 0, 2000}});
    writeFile(apps / "Plain.app/Contents/MacOS/Plain", std::string("\xCF\xFA\xED\xFE", 4) + std::string(64, '\0'));
    app(home() / "Applications", "Mine", "Mine", {{kX86_64, 3, 70'000'000}, {kArm64, 0, 1'000'000}});

    ScanToken token;
    Progress progress;
    ScanCategory category = Detectors::universalBinaries(token, progress.callback());

    EXPECT_EQ(category.id, "universal-binaries");
    EXPECT_EQ(category.title, "Universal Binaries");
    EXPECT_EQ(names(category), (std::vector<std::string>{"Mine", "Editor", "Signed", "Web.applet", "Tools.app.Kit"}));
    EXPECT_EQ(find(category, "Web.applet")->url, apps / "Web.applet.app/Contents/MacOS/Weblet");
    EXPECT_EQ(find(category, "Tools.app.Kit")->url, apps / "Tools.app.Kit.app/Contents/MacOS/Tools.Kit");
    EXPECT_EQ(find(category, "Tools.app.Kit")->size, 3000);
    const ScanItem* editor = find(category, "Editor");
    ASSERT_TRUE(editor);
    EXPECT_EQ(editor->url, apps / "Editor.app/Contents/MacOS/Editor");
    EXPECT_EQ(editor->size, 52'300'000);
    EXPECT_EQ(editor->detail, "x86_64 slice \u00B7 " + ByteFormat::string(48'000'000) + " stays");
    EXPECT_EQ(editor->safety, Safety::review);
    EXPECT_FALSE(editor->isSelected);
    EXPECT_EQ(find(category, "Signed")->detail, "arm64e slice \u00B7 " + ByteFormat::string(9'000'000) + " stays");
    EXPECT_EQ(find(category, "Signed")->size, 9'500'000);

    // Every bundle directly in the two folders counts once for progress; the
    // nested one is not examined.
    ASSERT_EQ(progress.calls.size(), 10u);
    EXPECT_DOUBLE_EQ(progress.calls.front().first, 1.0 / 120);
    std::vector<std::string> messages;
    for (const auto& call : progress.calls) messages.push_back(call.second);
    EXPECT_NE(std::find(messages.begin(), messages.end(), "Reading Editor\u2026"), messages.end());
    EXPECT_EQ(progress.calls.back().second, "Reading Mine\u2026");
}

TEST_F(Detectors_, UniversalBinariesProgressStopsRisingAtNinetyPercent) {
    for (int i = 0; i < 110; ++i) makeFolders(sys("/Applications") / ("App" + std::to_string(i) + ".app"));
    ScanToken token;
    Progress progress;
    Detectors::universalBinaries(token, progress.callback());
    ASSERT_EQ(progress.calls.size(), 110u);
    EXPECT_DOUBLE_EQ(progress.calls[106].first, 107.0 / 120);
    EXPECT_DOUBLE_EQ(progress.calls[107].first, 0.9);
    EXPECT_DOUBLE_EQ(progress.calls[109].first, 0.9);
}

TEST_F(Detectors_, UniversalBinariesCancelledKeepWhatWasGathered) {
    app(sys("/Applications"), "One", "One", {{kX86_64, 3, 1000}, {kArm64, 0, 2000}});
    app(sys("/Applications"), "Two", "Two", {{kX86_64, 3, 3000}, {kArm64, 0, 2000}});
    app(home() / "Applications", "Three", "Three", {{kX86_64, 3, 5000}, {kArm64, 0, 2000}});

    ScanToken cancelledBefore;
    cancelledBefore.cancel();
    Progress none;
    EXPECT_TRUE(Detectors::universalBinaries(cancelledBefore, none.callback()).items.empty());
    EXPECT_TRUE(none.calls.empty());

    // Cancelled while the first application is being read: it is finished,
    // nothing after it is looked at.
    ScanToken token;
    int calls = 0;
    ScanCategory category = Detectors::universalBinaries(token, [&](double, const std::string&) {
        ++calls;
        token.cancel();
    });
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(category.items.size(), 1u);
}

TEST_F(Detectors_, UnusedDiskImagesAreOldUnattachedImagesInThreeFolders) {
    const auto now = std::chrono::system_clock::time_point(1'800'000'000s);
    Clock::setForTesting([now] { return now; });
    struct Case {
        const char* path;
        std::chrono::seconds age;
        bool listed;
    };
    const Case cases[] = {
        {"Downloads/Tool.DMG", 31 * 86400s, true},
        {"Downloads/fresh.dmg", 29 * 86400s, false},
        {"Downloads/edge.dmg", 30 * 86400s, false},
        {"Downloads/past-edge.iso", 30 * 86400s + 1s, true},
        {"Downloads/setup.pkg", 400 * 86400s, false},
        {"Downloads/.dmg", 400 * 86400s, false},
        {"Documents/disc.toast", 90 * 86400s, true},
        {"Desktop/attached.sparseimage", 90 * 86400s, false},
        {"Desktop/empty.iso", 90 * 86400s, true},
        {"Pictures/elsewhere.dmg", 90 * 86400s, false},
    };
    for (const auto& c : cases) {
        if (std::string(c.path) == "Desktop/empty.iso") writeFile(home() / c.path, "");
        else allocateFile(home() / c.path, 64 * 1024);
        setTimes(home() / c.path, now - c.age);
    }
    // Dates beyond what a clock's nanoseconds reach: one from the year 3000 is
    // recent, one from the year 1000 long unused.
    for (auto [name, seconds] : {std::pair{"Downloads/future.dmg", int64_t(32'503'680'000)},
                                 std::pair{"Downloads/ancient.dmg", int64_t(-30'610'224'000)}}) {
        writeFile(home() / name, "image");
        const timespec times[2] = {{time_t(seconds), 0}, {time_t(seconds), 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, (home() / name).c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
    }
    // A bundle image is a folder, measured whole.
    allocateFile(home() / "Documents/Backup.sparsebundle/bands/0", 256 * 1024);
    setTimes(home() / "Documents/Backup.sparsebundle", now - 60 * 86400s);

    fs::path volume = tmp() / "Volumes/Installer";
    makeFolders(volume);
    Volumes::setForTesting(std::vector<fs::path>{root(), volume});
    DiskImages::setForTesting(std::map<std::string, std::string>{
        {volume.string(), (home() / "Desktop/attached.sparseimage").string()}});

    ScanCategory category = Detectors::unusedDiskImages();
    EXPECT_EQ(category.id, "unused-disk-images");
    std::vector<std::string> expected = {"Backup.sparsebundle", "ancient.dmg"};
    for (const auto& c : cases)
        if (c.listed) expected.push_back(fs::path(c.path).filename().string());
    std::vector<std::string> got = names(category);
    std::sort(expected.begin(), expected.end());
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, expected);

    EXPECT_EQ(find(category, "Tool.DMG")->detail, "Downloads \u00B7 not mounted");
    EXPECT_EQ(find(category, "disc.toast")->detail, "Documents \u00B7 not mounted");
    EXPECT_EQ(find(category, "empty.iso")->size, 0);
    EXPECT_EQ(category.items.front().name, "Backup.sparsebundle");
    FS::SeenSet seen;
    EXPECT_EQ(category.items.front().size, FS::size(home() / "Documents/Backup.sparsebundle", seen));
    for (const auto& item : category.items) {
        EXPECT_EQ(item.safety, Safety::review);
        EXPECT_FALSE(item.isSelected);
    }
}

TEST_F(Detectors_, ImagesTheDiskImageToolNamesAsAttachedAreInUse) {
    const auto now = std::chrono::system_clock::time_point(1'800'000'000s);
    Clock::setForTesting([now] { return now; });
    for (const char* name : {"Attached.dmg", "Loose.dmg"}) {
        writeFile(home() / "Downloads" / name, "image");
        setTimes(home() / "Downloads" / name, now - 90 * 86400s);
    }
    const fs::path volume = tmp() / "Volumes/Attached";
    makeFolders(volume);
    Volumes::setForTesting(std::vector<fs::path>{volume});
    // The tool under the test root lists the image behind the mounted volume,
    // and one more whose volume is not among the mounted ones.
    writeFile(sys("/usr/bin/hdiutil"),
              "#!/bin/sh\n[ \"$*\" = 'info -plist' ] || exit 2\ncat <<'END'\n"
              "<plist version=\"1.0\"><dict><key>images</key><array>"
              "<dict><key>image-path</key><string>" + (home() / "Downloads/Attached.dmg").string() +
              "</string><key>system-entities</key><array><dict><key>mount-point</key><string>" + volume.string() +
              "</string></dict></array></dict>"
              "<dict><key>image-path</key><string>" + (home() / "Downloads/Loose.dmg").string() +
              "</string><key>system-entities</key><array><dict><key>mount-point</key>"
              "<string>/Volumes/Elsewhere</string></dict></array></dict>"
              "</array></dict></plist>\nEND\n");
    fs::permissions(sys("/usr/bin/hdiutil"), fs::perms::owner_all);
    EXPECT_EQ(names(Detectors::unusedDiskImages()), std::vector<std::string>{"Loose.dmg"});

    // A tool that fails tells nothing: both images are unused.
    writeFile(sys("/usr/bin/hdiutil"), "#!/bin/sh\nexit 1\n");
    auto both = names(Detectors::unusedDiskImages());
    std::sort(both.begin(), both.end());
    EXPECT_EQ(both, (std::vector<std::string>{"Attached.dmg", "Loose.dmg"}));
}

TEST_F(Detectors_, StaleUpdatePayloadsAboveOneMebibyte) {
    allocateFile(sys("/Library/Updates/exact.pkg"), 1024 * 1024);
    allocateFile(sys("/Library/Updates/over.pkg"), 1024 * 1024 + 1);
    allocateFile(sys("/Library/Updates/Tailscale-1.2.pkg"), 4 * 1024 * 1024);
    allocateFile(home() / "Library/Caches/com.apple.SoftwareUpdate/macOS.pkg/payload", 3 * 1024 * 1024);
    allocateFile(home() / "Library/Application Support/Sparkle/Editor 2.0.zip", 2 * 1024 * 1024);
    allocateFile(home() / "Library/Caches/com.apple.packagekit/small", 4096);

    ScanCategory category = Detectors::staleUpdatePayloads();
    EXPECT_EQ(category.id, "old-updates");
    EXPECT_EQ(names(category), (std::vector<std::string>{"macOS.pkg", "Editor 2.0.zip", "over.pkg"}));
    EXPECT_EQ(find(category, "macOS.pkg")->detail, "App Store cache");
    EXPECT_EQ(find(category, "Editor 2.0.zip")->detail, "Sparkle updater");
    EXPECT_EQ(find(category, "over.pkg")->detail, "System Updates");
    EXPECT_EQ(find(category, "over.pkg")->url, sys("/Library/Updates/over.pkg"));
}

TEST_F(Detectors_, DocumentVersionsIsTheUsersRevisionFolder) {
    User::setUidForTesting(501);
    EXPECT_TRUE(Detectors::documentVersions().items.empty());
    makeFolders(sys("/.DocumentRevisions-V100/PerUID/502"));
    EXPECT_TRUE(Detectors::documentVersions().items.empty());

    makeFolders(sys("/.DocumentRevisions-V100/PerUID/501"));
    ScanCategory category = Detectors::documentVersions();
    EXPECT_EQ(category.id, "document-versions");
    ASSERT_EQ(category.items.size(), 1u);
    const ScanItem& item = category.items.front();
    EXPECT_EQ(item.url, sys("/.DocumentRevisions-V100/PerUID/501"));
    EXPECT_EQ(item.name, "Your document revision history");
    EXPECT_EQ(item.detail, "Needs administrator rights");
    EXPECT_EQ(item.size, 0);
    EXPECT_EQ(item.safety, Safety::review);
}

TEST_F(Detectors_, PhotoSyncCachesAreSafeButPhotosSupportWaitsForReview) {
    allocateFile(home() / "Library/Caches/com.apple.mobileslideshow/sync-a", 128 * 1024);
    allocateFile(home() / "Library/Caches/com.apple.mobileslideshow/sync-b", 128 * 1024);
    writeFile(home() / "Library/Caches/com.apple.mobileslideshow/empty", "");
    allocateFile(home() / "Library/Caches/com.apple.Photos/thumbs/t1", 64 * 1024);
    allocateFile(home() / "Library/Application Support/com.apple.Photos/derived", 512 * 1024);
    allocateFile(home() / "Library/Caches/com.apple.photoanalysisd/scenes", 16 * 1024);

    ScanCategory category = Detectors::photoSyncCaches();
    EXPECT_EQ(category.id, "photo-sync-caches");
    EXPECT_EQ(category.items.size(), 5u);
    EXPECT_FALSE(find(category, "empty"));

    const ScanItem* support = find(category, "derived");
    ASSERT_TRUE(support);
    EXPECT_EQ(support->detail, "Photos support");
    EXPECT_EQ(support->safety, Safety::review);
    EXPECT_FALSE(support->isSelected);
    for (const auto& [name, label] : std::map<std::string, std::string>{
             {"sync-a", "iOS photo sync"}, {"thumbs", "Photos"}, {"scenes", "Photo analysis"}}) {
        const ScanItem* item = find(category, name);
        ASSERT_TRUE(item) << name;
        EXPECT_EQ(item->detail, label);
        EXPECT_EQ(item->safety, Safety::safe);
        EXPECT_TRUE(item->isSelected);
    }

    // Equal sizes keep the order they were found in.
    std::vector<std::string> listed;
    for (const auto& n : Walker::list(home() / "Library/Caches/com.apple.mobileslideshow"))
        if (n != "empty") listed.push_back(n);
    std::vector<std::string> got = names(category);
    EXPECT_EQ(got.front(), "derived");
    EXPECT_EQ(std::vector<std::string>(got.begin() + 1, got.begin() + 3), listed);
}
