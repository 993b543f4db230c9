#pragma once
// The maintenance screen: the housekeeping tasks macOS has tools for, one
// card each with Run and how its last run ended, and above them the running
// applications that need attention (the unresponsive ones and the heavy
// consumers of CPU or memory) with Quit and Force Quit. Every appearance
// samples the running applications afresh; nothing here asks for
// confirmation.
#include <QColor>
#include <QWidget>

#include "app/shell/screen_catalog.h"

class QVBoxLayout;
class LinkButton;

class MaintenanceView : public QWidget {
    Q_OBJECT
public:
    explicit MaintenanceView(const ScreenContext& context, QWidget* parent = nullptr);

    // The heavy consumers shown, of however many there are.
    static constexpr size_t kHeavyRowsShown = 8;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void showApplications();
    void showTasks();

    AppState& state_;
    QVBoxLayout* column_;
    QWidget* applications_ = nullptr;
    QWidget* tasks_ = nullptr;
};

// One running application: a symbol in the row's tint (a warning triangle
// when it is unresponsive), its name, "38% CPU · 2.1 GB", Quit and Force Quit.
class RunningAppRow : public QWidget {
    Q_OBJECT
public:
    RunningAppRow(AppState& state, RunningApp app, const QColor& tint, QWidget* parent = nullptr);

    // "%.0f%% CPU · <memory>", the memory as the shared size text.
    static QString detail(const RunningApp& app);

    LinkButton* quitButton() const { return quit_; }
    LinkButton* forceQuitButton() const { return forceQuit_; }

private:
    LinkButton* quit_;
    LinkButton* forceQuit_;
};

// One maintenance task: its symbol tile, title with its badges, what it does
// and when to run it; at the right Run (or a spinner while it runs, or why it
// cannot run here) over how the last run ended; under it the last run's
// output.
class TaskCard : public QWidget {
    Q_OBJECT
public:
    TaskCard(AppState& state, MaintenanceTask task, QWidget* parent = nullptr);

    const MaintenanceTask& task() const { return task_; }

private:
    MaintenanceTask task_;
};
