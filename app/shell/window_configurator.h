#pragma once
// Takes charge of the main window's frame: the minimum size, the frame the
// user left the window in (or a centred default) restored and kept inside the
// visible area of the screen, the window brought to the front on first
// appearance, and the frame saved whenever the user moves or resizes it. The
// frame is the application's one settings entry. With VESSILTANE_DEBUG_WINDOW
// set to "1" every step writes a "[window] " line to standard error.
//
// Timing, on the main thread, counted from the window's first showing: the
// next turn of the event loop restores the frame and fronts the window; 0.4 s
// later the frame is restored and fitted once more; 0.6 s after the first
// turn moves and resizes start being saved (so neither restoration is saved).
#include <QMargins>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/state/executor.h"

class QSettings;
class QWidget;

namespace WindowFrame {

inline constexpr const char* kSettingsKey = "Vessiltane.windowFrame";
inline constexpr QSize kMinimumSize{1020, 680};
inline constexpr QSize kDefaultSize{1200, 800};
// The visible area assumed by the reset command when no screen is known.
inline constexpr QRect kFallbackArea{0, 0, 1440, 900};

// The stored text form, "{{x, y}, {w, h}}".
std::string format(const QRect& frame);
// Reads the four numbers of the text form in order (missing ones are 0, so
// text that is no frame reads as the empty rectangle).
QRect parse(const std::string& text);
// A frame worth saving or restoring: both sides greater than 200.
bool isUsable(const QRect& frame);
// "<x>,<y> <w>x<h>".
std::string describe(const QRect& frame);
// The default frame on a visible area: at most 1200 x 800, centred.
QRect centredDefault(const QRect& visibleArea);
// The frame kept inside the visible area and at least the minimum size the
// area allows; nothing when it is already within a point of that.
std::optional<QRect> fitted(const QRect& frame, const QRect& visibleArea);
// Where a window of that frame size goes over another window's frame: centred
// on it, then moved (never shrunk below what fits) so it lies on the visible
// area whole, its title bar first.
QRect centredOver(QSize size, const QRect& over, const QRect& visibleArea);
// Whether the debug variable's value turns the "[window] " lines on: "1" only.
bool debugFlag(const char* value);

}  // namespace WindowFrame

class WindowConfigurator : public QObject {
    Q_OBJECT
public:
    // What it needs of the platform; tests replace each part.
    struct Services {
        std::shared_ptr<Executor> executor;  // the delayed steps
        QSettings* settings = nullptr;       // where the frame is kept (not owned)
        // The visible area of the window's screen, else of the main screen;
        // nothing when no screen is known.
        std::function<std::optional<QRect>(const QWidget&)> visibleArea;
        // Where the "[window] " lines go; by default standard error, only
        // when VESSILTANE_DEBUG_WINDOW is "1".
        std::function<void(const std::string&)> log;
        // The title bar and borders around the window's content; by default
        // what the window manager gave it (nothing until it is shown).
        std::function<QMargins(const QWidget&)> decoration;
    };

    // Takes charge of the window (it becomes the window's child).
    WindowConfigurator(QWidget& window, Services services);
    ~WindowConfigurator() override;

    // The screens' own visible areas and the standard-error log.
    static std::function<std::optional<QRect>(const QWidget&)> screenAreas();
    static std::function<void(const std::string&)> standardErrorLog();
    static std::function<QMargins(const QWidget&)> windowDecoration();

    // The frame kept under the settings key when it is usable.
    std::optional<QRect> storedFrame() const;

    // The Reset Window Size command: the first plain top-level window of the
    // application (not a dialog, tool or popup) gets the default frame,
    // centred, and comes to the front; the stored frame is forgotten. Nothing
    // happens without such a window.
    static void resetCurrentWindowFrame();
    // The same for this configurator's window.
    void resetFrame();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The whole window, title bar and borders included, as the frame is
    // restored, fitted, centred and saved; and set so.
    QRect frame() const;
    void setFrame(const QRect& frame);
    void applyAttachSettings();
    void firstLayout();
    void restoreFrame();
    void fitOnScreen();
    void save();
    void log(const std::string& line) const;
    std::optional<QRect> areaOf() const;

    QPointer<QWidget> window_;
    Services services_;
    Lifeline lifeline_;
    bool didRunFirstLayout_ = false;
    bool tracking_ = false;
};
