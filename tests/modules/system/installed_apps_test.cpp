#include <gtest/gtest.h>

#include "engine/fs.h"
#include "modules/system/uninstaller.h"
#include "platform/plist.h"
#include "support/binary_plist.h"
#include "support/test_env.h"

using namespace testing_support;

namespace {

std::string infoXml(std::map<std::string, Plist::Value> entries) {
    return Plist::toXml(Plist::Value::makeDict(std::move(entries)));
}

// A bundle with an Info.plist (when given) and an executable of the given size.
void makeApp(const std::filesystem::path& bundle, const std::optional<std::string>& info, int64_t bytes = 8192) {
    makeFolders(bundle / "Contents" / "MacOS");
    if (info) writeFile(bundle / "Contents" / "Info.plist", *info);
    allocateFile(bundle / "Contents" / "MacOS" / bundle.stem(), bytes);
}

int64_t measured(const std::filesystem::path& p) {
    FS::SeenSet seen;
    return FS::size(p, seen);
}

class InstalledAppsTest : public TestEnv {
protected:
    std::vector<InstalledApp> list(std::vector<std::pair<double, std::string>>* progress = nullptr,
                                   const ScanTokenRef& token = std::make_shared<ScanToken>()) {
        return Uninstaller::installedApps(token, [&](double f, const std::string& m) {
            if (progress) progress->emplace_back(f, m);
        });
    }
};

}  // namespace

TEST_F(InstalledAppsTest, ReadsEveryKindOfInfoPlist) {
    const auto apps = sys("/Applications");
    makeApp(apps / "Xml.app", infoXml({{"CFBundleIdentifier", Plist::Value::makeString("com.example.xml")},
                                       {"CFBundleShortVersionString", Plist::Value::makeString("2.1")},
                                       {"CFBundleVersion", Plist::Value::makeString("210")}}),
            64 * 1024);
    makeApp(apps / "Binary.app", binaryPlist(Plist::Value::makeDict({{"CFBundleIdentifier", Plist::Value::makeString("com.example.bin")},
                                                         {"CFBundleVersion", Plist::Value::makeString("1234")}})));
    makeApp(apps / "Missing.app", std::nullopt);
    makeApp(apps / "Broken.app", "<?xml version=\"1.0\"?><plist><dict><key>CFBundle");
    makeApp(apps / "NotDict.app", Plist::toXml(Plist::Value::makeArray({Plist::Value::makeString("x")})));
    makeApp(apps / "Typed.app", infoXml({{"CFBundleIdentifier", Plist::Value::makeInteger(7)},
                                         {"CFBundleShortVersionString", Plist::Value::makeInteger(3)}}));
    // Not applications: the extension is compared exactly, folders need one.
    makeApp(apps / "Upper.APP", std::nullopt);
    makeApp(apps / "Bundle", std::nullopt);
    writeFile(apps / "readme.txt", "x");

    struct Expect {
        std::string name, bundleID, version;
    };
    const std::vector<Expect> expected = {
        {"Binary", "com.example.bin", "1234"},  {"Broken", "Broken.app", "\xE2\x80\x94"},
        {"Missing", "Missing.app", "\xE2\x80\x94"}, {"NotDict", "NotDict.app", "\xE2\x80\x94"},
        {"Typed", "Typed.app", "\xE2\x80\x94"},  {"Xml", "com.example.xml", "2.1"},
    };
    const auto listed = list();
    ASSERT_EQ(listed.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const auto& app = listed[i];
        EXPECT_EQ(app.name, expected[i].name);
        EXPECT_EQ(app.bundleID, expected[i].bundleID) << app.name;
        EXPECT_EQ(app.version, expected[i].version) << app.name;
        EXPECT_EQ(app.url, apps / (app.name + ".app"));
        EXPECT_EQ(app.id, app.url.string());
        EXPECT_EQ(app.size, measured(app.url)) << app.name;
        EXPECT_FALSE(app.isProtected);
    }
    EXPECT_GT(listed.back().size, 64 * 1024);
}

