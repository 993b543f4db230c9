#pragma once
// The window's look and what assistive technology hears of its drawn
// controls, applied once to the application.
#include <string>
#include <vector>

namespace Appearance {

// Fonts, the light palette, and the accessibility of the custom controls
// (the checkbox announces its label and value; symbol tiles and rings are
// decoration, hidden from assistive technology). Returns a line per font
// file that did not load (Fonts::setup); the window still opens, with the
// default font in place of a missing one.
std::vector<std::string> apply();

}  // namespace Appearance
