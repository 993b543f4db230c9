#pragma once
// The detail column: exactly one screen, the one of the state's module, made
// afresh whenever the module changes (so no module and Smart Scan, which both
// show the dashboard, still each get a new one). A screen that is not built
// yet (one the catalog lacks) shows its module's header alone.
#include <QWidget>
#include <optional>

#include "app/shell/screen_catalog.h"
#include "app/state/app_state.h"

class DetailRouter : public QWidget {
    Q_OBJECT
public:
    // catalog and context: where the screens come from; none shows every
    // module's header alone.
    explicit DetailRouter(AppState& state, const ScreenCatalog* catalog = nullptr,
                          const ScreenContext* context = nullptr, QWidget* parent = nullptr);

    QWidget* screen() const { return screen_; }
    // The shown screen's title, which the main window takes as its own: the
    // screen's window title, else its module's title.
    QString title() const;
    // The name of the screen that shows a module ("DashboardView" for none).
    static const char* screenName(std::optional<ModuleID> module);

Q_SIGNALS:
    // Another screen is shown, with this title.
    void titleChanged(const QString& title);

private:
    void route(std::optional<ModuleID> module);
    QWidget* makeScreen(std::optional<ModuleID> module);

    AppState& state_;
    const ScreenCatalog* catalog_;
    const ScreenContext* context_;
    QWidget* screen_ = nullptr;
    std::optional<std::optional<ModuleID>> shown_;
};
