#include "engine/module_id.h"

#include <string>

namespace Modules {
namespace {

struct Row {
    ModuleID id;
    std::string_view raw;
    std::string_view title;
    std::string_view subtitle;
    std::string_view icon;
    const Theme::Colour* tint;
    SidebarGroup group;
};

constexpr std::array<Row, kCount> kRows = {{
    {ModuleID::smartScan, "smartScan", "Smart Scan", "One pass for junk, protection and speed", "sparkles",
     &Theme::accent, SidebarGroup::cleanup},
    {ModuleID::systemJunk, "systemJunk", "System Junk", "Caches, logs and other leftovers", "trash.slash.fill",
     &Theme::violet, SidebarGroup::cleanup},
    {ModuleID::mailAttachments, "mailAttachments", "Mail Attachments", "Downloads and attachments stored by Mail",
     "paperclip", &Theme::teal, SidebarGroup::cleanup},
    {ModuleID::trashBins, "trashBins", "Trash Bins", "Every trash on every mounted volume", "trash.fill",
     &Theme::rose, SidebarGroup::cleanup},
    {ModuleID::photos, "photos", "Photos Junk", "Caches and previews kept beside your photo library",
     "photo.on.rectangle.angled", &Theme::amber, SidebarGroup::cleanup},
    {ModuleID::music, "music", "Music Junk", "Album artwork, media caches and stale downloads", "music.note.list",
     &Theme::rose, SidebarGroup::cleanup},
    {ModuleID::diskMap, "diskMap", "Duruz Ovov", "See exactly what is using your disk", "chart.pie.fill",
     &Theme::teal, SidebarGroup::files},
    {ModuleID::largeOldFiles, "largeOldFiles", "Large & Old Files", "The space hogs you forgot about",
     "folder.badge.questionmark", &Theme::accentSoft, SidebarGroup::files},
    {ModuleID::shredder, "shredder", "Shredder", "Overwrite files so they cannot be recovered", "scissors",
     &Theme::violet, SidebarGroup::files},
    {ModuleID::malware, "malware", "Malware Removal", "Scan for known unwanted software", "shield.lefthalf.filled",
     &Theme::green, SidebarGroup::protection},
    {ModuleID::privacy, "privacy", "Privacy", "Browsing traces and recent-item lists", "hand.raised.fill",
     &Theme::violet, SidebarGroup::protection},
    {ModuleID::optimization, "optimization", "Optimization", "Maintenance tasks that tune macOS",
     "slider.horizontal.3", &Theme::amber, SidebarGroup::speed},
    {ModuleID::loginItems, "loginItems", "Login Items", "What opens at login and what runs in the background",
     "power", &Theme::green, SidebarGroup::speed},
    {ModuleID::uninstaller, "uninstaller", "Uninstaller", "Remove apps and everything they leave behind",
     "shippingbox.fill", &Theme::rose, SidebarGroup::applications},
    {ModuleID::updater, "updater", "Updater", "Keep installed apps up to date", "arrow.triangle.2.circlepath",
     &Theme::accent, SidebarGroup::applications},
    {ModuleID::extensions, "extensions", "Extensions", "Plugins, preference panes and browser add-ons",
     "puzzlepiece.extension.fill", &Theme::teal, SidebarGroup::applications},
}};

// Each module's row stands at the module's own position.
constexpr bool rowsInModuleOrder() {
    for (size_t i = 0; i < kRows.size(); ++i)
        if (size_t(kRows[i].id) != i) return false;
    return true;
}
static_assert(rowsInModuleOrder(), "the module table lists every module once, in declaration order");

const Row& row(ModuleID m) { return kRows[size_t(m)]; }

}  // namespace

const std::array<ModuleID, kCount>& allCases() {
    static const std::array<ModuleID, kCount> all = [] {
        std::array<ModuleID, kCount> a{};
        for (size_t i = 0; i < kRows.size(); ++i) a[i] = kRows[i].id;
        return a;
    }();
    return all;
}

std::string_view rawValue(ModuleID m) { return row(m).raw; }
std::string_view title(ModuleID m) { return row(m).title; }
std::string_view subtitle(ModuleID m) { return row(m).subtitle; }
std::string_view icon(ModuleID m) { return row(m).icon; }
const Theme::Colour& tint(ModuleID m) { return *row(m).tint; }
SidebarGroup sidebarGroup(ModuleID m) { return row(m).group; }

std::optional<ModuleID> fromRawValue(std::string_view raw) {
    for (const auto& r : kRows)
        if (r.raw == raw) return r.id;
    return std::nullopt;
}

std::optional<ModuleID> fromCliArgument(std::string_view argument) {
    std::string key;
    for (char c : argument) {
        if (c == '-' || c == '_') continue;
        key += (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
    }
    for (const auto& r : kRows) {
        std::string raw;
        for (char c : r.raw) raw += (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
        if (raw == key) return r.id;
    }
    return std::nullopt;
}

std::vector<ModuleID> inGroup(SidebarGroup group) {
    std::vector<ModuleID> out;
    for (const auto& r : kRows)
        if (r.group == group) out.push_back(r.id);
    return out;
}

}  // namespace Modules

namespace SidebarGroups {

const std::array<SidebarGroup, 5>& allCases() {
    static const std::array<SidebarGroup, 5> all = {SidebarGroup::cleanup, SidebarGroup::files,
                                                    SidebarGroup::protection, SidebarGroup::speed,
                                                    SidebarGroup::applications};
    return all;
}

std::string_view rawValue(SidebarGroup g) {
    switch (g) {
        case SidebarGroup::cleanup: return "Cleanup";
        case SidebarGroup::files: return "Files";
        case SidebarGroup::protection: return "Protection";
        case SidebarGroup::speed: return "Speed";
        case SidebarGroup::applications: return "Applications";
    }
    return "";
}

std::optional<SidebarGroup> fromRawValue(std::string_view raw) {
    for (auto g : allCases())
        if (rawValue(g) == raw) return g;
    return std::nullopt;
}

}  // namespace SidebarGroups
