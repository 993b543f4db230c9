#pragma once
// The one text font of every window and render (Inter), at sizes given in
// device-independent pixels, and the symbol font (Material Icons).
#include <QFont>

namespace Fonts {

// Makes both fonts known to the application (from the system's font
// configuration, else from the files shipped beside the program) and sets the
// application's default font. Call once, after the application object exists.
// False when a font could not be found; text then falls back to the default.
bool setup();

// The text font at a size in device-independent pixels and a weight. Where a
// rounded design is asked for (large figures), the same face serves.
QFont text(double size, QFont::Weight weight = QFont::Normal);

// The symbol font at a size in device-independent pixels.
QFont symbols(double size);

inline constexpr const char* kTextFamily = "Inter";
inline constexpr const char* kSymbolFamily = "Material Icons";

}  // namespace Fonts
