#pragma once
// The updates screen: starts the check of the installed applications' update
// feeds, shows its progress, the three counts of the last check, the
// pre-release switch and one row per advertised update with its release notes
// and download links. Everything it shows lives in the state; it keeps nothing
// of its own. It never downloads anything: a link opens in the browser, and
// only when it is an absolute http or https address.
#include <QWidget>

#include "app/shell/screen_catalog.h"
#include "app/state/app_state.h"

class BusyIndicator;
class PrimaryButton;
class QLabel;
class QStackedWidget;
class QVBoxLayout;
class SystemServices;
class ToggleSwitch;

class UpdaterView : public QWidget {
    Q_OBJECT
public:
    explicit UpdaterView(const ScreenContext& context, QWidget* parent = nullptr);

    // Null while a check runs (the header shows its progress then).
    PrimaryButton* checkButton() const;
    // Null while the counters are hidden (before the first check, and while one runs).
    ToggleSwitch* prereleaseSwitch() const { return prereleases_; }

    // One advertised update on its card: icon, name, versions, date, the
    // release notes link and Download, each link only for a web address.
    static QWidget* row(const AppUpdate& update, SystemServices& services);
    // The date of an update as the row shows it ("Mar 4, 2025").
    static QString dateText(Clock::TimePoint published);

private:
    void rebuild();
    void showProgress();

    AppState& state_;
    SystemServices& services_;
    QStackedWidget* trailing_;
    PrimaryButton* check_;
    QLabel* headerMessage_;
    QVBoxLayout* body_;
    QWidget* counters_ = nullptr;
    QWidget* results_ = nullptr;
    ToggleSwitch* prereleases_ = nullptr;
    QLabel* runningMessage_ = nullptr;
};
