#pragma once
// The window's look and what assistive technology hears of its drawn
// controls, applied once to the application.
namespace Appearance {

// Fonts, the light palette, and the accessibility of the custom controls
// (the checkbox announces its label and value; symbol tiles and rings are
// decoration, hidden from assistive technology). False when a font is
// missing; the window still opens with the default font.
bool apply();

}  // namespace Appearance
