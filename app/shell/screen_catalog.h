#pragma once
// The screens are made by the layer above the shell. The shell asks this
// catalog for them: the detail column by screen name (a name the catalog
// lacks shows its module's header alone), the settings window's content and
// the menu bar extra's menu. The executable's window hands the full catalog
// in; the shell's own tests use an empty one.
#include <QWidget>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "app/state/app_state.h"

class QMenu;
class SystemServices;

// What a screen may use besides the state: the desktop's services and the
// windows around it.
struct ScreenContext {
    AppState& state;
    SystemServices& services;
    // Presents the widget as a sheet over the main window's content, which is
    // dimmed and takes no clicks until the sheet is gone; the sheet ends by
    // being deleted (deleteLater) and the overlay goes with it.
    std::function<void(QWidget* sheet)> presentSheet;
    // Shows the main window (opening it again when it was closed) and raises it.
    std::function<void()> showMainWindow;
    std::function<void()> showSettings;
};

struct ScreenCatalog {
    // The screen for a module (none: no module chosen), by
    // DetailRouter::screenName of that module.
    using Maker = std::function<QWidget*(const ScreenContext& context, std::optional<ModuleID> module)>;
    std::map<std::string, Maker, std::less<>> screens;
    // The settings window's content; none leaves the window empty.
    std::function<QWidget*(const ScreenContext& context)> settings;
    // Fills the menu bar extra's menu once, when the application starts; the
    // function keeps it current itself.
    std::function<void(QMenu& menu, const ScreenContext& context)> trayMenu;
};
