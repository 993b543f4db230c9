#pragma once
// The settings window's Schedule tab: the daily unattended cleanup on or off,
// its hour and its modules. The installed job's property list is the only
// record: reload() reads the tab back from it without installing anything,
// and only the user's own changes install the job again or remove it.
#include <QWidget>
#include <functional>
#include <set>
#include <vector>

#include "app/state/app_state.h"

class PopUpPicker;
class SystemServices;
class ToggleSwitch;

class ScheduleTab : public QWidget {
    Q_OBJECT
public:
    ScheduleTab(AppState& state, SystemServices& services, QWidget* parent = nullptr);
    ~ScheduleTab() override;

    bool scheduleEnabled() const { return enabled_; }
    int hour() const { return hour_; }
    const std::set<ModuleID>& modules() const { return modules_; }

    // From the job on disk: on when its file exists; its hour, else 3; its
    // modules, unless it names none this program knows (the set then stays).
    void reload();

    // What the user does (the controls call these).
    void setScheduleEnabled(bool on);
    void setHour(int hour);
    void setModule(ModuleID module, bool on);

    ToggleSwitch* enabledSwitch() const { return switch_; }
    PopUpPicker* hourPicker() const { return hourPicker_; }
    // The switch of one of the offered modules (null for another).
    ToggleSwitch* moduleSwitch(ModuleID module) const;

    // "03:00".
    static QString hourText(int hour);

Q_SIGNALS:
    // A change of the job is being written (true), or has been (false).
    void writingChanged(bool writing);
    // How a change went, for the settings window to say.
    void reported(const QString& text, bool isError);

private:
    void apply(bool enabled);
    // What the write left, and the banner that says so.
    void finish(const AppState::DailyJobChange& change, const std::string& done);
    void showValues();
    void keepFocusOnTheSwitch();

    AppState& state_;
    SystemServices& services_;
    Lifeline lifeline_;
    bool enabled_ = false;
    int hour_ = 3;
    std::set<ModuleID> modules_{ModuleID::systemJunk, ModuleID::trashBins};
    bool applying_ = false;

    ToggleSwitch* switch_;
    PopUpPicker* hourPicker_;
    std::vector<std::pair<ModuleID, ToggleSwitch*>> moduleSwitches_;
};
