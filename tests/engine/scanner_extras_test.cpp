#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "engine/fs.h"
#include "engine/ignores.h"
#include "engine/scanner_extras.h"
#include "platform/plist.h"
#include "platform/user.h"
#include "support/binary_plist.h"
#include "support/test_env.h"

using namespace testing_support;
namespace fs = std::filesystem;
using Plist::Value;

namespace {

void writePlist(const fs::path& path, const Value& value, bool binary) {
    writeFile(path, binary ? binaryPlist(value) : Plist::toXml(value));
}

Value dict(std::map<std::string, Value> entries) { return Value::makeDict(std::move(entries)); }
Value str(std::string s) { return Value::makeString(std::move(s)); }

std::vector<std::string> names(const ScanCategory& category) {
    std::vector<std::string> out;
    for (const auto& item : category.items) out.push_back(item.name);
    return out;
}

std::set<std::string> nameSet(const ScanCategory& category) {
    auto v = names(category);
    return {v.begin(), v.end()};
}

const ScanItem* find(const ScanCategory& category, const std::string& name) {
    for (const auto& item : category.items)
        if (item.name == name) return &item;
    return nullptr;
}

void expectReviewItems(const ScanCategory& category) {
    for (const auto& item : category.items) {
        EXPECT_EQ(item.safety, Safety::review) << item.name;
        EXPECT_FALSE(item.isSelected) << item.name;
    }
}

}  // namespace

class ScannerExtras : public TestEnv {};

TEST_F(ScannerExtras, InstalledBundleIDsReadXmlAndBinaryInfoPlists) {
    auto info = [](const std::string& id) { return dict({{"CFBundleIdentifier", str(id)}}); };
    writePlist(sys("/Applications/Editor.app/Contents/Info.plist"), info("com.example.editor"), false);
    writePlist(sys("/Applications/Viewer.app/Contents/Info.plist"), info("com.example.Viewer"), true);
    writePlist(sys("/System/Applications/Notes.app/Contents/Info.plist"), info("com.apple.Notes"), true);
    writePlist(home() / "Applications/Mine.app/Contents/Info.plist", info("org.example.mine"), false);
    writePlist(sys("/Applications/Utilities/Console.app/Contents/Info.plist"), info("com.apple.Console"), false);
    // Suites keep their applications in folders of their own, a few levels deep.
    writePlist(sys("/Applications/Games/Chess.app/Contents/Info.plist"), info("com.example.chess"), false);
    writePlist(sys("/Applications/Suite Pro/Tools/Editor Pro.app/Contents/Info.plist"), info("com.suite.editor"), true);
    writePlist(home() / "Applications/Suite/Writer.app/Contents/Info.plist", info("com.suite.writer"), false);
    // None of these contribute an identifier: a folder deeper than that, an
    // application inside a bundle, and identifiers that are not text.
    writePlist(sys("/Applications/A/B/C/Deep.app/Contents/Info.plist"), info("com.example.deep"), false);
    writePlist(sys("/Applications/Editor.app/Contents/Helpers/Inner.app/Contents/Info.plist"),
               info("com.example.inner"), false);
    writePlist(sys("/Applications/Number.app/Contents/Info.plist"),
               dict({{"CFBundleIdentifier", Value::makeInteger(7)}}), false);
    writePlist(sys("/Applications/List.app/Contents/Info.plist"), Value::makeArray({str("com.example.list")}), true);
    writeFile(sys("/Applications/Broken.app/Contents/Info.plist"), "<plist><dict><key>CFBundle");
    makeFolders(sys("/Applications/Empty.app/Contents"));
    writePlist(sys("/Applications/NotAnApp/Contents/Info.plist"), info("com.example.notanapp"), false);

    EXPECT_EQ(Scanner::installedBundleIDs(),
              (std::set<std::string>{"com.example.editor", "com.example.Viewer", "com.apple.Notes", "org.example.mine",
                                     "com.apple.Console", "com.example.chess", "com.suite.editor", "com.suite.writer"}));
}

