#pragma once
// The window's colours: the seven theme colours every screen uses (green for
// success, rose for errors, amber for warnings and review items, each module's
// tint one of the seven), and the fixed light palette the controls draw on.
#include <QColor>
#include <QPalette>

#include "engine/theme.h"

namespace Theme {

// A theme colour at the given opacity.
QColor color(const Colour& colour, double opacity = 1.0);

// Any colour at a fraction of its own opacity.
QColor faded(const QColor& colour, double opacity);

// The text colours, from strongest to faintest, and the primary colour at an
// opacity (fills and hairlines are drawn with it).
QColor primary(double opacity = 1.0);
QColor secondary();
QColor tertiary();

// The plain window colour, the sidebar's translucent fill over it and the
// translucent fill of a material (cards, the banner) over whatever lies below.
QColor windowBackground();
QColor sidebarBackground();
QColor material();

// The palette of every window: light, whatever the desktop's colours are.
QPalette palette();

}  // namespace Theme
