#include "safety/removal_safety.h"

#include <sys/stat.h>

#include <utility>

#include "engine/admin.h"
#include "engine/ignores.h"
#include "platform/file_facts.h"
#include "platform/locations.h"

using namespace testing_support;
namespace fs = std::filesystem;

void RemovalSafety::SetUp() {
    TestEnv::SetUp();
    canary = tmp() / "canary";
    canaryFiles_ = {
        {canary / "precious.txt", "precious contents"},
        {canary / "hardlinked.txt", "shared by a hard link"},
        {canary / "deep/er/note.txt", "deep note"},
        {canary / ".hidden", "hidden"},
    };
    for (const auto& [path, text] : canaryFiles_) writeFile(path, text);

    fs::path caches = home() / "Library/Caches";
    protectedPath = sys("/System/Library/Caches/com.example.system");
    writeFile(protectedPath / "data", "system data");

    ignoredPath = caches / "com.example.ignored";
    writeFile(ignoredPath / "data", "ignored data");
    fs::path ignoredFolder = caches / "com.example.ignored-folder";
    underIgnored = ignoredFolder / "inner";
    writeFile(underIgnored / "data", "data under an ignored folder");
    holdsProtected = sys("/usr");
    writeFile(holdsProtected / "bin/tool", "system tool");
    writeFile(holdsProtected / "local/own", "own");
    holdsProtectedBelowItsRoot = sys("/private/var");
    writeFile(holdsProtectedBelowItsRoot / "db/system.db", "system database");
    writeFile(holdsProtectedBelowItsRoot / "log/old.log", "log");

    holdsIgnored = caches / "com.example.keeper";
    writeFile(holdsIgnored / "keep/data", "kept data");
    writeFile(holdsIgnored / "other.cache", "other");
    EXPECT_EQ(Ignores::add((holdsIgnored / "keep").native()), Ignores::Edit::changed);
    EXPECT_EQ(Ignores::add(ignoredPath.native()), Ignores::Edit::changed);
    EXPECT_EQ(Ignores::add(ignoredFolder.native()), Ignores::Edit::changed);

    makeSymlink(protectedPath.parent_path(), caches / "com.example.system-shortcut");
    protectedThroughLink = caches / "com.example.system-shortcut" / protectedPath.filename();
    makeSymlink(underIgnored.parent_path(), home() / "Desktop/shortcut");
    ignoredThroughLink = home() / "Desktop/shortcut" / underIgnored.filename();

    linkToCanary = caches / "com.example.link";
    makeSymlink(canary, linkToCanary);

    folderWithLinks = caches / "com.example.holder";
    writeFile(folderWithLinks / "own.bin", "own");
    makeSymlink(canary, folderWithLinks / "link-to-folder");
    makeSymlink(canary / "precious.txt", folderWithLinks / "sub/link-to-file");
    fs::create_hard_link(canary / "hardlinked.txt", folderWithLinks / "sub/hard-link.txt");

    plain = caches / "com.example.plain";
    writeFile(plain / "a/b/c.cache", "cache");
}

ScanItem RemovalSafety::item(const fs::path& path, Safety safety, int64_t size) {
    ScanItem i;
    i.url = path;
    i.name = path.filename().string();
    i.size = size;
    i.safety = safety;
    i.isSelected = true;
    // Measured now, as a scan would: the road then holds the item to this object.
    i.measured = measureObject(path);
    return i;
}

std::string RemovalSafety::canaryDamage() const {
    std::string damage;
    struct stat st{};
    if (::lstat(canary.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) damage += "the canary folder is gone; ";
    for (const auto& [path, text] : canaryFiles_) {
        if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) damage += path.native() + " is gone; ";
        else if (readFile(path) != text) damage += path.native() + " changed; ";
    }
    return damage;
}

std::string roadName(const testing::TestParamInfo<RemovalRoad>& info) { return info.param.name; }

namespace {

std::function<void()> pendingBetween;

}  // namespace

void betweenScanAndRemoval() {
    // Once per removal: what is taken out is not run again by a second call.
    std::function<void()> between = std::exchange(pendingBetween, nullptr);
    if (between) between();
}

void installBatchBackend(const fs::path& workingFolder) {
    Admin::setPrivilegedBackendForTesting([workingFolder](const fs::path& script, const std::optional<std::string>&) {
        betweenScanAndRemoval();
        std::string cd = workingFolder.empty() ? "" : "cd " + Admin::quote(workingFolder.native()) + " && ";
        return Admin::run(cd + "/bin/sh " + Admin::quote(script.native()), true);
    });
}

bool reachedThroughALink(const fs::path& path) {
    const fs::path top = path.native().rfind(Locations::home().native() + "/", 0) == 0 ? Locations::home()
                                                                                    : fs::path(Locations::root());
    fs::path folder = path.parent_path();
    while (!folder.empty() && folder != top && folder != folder.root_path()) {
        if (fs::is_symlink(folder)) return true;
        folder = folder.parent_path();
    }
    return false;
}

void EveryRoad::TearDown() {
    pendingBetween = nullptr;
    RemovalSafety::TearDown();
}

void EveryRoad::removeAll(const std::vector<ScanItem>& items, std::function<void()> between) {
    pendingBetween = std::move(between);
    GetParam().remove(items);
    EXPECT_FALSE(pendingBetween) << "the road never reached the point between its scan and its removal";
    pendingBetween = nullptr;
}
