#pragma once
// What the window asks of the desktop beyond its own widgets: opening a link
// (the System Settings panes, a release-notes page), showing a file in the
// file manager, a confirmation, and choosing files and folders. Tests hand the
// window a fake that records what was asked and gives canned answers.
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class Executor;
class QWidget;

class SystemServices {
public:
    // An alert asking whether to go ahead.
    struct Confirmation {
        std::string title;
        std::string message;
        std::string confirmButton;  // the button that goes ahead
        bool destructive = false;   // going ahead removes something
    };

    virtual ~SystemServices() = default;
    // Asks the desktop to open the address; whether it did is not reported.
    // Off macOS a System Settings link ("x-apple.systempreferences:") has no
    // pane to open and does nothing.
    virtual void openURL(const std::string& address) = 0;
    // Shows the file or folder selected in the file manager.
    virtual void reveal(const std::filesystem::path& path) = 0;
    // Both questions below are asked over the window of `over`, the widget
    // that asks, which takes no input meanwhile; the call returns at once and
    // the answer comes later on the main thread. A question never waits in an
    // event loop of its own: work that finishes meanwhile may delete the
    // asking screen, and the question goes with it, unanswered. The answer
    // is given only while `over` lives, at most once.
    using Answered = std::function<void(bool goAhead)>;
    using Chosen = std::function<void(std::vector<std::filesystem::path> chosen)>;
    // An alert asking whether to go ahead: answered(true) when the user did.
    virtual void confirm(const Confirmation& confirmation, QWidget* over, Answered answered) = 0;
    // Lets the user pick files and folders together, the accept button
    // reading the prompt; chosen(empty) when cancelled.
    virtual void chooseFilesAndFolders(const std::string& prompt, QWidget* over, Chosen chosen) = 0;

    // The desktop's own: the platform's opener run in the background through
    // the one shell helper (its outcome ignored), Qt's alert, and the window's
    // own file chooser (FileChooser).
    static std::unique_ptr<SystemServices> desktop(std::shared_ptr<Executor> executor);
};

namespace SystemLinks {
// The list of applications with Full Disk Access in System Settings.
inline constexpr const char* kFullDiskAccess =
    "x-apple.systempreferences:com.apple.preference.security?Privacy_AllFiles";
// The Login Items pane, where the items macOS manages are switched.
inline constexpr const char* kLoginItems = "x-apple.systempreferences:com.apple.LoginItems-Settings.extension";
// The Wi-Fi pane, where remembered networks are forgotten.
inline constexpr const char* kWiFi = "x-apple.systempreferences:com.apple.wifi-settings-extension";
// Safari's extension settings, where its extensions are switched off.
inline constexpr const char* kSafariExtensions = "x-apple.systempreferences:com.apple.Safari-Settings.extension";
// Whether the address names a System Settings pane.
bool isSystemSettings(const std::string& address);
}  // namespace SystemLinks
