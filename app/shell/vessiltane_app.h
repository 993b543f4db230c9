#pragma once
// The windowed application: one state shared by the main window, the settings
// window and the menu bar extra, and the commands of the main window (Rescan,
// Ctrl+R; Reset Window Size, Ctrl+Shift+0; Close Window, Ctrl+W). The
// settings window opens from the platform's Settings action (Ctrl+,) and
// closes with Escape or Ctrl+W.
#include <QObject>
#include <QString>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/shell/screen_catalog.h"
#include "app/shell/window_configurator.h"
#include "app/state/app_state.h"

class ContentView;
class QAction;
class QMainWindow;
class QMenu;
class QSettings;
class QSystemTrayIcon;
class SystemServices;

namespace MenuBarExtra {
// The label beside the sparkles symbol: the compact free space and " free"
// (of 0 when there are no figures).
QString label(const std::optional<FS::VolumeStats>& volume);
}  // namespace MenuBarExtra

class VessiltaneApp : public QObject {
    Q_OBJECT
public:
    // frame: what the main window's frame management needs (its settings are
    // where the frame is kept); catalog: the screens (none: each module's
    // header alone, an empty settings window and no tray menu).
    VessiltaneApp(AppState& state, SystemServices& services, WindowConfigurator::Services frame,
                  ScreenCatalog catalog = {}, QObject* parent = nullptr);
    ~VessiltaneApp() override;

    QMainWindow* mainWindow() const { return main_.get(); }
    ContentView* content() const { return content_; }
    QWidget* settingsWindow() const { return settings_.get(); }
    QSystemTrayIcon* menuBarExtra() const { return tray_; }
    QAction* rescanAction() const { return rescan_; }
    QAction* resetWindowSizeAction() const { return reset_; }
    QAction* closeWindowAction() const { return closeWindow_; }
    QAction* settingsAction() const { return openSettings_; }
    QAction* quitAction() const { return quit_; }
    const ScreenContext& screenContext() const { return context_; }

    void showMain();
    void showSettings();

    // Quit (the menu's Quit, the last window closed, the menu bar extra's
    // Quit) during a removal: the removal is stopped, the window shows it
    // until the item under way is done and the history is written, and then
    // the application quits. Without a removal it quits at once.
    void quit();
    // With a removal under way: stops it, shows the window and waits,
    // events running, until it has ended. What run() does after the event
    // loop, whatever ended it.
    void waitForRemoval();

    // The start-up chain's last link: makes the application object, the state
    // and the windows, runs the event loop and returns its exit status once
    // the windows are closed (after the background work has ended).
    static int run(int argc, char** argv, ScreenCatalog catalog = {});
    // Names the application (where its settings are kept) and gives it the
    // window's look. A font file that did not load is reported on standard
    // error, one line each, and makes it return false. After the
    // application object.
    static bool prepareApplication();

    // The objects of one run of the window over the process arguments, made
    // in order and ended in reverse: the executor, the state, the desktop's
    // services, the settings and the windows (shown by the caller).
    struct Session {
        explicit Session(std::vector<std::string> arguments, ScreenCatalog catalog = {});
        ~Session();
        std::shared_ptr<Executor> executor;
        std::unique_ptr<AppState> state;
        std::unique_ptr<SystemServices> services;
        std::unique_ptr<QSettings> settings;
        std::unique_ptr<VessiltaneApp> app;
    };

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    AppState& state_;
    ScreenCatalog catalog_;
    ScreenContext context_;
    std::unique_ptr<QMainWindow> main_;
    std::unique_ptr<QWidget> settings_;
    ContentView* content_ = nullptr;
    QSystemTrayIcon* tray_ = nullptr;
    QAction* rescan_ = nullptr;
    QAction* reset_ = nullptr;
    QAction* closeWindow_ = nullptr;
    QAction* openSettings_ = nullptr;
    QAction* quit_ = nullptr;
    std::unique_ptr<QMenu> trayMenu_;
    // What waits for the removal under way to end: quitting, or closing the main window.
    bool quitWhenRemoved_ = false;
    bool closeWhenRemoved_ = false;
};
