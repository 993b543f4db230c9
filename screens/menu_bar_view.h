#pragma once
// The menu bar extra's menu, which stays available while the main window is
// closed: the startup volume's space, Open, the common scans (each shows its
// module in the main window, opening one when no window is open, then starts
// the scan), the last cleanup, Settings and Quit. One function fills the menu;
// it keeps its two text rows current itself.
#include <QString>
#include <optional>

#include "app/shell/screen_catalog.h"

class QMenu;

namespace MenuBarView {

// "<free> free of <total>", or "Reading disk…" without figures.
QString diskLine(const std::optional<FS::VolumeStats>& volume);
// "Last: <size> from <n> items", or "No cleanup yet".
QString lastCleanupLine(const std::optional<CleanupSummary>& summary);

// Fills the menu (its rows in order, texts are disabled rows).
void fill(QMenu& menu, const ScreenContext& context);

// Brings the application forward; opens the main window when none of the
// application's windows (panels and menus aside) is open.
void activate(const ScreenContext& context);

}  // namespace MenuBarView
