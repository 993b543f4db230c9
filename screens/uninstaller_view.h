#pragma once
// The uninstaller screen. "Applications": the installed applications in a
// searchable list beside the chosen one's details, its leftovers (ticked as
// the search left them) and Uninstall, which moves the bundle and the ticked
// leftovers to the Trash. "Orphaned Files": the orphaned-files pane.
#include <QAbstractListModel>
#include <QWidget>
#include <filesystem>
#include <string>
#include <vector>

#include "app/shell/screen_catalog.h"
#include "app/state/app_state.h"

class Checkbox;
class OrphansPane;
class PrimaryButton;
class QHBoxLayout;
class QLineEdit;
class QListView;
class QStackedLayout;
class QVBoxLayout;
class SegmentedControl;
class SystemServices;
class TextLabel;

// The rows of the application list: the applications that match the search.
class AppListModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role { SizeRole = Qt::UserRole + 1, ProtectedRole, IDRole };
    explicit AppListModel(QObject* parent = nullptr);

    void setApps(std::vector<InstalledApp> apps);
    const std::vector<InstalledApp>& apps() const { return apps_; }
    // The row of the application with that id; -1 when it is not listed.
    int row(const std::string& id) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    std::vector<InstalledApp> apps_;
};

class UninstallerView : public QWidget {
    Q_OBJECT
public:
    explicit UninstallerView(const ScreenContext& context, QWidget* parent = nullptr);

    // The applications whose name or bundle identifier holds the query,
    // letter case ignored, in list order; all of them for an empty query.
    static std::vector<InstalledApp> filtered(const std::vector<InstalledApp>& apps, const std::string& query);
    // The leftovers header's text: "<n> found · <size of the ticked> selected".
    static QString leftoverSummary(const std::vector<Uninstaller::Leftover>& leftovers);

    int mode() const;
    void setMode(int mode);
    QString query() const;
    void setQuery(const QString& query);

    SegmentedControl* modeControl() const { return modes_; }
    QLineEdit* searchField() const { return search_; }
    QWidget* clearSearchButton() const { return clear_; }
    QListView* appList() const { return list_; }
    AppListModel* appModel() const { return model_; }
    // What the list shows over it: "loading", "empty" or "" (the list).
    QString listOverlay() const;
    // The details column: "pick" (nothing chosen) or "details".
    QString detailsContent() const;
    QWidget* details() const { return detailsContent_; }
    // The leftovers section: "searching", "none" or "list".
    QString leftoversContent() const;
    const std::vector<Checkbox*>& leftoverBoxes() const { return leftoverBoxes_; }
    PrimaryButton* uninstallButton() const { return uninstall_; }
    // The orphaned-files pane, made the first time its mode is chosen.
    OrphansPane* orphansPane() const { return orphans_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* makeListColumn();
    QWidget* makeSearchField();
    QWidget* makeDetailsColumn();
    void connectState();
    QWidget* makeAppCard(const InstalledApp& app);
    QWidget* makeLeftoverSection();
    QHBoxLayout* makeBottomBar(const InstalledApp& app);
    void applyFilter();
    void showSelection();
    void chooseOverlay();
    void rebuildDetails();
    void refreshLeftovers();
    void rebuildLeftoverRows();

    ScreenContext context_;
    AppState& state_;
    SystemServices& services_;
    SegmentedControl* modes_;
    QStackedLayout* modePages_;
    QWidget* appsPage_;
    OrphansPane* orphans_ = nullptr;

    QLineEdit* search_;
    QWidget* clear_;
    QListView* list_;
    AppListModel* model_;
    QWidget* loadingOverlay_;
    TextLabel* loadingMessage_;
    QWidget* emptyOverlay_;
    bool syncing_ = false;

    QVBoxLayout* detailsColumn_;
    QWidget* pickApp_;
    QWidget* detailsContent_ = nullptr;
    // Within the details: the leftovers section.
    TextLabel* leftoverCount_ = nullptr;
    QWidget* searching_ = nullptr;
    QWidget* noLeftovers_ = nullptr;
    QWidget* leftoverCard_ = nullptr;
    std::vector<Checkbox*> leftoverBoxes_;  // the leftover rows' boxes, in list order
    QVBoxLayout* leftoverSection_ = nullptr;
    std::vector<std::filesystem::path> shownLeftovers_;
    PrimaryButton* uninstall_ = nullptr;
    // The application whose uninstall was asked for; a second press while it
    // runs does nothing.
    std::string uninstalling_;
};
