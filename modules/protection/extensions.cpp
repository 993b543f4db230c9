#include "modules/protection/extensions.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "engine/fs.h"
#include "engine/protection.h"
#include "engine/scan_support.h"
#include "modules/protection/chromium_manifest.h"
#include "platform/file_facts.h"
#include "platform/locations.h"
#include "platform/plist.h"
#include "platform/unicode.h"
#include "platform/walker.h"

namespace Extensions {
namespace {

using Path = std::filesystem::path;

struct FolderRoot {
    Path folder;
    std::string label;
};

struct BrowserProfiles {
    Path url;
    std::string browser;
};

// The extension of a file name ("plist" for "x.plist"); a name that only
// starts with a dot has none.
std::string extensionOf(const std::string& name) {
    std::string ext = Path(name).extension().string();
    return ext.size() > 1 ? ext.substr(1) : std::string();
}

std::string withoutExtension(const std::string& name) { return Path(name).stem().string(); }

// The entries of a folder; nothing when it is missing or cannot be listed.
std::vector<std::string> read(const Path& folder) { return Walker::list(folder); }

bool cancelled(const ScanTokenRef& token) { return token && token->isCancelled(); }

// A Safari extension goes with its app: listed, never offered for removal.
ScanItem protectedItem(const Path& url, std::string name, std::string detail) {
    ScanItem item = ScanSupport::reviewItem(url, std::move(name), std::move(detail));
    item.safety = Safety::protected_;
    return item;
}

ScanCategory category(std::string id, Kind kind, std::vector<ScanItem> items) {
    ScanCategory c;
    c.id = std::move(id);
    c.title = std::string(title(kind));
    c.detail = std::string(detail(kind));
    c.items = std::move(items);
    return c;
}

std::vector<Path> appRoots() {
    return {Locations::system("/Applications"), Locations::system("/System/Applications"),
            Locations::home() / "Applications"};
}

// The extension point an app extension plugs into: the top-level key, or the
// same key inside the NSExtension dictionary, where bundles usually keep it.
std::optional<std::string> extensionPoint(const Plist::Value& info) {
    if (auto id = info.string("NSExtensionPointIdentifier")) return id;
    if (const auto* ext = info.get("NSExtension"); ext && ext->isDict())
        return ext->string("NSExtensionPointIdentifier");
    return std::nullopt;
}

ScanCategory safariCategory(const ScanTokenRef& token) {
    std::vector<ScanItem> items;
    for (const auto& root : appRoots()) {
        for (const auto& appName : read(root)) {
            if (extensionOf(appName) != "app") continue;
            if (cancelled(token)) break;
            const Path plugins = root / appName / "Contents" / "PlugIns";
            if (!existsFollowingLinks(plugins)) continue;
            for (const auto& extName : read(plugins)) {
                if (extensionOf(extName) != "appex") continue;
                const Path appex = plugins / extName;
                auto info = Plist::readFile(appex / "Contents" / "Info.plist");
                if (!info || !info->isDict()) continue;
                auto point = extensionPoint(*info);
                if (!point || point->find("Safari") == std::string::npos) continue;
                items.push_back(protectedItem(appex, withoutExtension(extName),
                                              "Part of " + withoutExtension(appName) + " \u2014 remove the app to remove this"));
            }
        }
    }
    std::stable_sort(items.begin(), items.end(),
                     [](const ScanItem& a, const ScanItem& b) { return Unicode::nfc(a.name) < Unicode::nfc(b.name); });
    return category("safari-extensions", Kind::safariExtensions, std::move(items));
}

ScanCategory directoryCategory(Kind kind, const std::vector<FolderRoot>& roots) {
    std::vector<ScanItem> items;
    for (const auto& root : roots) {
        if (!FS::canList(root.folder)) continue;
        for (const auto& name : read(root.folder)) {
            const Path path = root.folder / name;
            if (Protection::isPathProtected(path)) continue;
            if (!name.empty() && name.front() == '.') continue;
            items.push_back(ScanSupport::reviewItem(path, withoutExtension(name), root.label));
        }
    }
    ScanSupport::sortLargestFirst(items);
    return category("ext-" + std::string(title(kind)), kind, std::move(items));
}

std::vector<BrowserProfiles> browserProfiles() {
    const Path support = Locations::home() / "Library" / "Application Support";
    return {
        {support / "Google" / "Chrome", "Chrome"}, {support / "Chromium", "Chromium"},
        {support / "BraveSoftware" / "Brave-Browser", "Brave"}, {support / "Microsoft Edge", "Edge"},
        {support / "Vivaldi", "Vivaldi"}, {support / "Firefox" / "Profiles", "Firefox"},
    };
}

// The name a Chromium extension goes by in its browser: from the first
// version folder whose manifest has a string "name", else the id folder's own
// name.
std::string chromiumExtensionName(const Path& idFolder, const std::string& idName) {
    for (const auto& version : read(idFolder)) {
        auto manifest = ChromiumManifest::read(idFolder / version);
        if (!manifest) continue;
        if (auto name = ChromiumManifest::name(*manifest, idFolder / version)) return *name;
    }
    return idName;
}

void firefoxItems(const Path& profilesFolder, std::vector<ScanItem>& items) {
    for (const auto& profile : read(profilesFolder)) {
        const Path extensions = profilesFolder / profile / "extensions";
        for (const auto& name : read(extensions)) {
            if (extensionOf(name) != "xpi") continue;
            const Path path = extensions / name;
            if (auto facts = statFacts(path); facts && facts->isDirectory()) continue;
            items.push_back(ScanSupport::reviewItem(path, withoutExtension(name), "Firefox \u00B7 " + profile));
        }
    }
}

void chromiumItems(const BrowserProfiles& browser, const ScanTokenRef& token, std::vector<ScanItem>& items) {
    for (const auto& profile : read(browser.url)) {
        const Path extensions = browser.url / profile / "Extensions";
        if (!FS::canList(extensions)) continue;
        for (const auto& id : read(extensions)) {
            if (cancelled(token)) break;
            const Path idFolder = extensions / id;
            items.push_back(ScanSupport::reviewItem(idFolder, chromiumExtensionName(idFolder, id),
                                                    browser.browser + " \u00B7 " + profile));
        }
    }
}

ScanCategory browserCategory(const ScanTokenRef& token) {
    std::vector<ScanItem> items;
    for (const auto& browser : browserProfiles()) {
        if (!FS::canList(browser.url)) continue;
        if (browser.browser == "Firefox") firefoxItems(browser.url, items);
        else chromiumItems(browser, token, items);
    }
    ScanSupport::sortLargestFirst(items);
    return category("browser-extensions", Kind::browserExtensions, std::move(items));
}

}  // namespace

std::string_view title(Kind kind) {
    switch (kind) {
        case Kind::safariExtensions: return "Safari Extensions";
        case Kind::internetPlugins: return "Internet Plugins";
        case Kind::preferencePanes: return "Preference Panes";
        case Kind::spotlightPlugins: return "Spotlight Plugins";
        case Kind::browserExtensions: return "Browser Extensions";
    }
    return {};
}

std::string_view detail(Kind kind) {
    switch (kind) {
        case Kind::safariExtensions:
            return "Add-ons that extend Safari. Each belongs to an app \u2014 remove the app to remove it.";
        case Kind::internetPlugins:
            return "NPAPI-era plugins shared by every browser. Largely obsolete and a known attack surface.";
        case Kind::preferencePanes: return "Legacy System Preferences panes, including ones left by removed software.";
        case Kind::spotlightPlugins: return "Importers that teach Spotlight to read extra file types.";
        case Kind::browserExtensions: return "Extensions installed in Chrome, Edge, Brave or Firefox profiles.";
    }
    return {};
}

ScanReport scan(const ScanTokenRef& token, const ProgressCallback& progress) {
    const auto started = std::chrono::steady_clock::now();
    ScanReport report;
    report.scannedAt = Clock::now();
    auto say = [&](double fraction, const char* message) { ScanSupport::report(progress, fraction, message); };

    std::vector<ScanCategory> all;
    say(0.1, "Reading Safari extensions\u2026");
    all.push_back(safariCategory(token));

    say(0.4, "Checking plugins and panes\u2026");
    const Path library = Locations::home() / "Library";
    auto folders = [&](std::string_view name) {
        return std::vector<FolderRoot>{{Locations::system("/Library") / name, "System"}, {library / name, "User"}};
    };
    all.push_back(directoryCategory(Kind::internetPlugins, folders("Internet Plug-Ins")));
    all.push_back(directoryCategory(Kind::preferencePanes, folders("PreferencePanes")));
    all.push_back(directoryCategory(Kind::spotlightPlugins, folders("Spotlight")));

    say(0.7, "Reading browser extensions\u2026");
    all.push_back(browserCategory(token));

    for (auto& c : all)
        if (!c.items.empty()) report.categories.push_back(std::move(c));
    report.duration = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return report;
}

}  // namespace Extensions
