#pragma once
// The window's look and what assistive technology hears of its drawn
// controls, applied once to the application.
#include <string>
#include <vector>

namespace Appearance {

// Fonts, the light palette, the accessibility of the custom controls
// (Accessibility::install) and the keyboard's focus ring (FocusRing::install).
// Returns a line per font
// file that did not load (Fonts::setup); the window still opens, with the
// default font in place of a missing one.
std::vector<std::string> apply();

}  // namespace Appearance
