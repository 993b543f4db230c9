#include "screens/schedule_tab.h"

#include <QVBoxLayout>
#include <cstdio>

#include "app/controls/buttons.h"
#include "app/controls/focus_ring.h"
#include "app/controls/fonts.h"
#include "app/controls/pop_up_picker.h"
#include "app/controls/qstring.h"
#include "app/controls/system_services.h"
#include "app/controls/text_label.h"
#include "app/controls/theme.h"
#include "app/controls/toggle_switch.h"
#include "screens/settings_form.h"

ScheduleTab::ScheduleTab(AppState& state, SystemServices& services, QWidget* parent)
    : QWidget(parent), state_(state), services_(services) {
    setObjectName(QStringLiteral("ScheduleTab"));
    switch_ = new ToggleSwitch(QStringLiteral("Clean automatically every day"), Fonts::text(12));
    connect(switch_, &QAbstractButton::clicked, this, [this](bool on) { setScheduleEnabled(on); });

    QStringList hours;
    for (int h = 0; h < 24; ++h) hours << hourText(h);
    hourPicker_ = new PopUpPicker(hours, hour_, QStringLiteral("At"));
    // activated: the user's choice only, never a value set by reload().
    connect(hourPicker_, &PopUpPicker::activated, this, [this](int index) { setHour(index); });

    auto* note = new TextLabel(QStringLiteral("Runs headless as a LaunchAgent, using the same safety rules as the "
                                              "command line: only items rated Safe, and nothing needing an "
                                              "administrator password."),
                               Fonts::text(11), Theme::secondary());
    note->setWordWrap(true);

    QWidget* modules = nullptr;
    {
        auto* box = new QWidget;
        auto* stack = new QVBoxLayout(box);
        stack->setContentsMargins(0, 0, 0, 0);
        stack->setSpacing(8);
        for (ModuleID module : AppState::dailyJobModules()) {
            auto* toggle = new ToggleSwitch(qs(Modules::title(module)), Fonts::text(12));
            toggle->setObjectName(qs(Modules::rawValue(module)));
            connect(toggle, &QAbstractButton::clicked, this, [this, module](bool on) { setModule(module, on); });
            moduleSwitches_.emplace_back(module, toggle);
            stack->addWidget(toggle);
        }
        modules = box;
    }

    auto* reveal = new SecondaryButton(QStringLiteral("Reveal"), [this] { services_.reveal(state_.dailyJobLogFolder()); });

    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(0, 0, 0, 0);
    page->addWidget(SettingsForm::form({
        SettingsForm::section(QStringLiteral("Daily cleanup"),
                              {SettingsForm::row(switch_), SettingsForm::row(QStringLiteral("At"), hourPicker_),
                               SettingsForm::row(note)}),
        SettingsForm::section(QStringLiteral("Modules"), {SettingsForm::row(modules)}),
        SettingsForm::section(QString(), {SettingsForm::row(QStringLiteral("Logs"), reveal)}),
    }));
    showValues();
}

ScheduleTab::~ScheduleTab() { lifeline_.end(); }

QString ScheduleTab::hourText(int hour) {
    char text[8];
    std::snprintf(text, sizeof text, "%02d:00", hour);
    return QString::fromLatin1(text);
}

ToggleSwitch* ScheduleTab::moduleSwitch(ModuleID module) const {
    for (const auto& [m, toggle] : moduleSwitches_)
        if (m == module) return toggle;
    return nullptr;
}

void ScheduleTab::reload() {
    const Schedule::InstalledJob job = state_.dailyJob();
    enabled_ = job.present;
    const long long hour = job.hour.value_or(3);
    // A hand-written job may name an hour no clock has; the picker shows 3 then.
    hour_ = hour >= 0 && hour <= 23 ? int(hour) : 3;
    std::set<ModuleID> read;
    for (const std::string& name : job.moduleNames)
        if (auto module = Modules::fromCliArgument(name)) read.insert(*module);
    if (!read.empty()) modules_ = std::move(read);
    showValues();
}

void ScheduleTab::setScheduleEnabled(bool on) {
    if (applying_) return showValues();
    enabled_ = on;
    apply(on);
}

void ScheduleTab::setHour(int hour) {
    if (applying_ || hour < 0 || hour > 23) return showValues();
    hour_ = hour;
    if (enabled_) apply(true);
}

void ScheduleTab::setModule(ModuleID module, bool on) {
    if (applying_) return showValues();
    if (!on && enabled_ && modules_.size() == 1 && modules_.count(module)) {
        // An empty job cannot run, and with every module switch off and
        // locked while the job is off it could never be turned on again.
        showValues();
        Q_EMIT reported(QStringLiteral("Pick at least one module."), true);
        return;
    }
    if (on)
        modules_.insert(module);
    else
        modules_.erase(module);
    showValues();
    if (enabled_) apply(true);
}

void ScheduleTab::apply(bool enabled) {
    if (enabled && modules_.empty()) {
        enabled_ = false;
        showValues();
        Q_EMIT reported(QStringLiteral("Pick at least one module."), true);
        return;
    }
    applying_ = true;
    showValues();
    Q_EMIT writingChanged(true);
    if (enabled) {
        const int hour = hour_;
        state_.installDailyCleanup(hour, std::vector<ModuleID>(modules_.begin(), modules_.end()), lifeline_.receiver(),
                                   [this, hour](AppState::DailyJobChange change) {
                                       finish(change, "Daily cleanup scheduled for " + hourText(hour).toStdString() + ".");
                                   });
    } else {
        state_.removeDailyCleanup(lifeline_.receiver(),
                                  [this](AppState::DailyJobChange change) { finish(change, "Daily cleanup turned off."); });
    }
}

void ScheduleTab::finish(const AppState::DailyJobChange& change, const std::string& done) {
    applying_ = false;
    enabled_ = change.installed;
    showValues();
    Q_EMIT writingChanged(false);
    Q_EMIT reported(QString::fromStdString(change.error.value_or(done)), change.error.has_value());
}

void ScheduleTab::showValues() {
    // The controls stay as they are while a change is written (the setters
    // wait for it): a control disabled under the focus would hand the focus
    // on to the next one, and the form would scroll to it, away from the
    // switch the user just turned.
    switch_->setCheckedQuietly(enabled_);
    hourPicker_->setCurrentIndex(hour_);
    for (const auto& [module, toggle] : moduleSwitches_) toggle->setCheckedQuietly(modules_.count(module) > 0);
    if (!enabled_) keepFocusOnTheSwitch();
    hourPicker_->setEnabled(enabled_);
    for (const auto& [module, toggle] : moduleSwitches_) toggle->setEnabled(enabled_);
}

void ScheduleTab::keepFocusOnTheSwitch() {
    // The job went off while the user was at one of its controls (a write
    // that failed): the focus goes back to the switch, as the keyboard had it.
    QWidget* focus = window()->focusWidget();
    if (!focus || focus == switch_ || !isAncestorOf(focus)) return;
    bool locked = focus == hourPicker_;
    for (const auto& [module, toggle] : moduleSwitches_) locked = locked || focus == toggle;
    if (!locked) return;
    switch_->setFocus(FocusRing::fromKeyboard(focus) ? Qt::TabFocusReason : Qt::OtherFocusReason);
}
