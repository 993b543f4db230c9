#pragma once
// The one text font of every window and render (Inter), at sizes given in
// device-independent pixels, and the symbol font (Material Icons). Both ship
// with the program (resources/fonts, with their licence texts), so every
// machine draws the same text and the same symbols.
#include <QFont>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Fonts {

// Loads every font file the window uses and sets the application's default
// font. Call after the application object exists; calling again loads
// nothing twice. Returns one line per font file that did not load
// ("<file>: <why>"), empty when all did; text of a missing font falls back to
// the default.
std::vector<std::string> setup();

// Where a font file is loaded from: the copy shipped with the program first,
// else the system's font folders (the Debian packages' places); nothing when
// neither has it.
std::optional<std::filesystem::path> fontFile(std::string_view name);

// The font files setup() loads, text faces first.
const std::vector<std::string_view>& files();

// The text font at a size in device-independent pixels and a weight. Where a
// rounded design is asked for (large figures), the same face serves.
QFont text(double size, QFont::Weight weight = QFont::Normal);

// The symbol font at a size in device-independent pixels.
QFont symbols(double size);

inline constexpr const char* kTextFamily = "Inter";
inline constexpr const char* kSymbolFamily = "Material Icons";

}  // namespace Fonts
