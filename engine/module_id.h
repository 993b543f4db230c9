#pragma once
// The sixteen modules of the application, in sidebar order, and the five
// sidebar groups they fall into.
#include <array>
#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

#include "engine/theme.h"

enum class ModuleID {
    smartScan,
    systemJunk,
    mailAttachments,
    trashBins,
    photos,
    music,
    diskMap,
    largeOldFiles,
    shredder,
    malware,
    privacy,
    optimization,
    loginItems,
    uninstaller,
    updater,
    extensions,
};

enum class SidebarGroup { cleanup, files, protection, speed, applications };

namespace Modules {

// How many modules there are: one row of the module table each, so a table
// indexed by module is sized by it.
inline constexpr size_t kCount = size_t(ModuleID::extensions) + 1;

// Every module in declaration order, which is the sidebar order.
const std::array<ModuleID, kCount>& allCases();

std::string_view rawValue(ModuleID module);  // the case name, "systemJunk"
std::string_view title(ModuleID module);
std::string_view subtitle(ModuleID module);
std::string_view icon(ModuleID module);  // symbol name
const Theme::Colour& tint(ModuleID module);
SidebarGroup sidebarGroup(ModuleID module);

// Exact, case-sensitive match of a raw value.
std::optional<ModuleID> fromRawValue(std::string_view raw);
// A module name typed on the command line: any letter case, "-" and "_" ignored.
std::optional<ModuleID> fromCliArgument(std::string_view argument);

// The modules of a sidebar group, in sidebar order.
std::vector<ModuleID> inGroup(SidebarGroup group);

}  // namespace Modules

namespace SidebarGroups {

const std::array<SidebarGroup, 5>& allCases();
std::string_view rawValue(SidebarGroup group);  // the display title, "Cleanup"
std::optional<SidebarGroup> fromRawValue(std::string_view raw);

}  // namespace SidebarGroups
