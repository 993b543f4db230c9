#pragma once
// The privacy screen: browsing traces (the privacy scan's report, removed for
// good), the permissions applications hold (each with Revoke) and the
// remembered Wi-Fi networks (listed for review), one section at a time.
//
// Its first appearance loads the permissions and networks and, when no
// privacy report is stored yet, scans the traces; Rescan does both. Both
// loads go through the state's one scan token, so the second starts only
// once the first has published: neither cancels the other.
#include <QWidget>
#include <optional>

#include "app/controls/symbols.h"
#include "app/shell/screen_catalog.h"
#include "app/state/app_state.h"
#include "app/state/executor.h"

class BusyIndicator;
class CoverageList;
class PrimaryButton;
class QStackedLayout;
class QVBoxLayout;
class ResultsList;
class SecondaryButton;
class ProgressColumn;
class SegmentedControl;
class SystemServices;

class PrivacyView : public QWidget {
    Q_OBJECT
public:
    enum Section { traces = 0, permissions = 1, wifi = 2 };

    explicit PrivacyView(const ScreenContext& context, QWidget* parent = nullptr);
    ~PrivacyView() override;

    int section() const;
    void setSection(int section);
    bool hasLoaded() const { return hasLoaded_; }

    // The symbol of a permission row for its service ("lock" for any other).
    static Symbol icon(const std::string& service);

    SegmentedControl* sectionControl() const { return sections_; }
    // Header controls; the buttons are hidden while a privacy load runs.
    BusyIndicator* headerSpinner() const { return spinner_; }
    PrimaryButton* removeButton() const { return remove_; }
    SecondaryButton* rescanButton() const { return rescan_; }
    ResultsList* results() const { return results_; }
    // The traces section's content: "results", "progress" or "empty".
    QString tracesContent() const;
    // The permissions and networks as listed (empty while their empty state shows).
    QWidget* permissionsPage() const { return permissionsPage_; }
    QWidget* wifiPage() const { return wifiPage_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* makeHeaderControls();
    QWidget* makeTracesPage();
    QWidget* makePermissionsPage();
    QWidget* makeWifiPage();
    void connectState();
    bool isScanning() const;
    int64_t selectedBytes() const;
    // Loads the permissions and networks, then (when asked) scans the traces.
    void load(bool scanTraces);
    void refreshHeader();
    void refreshTraces();
    void rebuildPermissions();
    void rebuildWifi();

    AppState& state_;
    SystemServices& services_;
    Lifeline lifeline_;
    bool hasLoaded_ = false;
    // The trace scan waits for the permissions and networks to be published.
    bool tracesAfterExtras_ = false;
    ScanTokenRef extrasToken_;

    SegmentedControl* sections_;
    QStackedLayout* pages_;
    BusyIndicator* spinner_;
    PrimaryButton* remove_;
    SecondaryButton* rescan_;

    QStackedLayout* traces_;
    QWidget* resultsPage_;
    ResultsList* results_;
    CoverageList* coverage_;
    QWidget* tracesProgress_;
    ProgressColumn* tracesProgressColumn_;
    QWidget* tracesEmpty_;

    QWidget* permissionsPage_;
    QVBoxLayout* permissionsColumn_;
    QWidget* permissionsContent_ = nullptr;
    QWidget* wifiPage_;
    QVBoxLayout* wifiColumn_;
    QWidget* wifiContent_ = nullptr;
};
