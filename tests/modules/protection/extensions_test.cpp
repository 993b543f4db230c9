#include <gtest/gtest.h>

#include "modules/protection/extensions.h"
#include "platform/plist.h"
#include "support/test_env.h"

using testing_support::allocateFile;
using testing_support::makeFolders;
using testing_support::writeFile;

namespace {

std::string infoPlist(const std::string& pointKey, const std::string& point, bool nested) {
    auto pointValue = Plist::Value::makeDict({{pointKey, Plist::Value::makeString(point)}});
    if (nested) return Plist::toXml(Plist::Value::makeDict({{"NSExtension", pointValue}}));
    return Plist::toXml(pointValue);
}

const ScanCategory* find(const ScanReport& report, const std::string& id) {
    for (const auto& c : report.categories)
        if (c.id == id) return &c;
    return nullptr;
}

std::vector<std::string> names(const ScanCategory& c) {
    std::vector<std::string> out;
    for (const auto& item : c.items) out.push_back(item.name);
    return out;
}

std::vector<std::string> details(const ScanCategory& c) {
    std::vector<std::string> out;
    for (const auto& item : c.items) out.push_back(item.detail);
    return out;
}

}  // namespace

class ExtensionsScan : public TestEnv {};

TEST_F(ExtensionsScan, EveryGroupFromAFixtureHome) {
    // Safari app extensions: one nested in NSExtension, one at the top level,
    // one for another extension point, one with a broken property list.
    const auto userApps = home() / "Applications";
    writeFile(userApps / "Reader.app/Contents/PlugIns/Reader Safari.appex/Contents/Info.plist",
              infoPlist("NSExtensionPointIdentifier", "com.apple.Safari.web-extension", true));
    writeFile(sys("/Applications/Blocker.app/Contents/PlugIns/Ads.appex/Contents/Info.plist"),
              infoPlist("NSExtensionPointIdentifier", "com.apple.Safari.content-blocker", false));
    writeFile(sys("/Applications/Blocker.app/Contents/PlugIns/Share.appex/Contents/Info.plist"),
              infoPlist("NSExtensionPointIdentifier", "com.apple.share-services", true));
    writeFile(sys("/Applications/Blocker.app/Contents/PlugIns/Broken.appex/Contents/Info.plist"), "not a plist");
    writeFile(sys("/Applications/Notes.txt/Contents/PlugIns/X.appex/Contents/Info.plist"),
              infoPlist("NSExtensionPointIdentifier", "com.apple.Safari.web-extension", true));

    // Plug-ins, panes and importers of both roots; hidden and protected entries left out.
    allocateFile(sys("/Library/Internet Plug-Ins/Flash Player.plugin/Contents/MacOS/f"), 8192);
    allocateFile(sys("/Library/Internet Plug-Ins/.hidden.plugin/x"), 4096);
    allocateFile(sys("/Library/Internet Plug-Ins/Tailscale.plugin/x"), 4096);
    allocateFile(home() / "Library/Internet Plug-Ins/Java.plugin/x", 4096);
    allocateFile(home() / "Library/PreferencePanes/Mouse Tuner.prefPane/x", 4096);
    allocateFile(sys("/Library/Spotlight/Markdown.mdimporter/x"), 4096);

    // Chrome: one extension with two versions (the first manifest in listing
    // order that names it wins), one without a manifest, and a stray file.
    const auto chrome = home() / "Library/Application Support/Google/Chrome";
    writeFile(chrome / "Default/Extensions/abcdefgh/1.0_0/manifest.json", R"({"name": "__MSG_appName__"})");
    allocateFile(chrome / "Default/Extensions/abcdefgh/1.0_0/big.js", 64 * 1024);
    writeFile(chrome / "Profile 1/Extensions/nomanifest/2.0/readme.txt", "x");
    writeFile(chrome / "Profile 1/Extensions/broken/1.0/manifest.json", "{not json");
    writeFile(chrome / "Profile 1/Extensions/stray.txt", "x");
    writeFile(chrome / "Local State", "{}");
    // Brave: a manifest whose "name" is not a string falls back to the folder name.
    writeFile(home() / "Library/Application Support/BraveSoftware/Brave-Browser/Default/Extensions/xyz/1/manifest.json",
              R"({"name": 7})");
    // Firefox: only .xpi files in the extensions folder.
    const auto firefox = home() / "Library/Application Support/Firefox/Profiles/ab12.default";
    allocateFile(firefox / "extensions/adblocker@example.org.xpi", 16384);
    makeFolders(firefox / "extensions/folder@example.org.xpi");
    writeFile(firefox / "extensions/notes.json", "{}");

    std::vector<std::pair<double, std::string>> reports;
    auto report = Extensions::scan(std::make_shared<ScanToken>(),
                                   [&](double f, const std::string& m) { reports.emplace_back(f, m); });

    std::vector<std::string> ids;
    for (const auto& c : report.categories) ids.push_back(c.id);
    EXPECT_EQ(ids, (std::vector<std::string>{"safari-extensions", "ext-Internet Plugins", "ext-Preference Panes",
                                             "ext-Spotlight Plugins", "browser-extensions"}));
    EXPECT_TRUE(report.coverage.empty());
    EXPECT_TRUE(report.errors.empty());

    const auto* safari = find(report, "safari-extensions");
    ASSERT_NE(safari, nullptr);
    EXPECT_EQ(safari->title, "Safari Extensions");
    EXPECT_EQ(names(*safari), (std::vector<std::string>{"Ads", "Reader Safari"}));
    EXPECT_EQ(details(*safari), (std::vector<std::string>{"Part of Blocker \u2014 remove the app to remove this",
                                                         "Part of Reader \u2014 remove the app to remove this"}));
    for (const auto& item : safari->items) {
        EXPECT_EQ(item.safety, Safety::protected_);
        EXPECT_FALSE(item.isSelected);
    }
    EXPECT_EQ(safari->items[1].url, userApps / "Reader.app/Contents/PlugIns/Reader Safari.appex");

    const auto* plugins = find(report, "ext-Internet Plugins");
    ASSERT_NE(plugins, nullptr);
    EXPECT_EQ(plugins->title, "Internet Plugins");
    EXPECT_EQ(names(*plugins), (std::vector<std::string>{"Flash Player", "Java"}));  // largest first
    EXPECT_EQ(details(*plugins), (std::vector<std::string>{"System", "User"}));
    EXPECT_EQ(plugins->items[0].safety, Safety::review);

    const auto* panes = find(report, "ext-Preference Panes");
    ASSERT_NE(panes, nullptr);
    EXPECT_EQ(names(*panes), std::vector<std::string>{"Mouse Tuner"});
    EXPECT_EQ(details(*panes), std::vector<std::string>{"User"});
    const auto* spotlight = find(report, "ext-Spotlight Plugins");
    ASSERT_NE(spotlight, nullptr);
    EXPECT_EQ(names(*spotlight), std::vector<std::string>{"Markdown"});

    const auto* browser = find(report, "browser-extensions");
    ASSERT_NE(browser, nullptr);
    EXPECT_EQ(browser->detail, "Extensions installed in Chrome, Edge, Brave or Firefox profiles.");
    ASSERT_GE(browser->items.size(), 2u);
    EXPECT_EQ(browser->items[0].name, "__MSG_appName__");
    EXPECT_EQ(browser->items[0].detail, "Chrome \u00B7 Default");
    EXPECT_EQ(browser->items[0].url, chrome / "Default/Extensions/abcdefgh");
    EXPECT_EQ(browser->items[1].name, "adblocker@example.org");
    EXPECT_EQ(browser->items[1].detail, "Firefox \u00B7 ab12.default");
    auto all = names(*browser);
    std::vector<std::string> rest(all.begin() + 2, all.end());
    std::sort(rest.begin(), rest.end());
    EXPECT_EQ(rest, (std::vector<std::string>{"broken", "nomanifest", "stray.txt", "xyz"}));
    for (const auto& item : browser->items) EXPECT_EQ(item.safety, Safety::review);

    EXPECT_EQ(reports, (std::vector<std::pair<double, std::string>>{{0.1, "Reading Safari extensions\u2026"},
                                                                    {0.4, "Checking plugins and panes\u2026"},
                                                                    {0.7, "Reading browser extensions\u2026"}}));
}