TEST_F(InstalledAppsTest, ProtectionFromIdentifierPrefixesAndNames) {
    struct Case {
        std::string file, bundleID;
        bool isProtected;
    };
    const std::vector<Case> cases = {
        {"Vault.app", "com.agilebits.onepassword7", true},
        {"Inspector.app", "com.apple.accessibility.inspector", true},
        {"Mouse.app", "com.logitechs.app", false},          // "com.logitech." ends with a dot
        {"Cloner.app", "com.bombich.cccx", true},           // "com.bombich.ccc" does not
        {"Drive.app", "COM.DROPBOX.client", false},         // prefixes are compared with case
        {"Tunnel.app", "org.example.tunnel", false},
        {"WireGuard Tool.app", "org.example.wg", true},   // the name alone
        {"My 1Password Helper.app", "org.example.helper", true},
    };
    for (const auto& c : cases)
        makeApp(home() / "Applications" / c.file,
                infoXml({{"CFBundleIdentifier", Plist::Value::makeString(c.bundleID)}}));
    for (const auto& app : list()) {
        auto it = std::find_if(cases.begin(), cases.end(), [&](const Case& c) { return c.bundleID == app.bundleID; });
        ASSERT_NE(it, cases.end());
        EXPECT_EQ(app.isProtected, it->isProtected) << app.bundleID;
    }
}

TEST_F(InstalledAppsTest, FolderOrderAndCaseInsensitiveStableSort) {
    makeApp(sys("/Applications") / "Zeta.app", std::nullopt);
    makeApp(sys("/Applications/Utilities") / "notes.app", std::nullopt);
    makeApp(sys("/System/Applications") / "Notes.app", std::nullopt);
    makeApp(sys("/System/Applications/Utilities") / "Échecs.app", std::nullopt);
    makeApp(home() / "Applications" / "alpha.app", std::nullopt);
    makeApp(home() / "Applications" / "Nested" / "Deep.app", std::nullopt);  // no recursion
    makeSymlink(sys("/Applications") / "Zeta.app", home() / "Applications" / "Linked.app");

    std::vector<std::string> order;
    for (const auto& app : list()) order.push_back(app.id);
    EXPECT_EQ(order, (std::vector<std::string>{
                         (home() / "Applications/alpha.app").string(),
                         (sys("/System/Applications/Utilities") / "Échecs.app").string(),
                         (home() / "Applications/Linked.app").string(),
                         // equal names keep folder order
                         (sys("/Applications/Utilities") / "notes.app").string(),
                         (sys("/System/Applications") / "Notes.app").string(),
                         (sys("/Applications") / "Zeta.app").string(),
                     }));
}

TEST_F(InstalledAppsTest, ProgressAndCancellation) {
    std::vector<std::pair<double, std::string>> progress;
    EXPECT_TRUE(list(&progress).empty());
    EXPECT_TRUE(progress.empty());

    for (int i = 0; i < 80; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "App%02d.app", i);
        makeFolders(sys("/Applications") / name);
    }
    const auto listed = list(&progress);
    ASSERT_EQ(listed.size(), 80u);
    ASSERT_EQ(progress.size(), 80u);
    for (size_t i = 0; i < progress.size(); ++i) {
        EXPECT_DOUBLE_EQ(progress[i].first, std::min(double(i + 1) / 60.0, 0.95)) << i;
        EXPECT_EQ(progress[i].second.rfind("Measuring App", 0), 0u);
        EXPECT_EQ(progress[i].second.substr(progress[i].second.size() - 3), "\xE2\x80\xA6");
    }
    EXPECT_DOUBLE_EQ(progress[56].first, 0.95);

    auto cancelled = std::make_shared<ScanToken>();
    cancelled->cancel();
    progress.clear();
    EXPECT_TRUE(list(&progress, cancelled).empty());
    EXPECT_TRUE(progress.empty());
}