TEST_F(ScannerExtras, BrokenPreferencesAreFilesNoInstalledAppOwns) {
    fs::path prefs = home() / "Library/Preferences";
    allocateFile(prefs / "com.example.editor.plist", 8 * 1024);
    allocateFile(prefs / "com.example.editor.agent.plist", 16 * 1024);
    allocateFile(prefs / "org.example.Tool.plist", 4 * 1024);
    allocateFile(prefs / "loginwindow.plist", 4 * 1024);
    allocateFile(prefs / "com.apple.finder.plist", 4 * 1024);
    allocateFile(prefs / "com.example.notes.txt", 4 * 1024);
    allocateFile(prefs / "ByHost/com.example.host.plist", 4 * 1024);

    struct Case {
        std::set<std::string> installed;
        std::set<std::string> listed;
    };
    const Case cases[] = {
        // The helper's preferences of an installed application are that application's.
        {{"com.example.editor"}, {"org.example.Tool"}},
        {{"com.example.editor.agent"}, {"org.example.Tool"}},
        {{"com.example.Editor"}, {"com.example.editor", "com.example.editor.agent", "org.example.Tool"}},
        {{}, {"com.example.editor", "com.example.editor.agent", "org.example.Tool"}},
        {{"com.example.editor", "com.example.editor.agent", "org.example.Tool"}, {}},
    };
    for (const auto& c : cases) {
        ScanCategory category = Scanner::scanBrokenPreferences(c.installed);
        EXPECT_EQ(category.id, "broken-preferences");
        EXPECT_EQ(category.title, "Broken Preferences");
        EXPECT_EQ(category.detail, "Settings left behind by apps you removed.");
        EXPECT_EQ(nameSet(category), c.listed);
        expectReviewItems(category);
    }

    ScanCategory all = Scanner::scanBrokenPreferences({});
    EXPECT_EQ(names(all).front(), "com.example.editor.agent");  // largest first
    const ScanItem* tool = find(all, "org.example.Tool");
    ASSERT_TRUE(tool);
    EXPECT_EQ(tool->url, prefs / "org.example.Tool.plist");
    EXPECT_EQ(tool->detail, "No installed app owns this preferences file");
    EXPECT_EQ(tool->size, 4 * 1024);

    // No preferences folder at all.
    fs::remove_all(prefs);
    EXPECT_TRUE(Scanner::scanBrokenPreferences({}).items.empty());
}

TEST_F(ScannerExtras, ApplicationsInSuiteFoldersAndTheHomeOwnTheirPreferences) {
    auto info = [](const std::string& id) { return dict({{"CFBundleIdentifier", str(id)}}); };
    writePlist(sys("/Applications/Suite Pro/Editor Pro.app/Contents/Info.plist"), info("com.suite.editorpro"), false);
    writePlist(home() / "Applications/Mine.app/Contents/Info.plist", info("org.example.mine"), true);
    const fs::path prefs = home() / "Library/Preferences";
    allocateFile(prefs / "com.suite.editorpro.plist", 4 * 1024);
    allocateFile(prefs / "com.suite.editorpro.LSSharedFileList.plist", 4 * 1024);
    allocateFile(prefs / "org.example.mine.plist", 4 * 1024);
    allocateFile(prefs / "com.suite.gone.plist", 4 * 1024);

    EXPECT_EQ(nameSet(Scanner::scanBrokenPreferences(Scanner::installedBundleIDs())),
              (std::set<std::string>{"com.suite.gone"}));
}

TEST_F(ScannerExtras, BrokenLoginItemsPointAtMissingAbsolutePrograms) {
    // Programs are named as the system sees them and looked for under the
    // test root, where the fixture puts them.
    fs::path agents = home() / "Library/LaunchAgents";
    const std::string present = "/usr/local/bin/present";
    writeFile(sys(present), "#!/bin/sh\n");
    makeSymlink(sys("/usr/local/bin/gone"), sys("/usr/local/bin/dangling"));
    const std::string missing = "/opt/tool/agent";
    const std::string missingArg = "/usr/local/bin/x";

    struct Case {
        const char* name;
        Value job;
        bool binary;
        const char* listedWith;  // the program in the detail, or null when not listed
    };
    const std::string dangling = "/usr/local/bin/dangling";
    const Case cases[] = {
        {"com.example.missing", dict({{"Program", str(missing)}}), false, missing.c_str()},
        {"com.example.args",
         dict({{"ProgramArguments", Value::makeArray({str(missingArg), str("--flag")})}}), true, missingArg.c_str()},
        {"com.example.numeric",
         dict({{"Program", Value::makeInteger(3)}, {"ProgramArguments", Value::makeArray({str(missingArg)})}}), false,
         missingArg.c_str()},
        {"com.example.dangling", dict({{"Program", str(dangling)}}), true, dangling.c_str()},
        {"com.example.present", dict({{"Program", str(present)}}), false, nullptr},
        {"com.example.relative", dict({{"Program", str("tool")}}), false, nullptr},
        {"com.example.mixed", dict({{"ProgramArguments", Value::makeArray({str(missingArg), Value::makeInteger(1)})}}),
         false, nullptr},
        {"com.example.emptyargs", dict({{"ProgramArguments", Value::makeArray({})}}), false, nullptr},
        {"com.example.noprogram", dict({{"Label", str("x")}}), false, nullptr},
        {"com.example.array", Value::makeArray({str(missing)}), false, nullptr},
    };
    for (const auto& c : cases) writePlist(agents / (std::string(c.name) + ".plist"), c.job, c.binary);
    writeFile(agents / "com.example.garbled.plist", "not a property list");
    writePlist(agents / "com.example.other.txt", dict({{"Program", str(missing)}}), false);

    ScanCategory category = Scanner::scanBrokenLoginItems();
    EXPECT_EQ(category.id, "broken-login-items");
    EXPECT_EQ(category.title, "Broken Login Items");
    EXPECT_EQ(category.detail, "Startup entries whose program is gone.");
    std::set<std::string> expected;
    for (const auto& c : cases) {
        if (!c.listedWith) continue;
        expected.insert(c.name);
        const ScanItem* item = find(category, c.name);
        ASSERT_TRUE(item) << c.name;
        EXPECT_EQ(item->detail, std::string("Points at a missing program: ") + c.listedWith);
        EXPECT_EQ(item->url, agents / (std::string(c.name) + ".plist"));
        EXPECT_GT(item->size, 0);
    }
    EXPECT_EQ(nameSet(category), expected);
    expectReviewItems(category);
}

