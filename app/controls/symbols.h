#pragma once
// Symbols by name. The screens name their symbols the way the product's own
// design does ("trash.fill", "checkmark.circle.fill"); one table maps each name
// to a glyph of the Material Icons font. A name written in the code is checked
// when it compiles: a name missing from the table does not build.
#include <array>
#include <optional>
#include <string_view>

struct Symbol {
    std::string_view name;
    char16_t glyph = 0;

    // From a name written in the code; a name the table lacks fails to compile.
    consteval Symbol(const char* written);
    constexpr Symbol(std::string_view n, char16_t g) : name(n), glyph(g) {}

    bool operator==(const Symbol& other) const { return name == other.name; }
};

namespace Symbols {

struct Entry {
    std::string_view name;
    std::string_view materialName;  // the font's own name for the glyph
    char16_t glyph;
};

// Every symbol the window and its screens use, by name.
inline constexpr std::array<Entry, 74> kTable = {{
    {"antenna.radiowaves.left.and.right", "wifi_tethering", 0xe1e2},
    {"arrow.clockwise", "refresh", 0xe5d5},
    {"arrow.down.circle", "arrow_circle_down", 0xf181},
    {"arrow.down.circle.fill", "download_for_offline", 0xf000},
    {"arrow.right", "arrow_forward", 0xe5c8},
    {"arrow.triangle.2.circlepath", "sync", 0xe627},
    {"box.desktop", "desktop_mac", 0xe30b},
    {"calendar", "calendar_today", 0xe935},
    {"camera", "photo_camera", 0xe412},
    {"chart.pie.fill", "pie_chart", 0xe6c4},
    {"checklist", "checklist", 0xe6b1},
    {"checkmark", "check", 0xe5ca},
    {"checkmark.circle", "check_circle_outline", 0xe92d},
    {"checkmark.circle.fill", "check_circle", 0xe86c},
    {"checkmark.seal", "verified", 0xef76},
    {"checkmark.shield.fill", "verified_user", 0xe8e8},
    {"chevron.down", "expand_more", 0xe5cf},
    {"chevron.right", "chevron_right", 0xe5cc},
    {"chevron.up.chevron.down", "unfold_more", 0xe5d7},
    {"clock", "schedule", 0xe8b5},
    {"clock.arrow.circlepath", "history", 0xe889},
    {"cpu", "memory", 0xe322},
    {"doc", "insert_drive_file", 0xe24d},
    {"doc.fill", "insert_drive_file", 0xe24d},
    {"exclamationmark.triangle.fill", "warning", 0xe002},
    {"eye.slash", "visibility_off", 0xe8f5},
    {"figure.wave", "accessibility_new", 0xe92c},
    {"folder", "folder", 0xe2c7},
    {"folder.badge.questionmark", "folder_special", 0xe617},
    {"folder.fill", "folder", 0xe2c7},
    {"gearshape", "settings", 0xe8b8},
    {"gearshape.2", "miscellaneous_services", 0xf10c},
    {"hand.raised", "pan_tool", 0xe925},
    {"hand.raised.fill", "pan_tool", 0xe925},
    {"house", "home", 0xe88a},
    {"info.circle.fill", "info", 0xe88e},
    {"internaldrive", "storage", 0xe1db},
    {"internaldrive.fill", "storage", 0xe1db},
    {"keyboard", "keyboard", 0xe312},
    {"lock", "lock_outline", 0xe899},
    {"lock.fill", "lock", 0xe897},
    {"lock.shield", "security", 0xe32a},
    {"lock.shield.fill", "security", 0xe32a},
    {"magnifyingglass", "search", 0xe8b6},
    {"mic", "mic", 0xe029},
    {"minus", "remove", 0xe15b},
    {"minus.circle", "remove_circle_outline", 0xe15d},
    {"music.note.list", "queue_music", 0xe03d},
    {"paperclip", "attach_file", 0xe226},
    {"person", "person", 0xe7fd},
    {"person.crop.circle", "account_circle", 0xe853},
    {"photo", "photo", 0xe410},
    {"photo.on.rectangle.angled", "photo_library", 0xe413},
    {"play.fill", "play_arrow", 0xe037},
    {"power", "power_settings_new", 0xe8ac},
    {"puzzlepiece.extension", "extension", 0xe87b},
    {"puzzlepiece.extension.fill", "extension", 0xe87b},
    {"questionmark.circle", "help_outline", 0xe8fd},
    {"questionmark.folder", "folder_off", 0xeb83},
    {"rectangle.dashed.badge.record", "screen_share", 0xe0e2},
    {"scissors", "content_cut", 0xe14e},
    {"shield.lefthalf.filled", "shield", 0xe9e0},
    {"shippingbox", "inventory_2", 0xe1a1},
    {"shippingbox.fill", "inventory_2", 0xe1a1},
    {"slider.horizontal.3", "tune", 0xe429},
    {"sparkles", "auto_awesome", 0xe65f},
    {"stop.fill", "stop", 0xe047},
    {"trash", "delete_outline", 0xe92e},
    {"trash.fill", "delete", 0xe872},
    {"trash.slash.fill", "delete_sweep", 0xe16c},
    {"wifi", "wifi", 0xe63e},
    {"wrench.and.screwdriver.fill", "build", 0xe869},
    {"xmark", "close", 0xe5cd},
    {"xmark.circle.fill", "cancel", 0xe5c9},
}};

// The glyph of a name met at run time (the engine's module symbols); nothing
// for a name the table lacks.
constexpr std::optional<Symbol> lookup(std::string_view name) {
    for (const Entry& e : kTable)
        if (e.name == name) return Symbol(e.name, e.glyph);
    return std::nullopt;
}

// A name the table lacks, met at run time: drawn as a question mark.
inline constexpr Symbol kMissing{"questionmark.circle", 0xe8fd};

// lookup(), or kMissing.
Symbol named(std::string_view name);

}  // namespace Symbols

namespace Symbols::detail {
// Reached only while compiling a name the table lacks, which makes it an error.
void unknownSymbolName();
}  // namespace Symbols::detail

consteval Symbol::Symbol(const char* written) {
    std::string_view wanted(written);
    for (const Symbols::Entry& e : Symbols::kTable) {
        if (e.name == wanted) {
            name = e.name;
            glyph = e.glyph;
            return;
        }
    }
    Symbols::detail::unknownSymbolName();
}
