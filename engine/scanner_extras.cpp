#include "engine/scanner_extras.h"

#include <optional>
#include <string_view>

#include "engine/app_match.h"
#include "engine/detectors.h"
#include "engine/ignores.h"
#include "engine/installed_bundles.h"
#include "engine/protection.h"
#include "engine/scan_support.h"
#include "platform/file_facts.h"
#include "platform/locations.h"
#include "platform/plist.h"
#include "platform/unicode.h"

namespace fs = std::filesystem;

namespace Scanner {
namespace {

bool hasExtension(const fs::path& path, std::string_view extension) { return path.extension() == extension; }

struct Browser {
    std::string_view name;
    std::string_view folder;  // under ~/Library/Application Support
    std::string_view id;
};

constexpr Browser kBrowsers[] = {
    {"Chrome", "Google/Chrome", "chromium-chrome"},
    {"Brave", "BraveSoftware/Brave-Browser", "chromium-brave"},
    {"Edge", "Microsoft Edge", "chromium-edge"},
    {"Chromium", "Chromium", "chromium-chromium"},
    {"Vivaldi", "Vivaldi", "chromium-vivaldi"},
};

struct BrowserData {
    std::string_view path;  // inside the profile
    std::string_view title;
    std::string_view note;
};

constexpr BrowserData kBrowserData[] = {
    {"History", "Browsing History", ""},
    {"Cookies", "Cookies", ""},
    {"Web Data", "Autofill Values", ""},
    {"Login Data", "Saved Passwords", "removes every password this browser has saved"},
    {"Shortcuts", "Search Queries", ""},
    {"Top Sites", "Most Visited", ""},
    {"Sessions", "Tabs From Last Session", ""},
    {"Local Storage", "HTML5 Local Storage", ""},
    {"Network/TransportSecurity", "HSTS State", ""},
};

}  // namespace

std::set<std::string> installedBundleIDs() { return InstalledBundles::identifiers(); }

ScanCategory scanBrokenPreferences(const std::set<std::string>& installedIDs) {
    ScanCategory category;
    category.id = "broken-preferences";
    category.title = "Broken Preferences";
    category.detail = "Settings left behind by apps you removed.";
    // A file of an installed application's helper or extension
    // (com.example.editor.agent) is that application's too.
    const AppMatch::Owners installed(installedIDs);
    for (const auto& file : ScanSupport::children(Locations::home() / "Library" / "Preferences")) {
        if (!hasExtension(file, ".plist")) continue;
        std::string name = file.stem().string();
        if (name.find('.') == std::string::npos) continue;
        if (Unicode::hasPrefix(name, "com.apple")) continue;
        if (installed.owns(name)) continue;
        category.items.push_back(ScanSupport::reviewItem(file, name, "No installed app owns this preferences file"));
    }
    ScanSupport::sortLargestFirst(category.items);
    return category;
}

ScanCategory scanBrokenLoginItems() {
    ScanCategory category;
    category.id = "broken-login-items";
    category.title = "Broken Login Items";
    category.detail = "Startup entries whose program is gone.";
    const fs::path folders[] = {Locations::home() / "Library" / "LaunchAgents", Locations::system("/Library/LaunchAgents"),
                                Locations::system("/Library/LaunchDaemons")};
    for (const auto& folder : folders) {
        for (const auto& file : ScanSupport::children(folder)) {
            if (!hasExtension(file, ".plist")) continue;
            auto job = Plist::readFile(file);
            if (!job || !job->isDict()) continue;
            auto program = ScanSupport::launchProgram(*job);
            if (!program || program->empty() || program->front() != '/') continue;
            if (ScanSupport::programExists(*program)) continue;
            category.items.push_back(
                ScanSupport::reviewItem(file, file.stem().string(), "Points at a missing program: " + *program));
        }
    }
    return category;
}

std::vector<ScanCategory> chromiumCategories() {
    std::vector<ScanCategory> categories;
    const fs::path support = Locations::home() / "Library" / "Application Support";
    for (const auto& browser : kBrowsers) {
        fs::path folder = support / browser.folder;
        if (!existsFollowingLinks(folder)) continue;
        ScanCategory category;
        category.id = std::string(browser.id);
        category.title = std::string(browser.name);
        category.detail = "History, cookies, autofill and session data across " + std::string(browser.name) +
                          " profiles.";
        for (const auto& profile : ScanSupport::children(folder)) {
            if (!existsFollowingLinks(profile / "History") && !existsFollowingLinks(profile / "Preferences")) continue;
            if (Protection::isPathProtected(profile)) continue;
            for (const auto& data : kBrowserData) {
                fs::path entry = profile / data.path;
                if (!existsFollowingLinks(entry) || Ignores::isIgnored(entry)) continue;
                std::string detail = std::string(browser.name) + " \u00B7 " + profile.filename().string();
                if (!data.note.empty()) detail += " \u2014 " + std::string(data.note);
                category.items.push_back(ScanSupport::reviewItem(entry, std::string(data.title), std::move(detail)));
            }
        }
        if (category.items.empty()) continue;
        ScanSupport::sortLargestFirst(category.items);
        categories.push_back(std::move(category));
    }
    return categories;
}

std::vector<ScanCategory> systemJunkExtras(const ScanToken& token, const ProgressCallback& progress) {
    std::vector<ScanCategory> found;
    auto keep = [&](ScanCategory category) {
        if (!category.items.empty()) found.push_back(std::move(category));
    };
    ScanSupport::report(progress, 0.8, "Checking universal binaries\u2026");
    keep(Detectors::universalBinaries(token, progress));
    ScanSupport::report(progress, 0.88, "Looking for unused disk images\u2026");
    keep(Detectors::unusedDiskImages());
    ScanSupport::report(progress, 0.92, "Checking update payloads\u2026");
    keep(Detectors::staleUpdatePayloads());
    ScanSupport::report(progress, 0.95, "Checking document versions\u2026");
    keep(Detectors::documentVersions());
    ScanSupport::report(progress, 0.97, "Checking photo sync caches\u2026");
    keep(Detectors::photoSyncCaches());
    return found;
}

}  // namespace Scanner