TEST_F(ScannerExtras, BrokenLoginItemsKeepFolderOrderUnsorted) {
    const std::string missing = "/missing/program";
    auto job = dict({{"Program", str(missing)}, {"Padding", str(std::string(20000, 'x'))}});
    writePlist(home() / "Library/LaunchAgents/user.agent.plist", dict({{"Program", str(missing)}}), false);
    writePlist(sys("/Library/LaunchAgents/global.agent.plist"), job, false);
    writePlist(sys("/Library/LaunchDaemons/global.daemon.plist"), dict({{"Program", str(missing)}}), true);
    EXPECT_EQ(names(Scanner::scanBrokenLoginItems()),
              (std::vector<std::string>{"user.agent", "global.agent", "global.daemon"}));
}

TEST_F(ScannerExtras, ChromiumProfilesYieldOneCategoryPerBrowser) {
    fs::path chrome = home() / "Library/Application Support/Google/Chrome";
    allocateFile(chrome / "Default/History", 256 * 1024);
    writeFile(chrome / "Default/Cookies", "");
    writeFile(chrome / "Profile 1/Preferences", "{}");
    allocateFile(chrome / "Profile 1/Login Data", 64 * 1024);
    allocateFile(chrome / "Crashpad/Cookies", 64 * 1024);  // neither History nor Preferences: no profile
    writeFile(chrome / "Local State", "{}");
    fs::path brave = home() / "Library/Application Support/BraveSoftware/Brave-Browser";
    allocateFile(brave / "Default/History", 32 * 1024);
    allocateFile(brave / "Default/Network/TransportSecurity", 4096);
    allocateFile(brave / "Default/Cookies", 4096);
    ASSERT_EQ(Ignores::add((brave / "Default/Cookies").string()), Ignores::Edit::changed);
    // A profile whose name marks it as belonging to a password manager is passed over.
    allocateFile(brave / "1Password Profile/History", 4096);
    makeFolders(home() / "Library/Application Support/Vivaldi/Default");  // a profile with nothing in it

    auto categories = Scanner::chromiumCategories();
    ASSERT_EQ(categories.size(), 2u);

    const ScanCategory& c = categories[0];
    EXPECT_EQ(c.id, "chromium-chrome");
    EXPECT_EQ(c.title, "Chrome");
    EXPECT_EQ(c.detail, "History, cookies, autofill and session data across Chrome profiles.");
    EXPECT_EQ(names(c), (std::vector<std::string>{"Browsing History", "Saved Passwords", "Cookies"}));
    EXPECT_EQ(c.items[0].detail, "Chrome \u00B7 Default");
    EXPECT_EQ(c.items[1].detail, "Chrome \u00B7 Profile 1 \u2014 removes every password this browser has saved");
    EXPECT_EQ(c.items[1].url, chrome / "Profile 1/Login Data");
    EXPECT_EQ(c.items[2].size, 0);
    expectReviewItems(c);

    const ScanCategory& b = categories[1];
    EXPECT_EQ(b.id, "chromium-brave");
    EXPECT_EQ(b.title, "Brave");
    EXPECT_EQ(names(b), (std::vector<std::string>{"Browsing History", "HSTS State"}));
    EXPECT_EQ(b.items[1].detail, "Brave \u00B7 Default");
}

TEST_F(ScannerExtras, NoChromiumBrowserNoCategories) {
    EXPECT_TRUE(Scanner::chromiumCategories().empty());
}

TEST_F(ScannerExtras, SystemJunkExtrasReportsBeforeEachDetectorAndKeepsWhatFoundSomething) {
    std::vector<std::pair<double, std::string>> calls;
    auto progress = [&](double f, const std::string& m) { calls.emplace_back(f, m); };
    ScanToken token;
    EXPECT_TRUE(Scanner::systemJunkExtras(token, progress).empty());
    const std::vector<std::pair<double, std::string>> expected = {
        {0.8, "Checking universal binaries\u2026"},  {0.88, "Looking for unused disk images\u2026"},
        {0.92, "Checking update payloads\u2026"},    {0.95, "Checking document versions\u2026"},
        {0.97, "Checking photo sync caches\u2026"},
    };
    EXPECT_EQ(calls, expected);

    // Only the document-versions detector finds something; a cancelled token
    // does not keep the later detectors from running.
    User::setUidForTesting(501);
    makeFolders(sys("/.DocumentRevisions-V100/PerUID/501"));
    token.cancel();
    auto found = Scanner::systemJunkExtras(token, nullptr);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].id, "document-versions");
}
