#pragma once
// The screens are made by the layer above the shell. The shell asks this
// catalog for them: the detail column by module (a module the catalog lacks
// shows its header alone), the settings window's content and the menu bar
// extra's menu. The executable's window hands the full catalog in; the
// shell's own tests use an empty one.
#include <QWidget>
#include <array>
#include <functional>
#include <initializer_list>
#include <optional>

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
    // Makes the screen for a module (none: no module chosen).
    using Maker = std::function<QWidget*(const ScreenContext& context, std::optional<ModuleID> module)>;
    // One maker per module; no module is shown by Smart Scan's.
    std::array<Maker, Modules::kCount> screens{};

    // The same maker for each of the modules.
    template <class Make>
    void add(std::initializer_list<ModuleID> modules, const Make& make) {
        for (ModuleID module : modules) screens[size_t(module)] = Maker(make);
    }
    // The maker of the module's screen; empty when the catalog has none.
    const Maker& screen(std::optional<ModuleID> module) const {
        return screens[size_t(module.value_or(ModuleID::smartScan))];
    }

    // The settings window's content; none leaves the window empty.
    std::function<QWidget*(const ScreenContext& context)> settings;
    // Fills the menu bar extra's menu once, when the application starts; the
    // function keeps it current itself.
    std::function<void(QMenu& menu, const ScreenContext& context)> trayMenu;
};
