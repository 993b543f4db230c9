#pragma once
// The settings window's content, three tabs: General (Full Disk Access, the
// cleanup history, the size of the ignore list), Ignore List (the never-touch
// paths, added through the open panel and removed one by one) and Schedule
// (the daily unattended cleanup, see ScheduleTab).
//
// The ignore list and the daily job are read back from disk each time the
// window is shown, so what the command line changed meanwhile shows. Reading
// changes nothing: only the user's own changes write the ignore list or
// install and remove the job, through the state's actions off the main
// thread; what went wrong is said at the foot of this window, what went well
// in the main window's banner.
#include <QWidget>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "app/shell/screen_catalog.h"
#include "app/state/app_state.h"

class QAbstractButton;
class QLabel;
class QVBoxLayout;
class ScheduleTab;
class SystemServices;
class TabView;
class TextLabel;

class SettingsView : public QWidget {
    Q_OBJECT
public:
    explicit SettingsView(const ScreenContext& context, QWidget* parent = nullptr);
    ~SettingsView() override;

    TabView* tabs() const { return tabs_; }
    ScheduleTab* scheduleTab() const { return schedule_; }
    // The ignore list as last read.
    const std::vector<std::string>& ignored() const { return ignored_; }
    // A change of the ignore list or the job is being written.
    bool busy() const { return pending_ > 0; }

    // The failure of this window's last action, as it shows at the window's
    // foot; empty when none shows.
    QString notice() const;

    // Reads the ignore list and the daily job back from disk; installs nothing.
    void reload();
    // "Add Folder…": the open panel ("Ignore"), each chosen path added, the
    // outcome in a banner.
    void addFolder();
    // The row's minus button: the entry as stored.
    void removeIgnored(const std::string& path);

protected:
    void showEvent(QShowEvent* event) override;
    // Tab reads the window top down: the chosen tab, the page, the notice.
    bool focusNextPrevChild(bool next) override;

private:
    // How an action went: a failure shows in this window, a success in the
    // main window's banner.
    void report(const std::string& text, bool isError);
    QWidget* makeGeneral();
    QWidget* makeIgnores();
    void showIgnored();
    void addIgnored(const std::vector<std::filesystem::path>& chosen);

    AppState& state_;
    SystemServices& services_;
    Lifeline lifeline_;
    int pending_ = 0;
    std::vector<std::string> ignored_;
    TabView* tabs_;
    ScheduleTab* schedule_;
    QLabel* ignoredCount_ = nullptr;
    QAbstractButton* addFolder_ = nullptr;
    QVBoxLayout* ignoreRows_ = nullptr;
    QWidget* ignoreEmpty_ = nullptr;
    QWidget* ignoreList_ = nullptr;
    QWidget* notice_ = nullptr;
    TextLabel* noticeText_ = nullptr;
};