TEST_F(ExtensionsScan, ChromiumNameFromTheFirstVersionThatHasOne) {
    const auto ext = home() / "Library/Application Support/Microsoft Edge/Default/Extensions/ext1";
    writeFile(ext / "1.0/manifest.json", R"({"version": "1.0"})");
    writeFile(ext / "2.0/manifest.json", R"({"name": "Tab Sorter"})");
    auto report = Extensions::scan(nullptr, nullptr);
    ASSERT_EQ(report.categories.size(), 1u);
    ASSERT_EQ(report.categories[0].items.size(), 1u);
    EXPECT_EQ(report.categories[0].items[0].name, "Tab Sorter");
    EXPECT_EQ(report.categories[0].items[0].detail, "Edge \u00B7 Default");
}

// Manifests as published extensions write them: names that are message keys
// of the default locale, comments, a byte order mark.
TEST_F(ExtensionsScan, ChromiumNamesAsTheBrowserShowsThem) {
    const std::string bom = "\xEF\xBB\xBF";
    const std::string messages = bom + R"({
  // Shown in the extension list.
  "appName": { "message": "Tab Sorter", "description": "The name of the extension." },
  "appDesc": { "message": "Keeps your tabs in order." },
  "brand": { "message": "Acme" },
  "broken": { "description": "no message here" }
})";
    struct Case {
        const char* id;
        std::string manifest;
        std::string locale;         // folder under _locales holding the messages, or none
        std::string messages;
        std::string expected;
    } cases[] = {
        {"keyinlocale", R"({"manifest_version": 3, "name": "__MSG_appName__", "default_locale": "en"})", "en", messages,
         "Tab Sorter"},
        {"keyothercase", R"({"name": "__MSG_APPNAME__", "default_locale": "en_US"})", "en_US", messages, "Tab Sorter"},
        {"keyamongtext", R"j({"name": "__MSG_brand__ __MSG_appName__ (beta)", "default_locale": "en"})j", "en", messages,
         "Acme Tab Sorter (beta)"},
        {"unknownkey", R"({"name": "__MSG_extName__", "default_locale": "en"})", "en", messages, "__MSG_extName__"},
        {"nomessage", R"({"name": "__MSG_broken__", "default_locale": "en"})", "en", messages, "__MSG_broken__"},
        {"onekeymissing", R"({"name": "__MSG_brand__ __MSG_extName__", "default_locale": "en"})", "en", messages,
         "__MSG_brand__ __MSG_extName__"},
        {"nodefaultlocale", R"({"name": "__MSG_appName__"})", "en", messages, "__MSG_appName__"},
        {"localeabsent", R"({"name": "__MSG_appName__", "default_locale": "fr"})", "en", messages, "__MSG_appName__"},
        {"localeoutside", R"({"name": "__MSG_appName__", "default_locale": "../../x"})", "en", messages,
         "__MSG_appName__"},
        {"brokenmessages", R"({"name": "__MSG_appName__", "default_locale": "en"})", "en", "{ \"appName\": ",
         "__MSG_appName__"},
        {"notakey", R"({"name": "__MSG_app name__", "default_locale": "en"})", "en", messages, "__MSG_app name__"},
        {"comments", bom + R"({
  // Generated by the build; do not edit.
  "manifest_version": 2,
  "name": "Reading List", /* shown in the toolbar */
  "version": "1.2.0"
})", "", "", "Reading List"},
        {"commentsandkey", R"({
  "name": "__MSG_appName__", // localized
  "default_locale": "en"
})", "en", messages, "Tab Sorter"},
    };
    const auto extensions = home() / "Library/Application Support/Google/Chrome/Default/Extensions";
    for (const auto& c : cases) {
        const auto version = extensions / c.id / "1.0.0_0";
        writeFile(version / "manifest.json", c.manifest);
        if (!c.locale.empty()) writeFile(version / "_locales" / c.locale / "messages.json", c.messages);
    }
    // A message file outside the extension, where "../../x" would lead.
    writeFile(extensions / "localeoutside/x/messages.json", messages);

    auto report = Extensions::scan(nullptr, nullptr);
    const ScanCategory* browser = find(report, "browser-extensions");
    ASSERT_TRUE(browser);
    ASSERT_EQ(browser->items.size(), std::size(cases));
    for (const auto& c : cases) {
        const ScanItem* item = nullptr;
        for (const auto& i : browser->items)
            if (i.url == extensions / c.id) item = &i;
        ASSERT_TRUE(item) << c.id;
        EXPECT_EQ(item->name, c.expected) << c.id;
    }
}

TEST_F(ExtensionsScan, NothingInstalledAndCancelled) {
    EXPECT_TRUE(Extensions::scan(nullptr, nullptr).categories.empty());

    writeFile(sys("/Applications/Reader.app/Contents/PlugIns/R.appex/Contents/Info.plist"),
              infoPlist("NSExtensionPointIdentifier", "com.apple.Safari.web-extension", false));
    writeFile(home() / "Library/Application Support/Vivaldi/Default/Extensions/e/1/manifest.json", R"({"name":"E"})");
    allocateFile(home() / "Library/Spotlight/Markdown.mdimporter/x", 4096);
    auto token = std::make_shared<ScanToken>();
    token->cancel();
    // The Safari and Chromium steps read the token; the folder groups do not.
    auto report = Extensions::scan(token, nullptr);
    ASSERT_EQ(report.categories.size(), 1u);
    EXPECT_EQ(report.categories[0].id, "ext-Spotlight Plugins");
}
