#include "screens/privacy_view.h"

#include <QHBoxLayout>
#include <QScrollArea>
#include <QShowEvent>
#include <QStackedLayout>
#include <QVBoxLayout>
#include <array>
#include <utility>

#include "app/controls/bind.h"
#include "app/controls/busy_indicator.h"
#include "app/controls/buttons.h"
#include "app/controls/card_background.h"
#include "app/controls/coverage_list.h"
#include "app/controls/divider.h"
#include "app/controls/empty_state_view.h"
#include "app/controls/fonts.h"
#include "app/controls/link_button.h"
#include "app/controls/module_header.h"
#include "app/controls/progress_column.h"
#include "app/controls/qstring.h"
#include "app/controls/results_list.h"
#include "app/controls/scroll_column.h"
#include "app/controls/segmented_control.h"
#include "app/controls/symbol_view.h"
#include "app/controls/system_services.h"
#include "app/controls/text_label.h"
#include "app/controls/theme.h"
#include "engine/byte_format.h"
#include "screens/permission_hint.h"

namespace {

// Takes a section's content out (deleted once the event loop is back, as a
// click inside it may be what replaced it).
void retire(QWidget*& content) {
    if (!content) return;
    if (QWidget* parent = content->parentWidget(); parent && parent->layout())
        parent->layout()->removeWidget(content);
    content->hide();
    content->deleteLater();
    content = nullptr;
}

// One row of a list card: a symbol in an 18-point frame, texts, and what the
// caller adds at the end.
QHBoxLayout* listRow(QWidget* row, Symbol symbol, const QColor& tint) {
    auto* line = new QHBoxLayout(row);
    line->setContentsMargins(14, 8, 14, 8);
    line->setSpacing(10);
    line->addWidget(new SymbolView(symbol, 12, tint, 18), 0, Qt::AlignVCenter);
    return line;
}

}  // namespace

Symbol PrivacyView::icon(const std::string& service) {
    struct Icon {
        std::string_view service;
        Symbol symbol;
    };
    static constexpr std::array<Icon, 10> kIcons = {{
        {"kTCCServiceCamera", "camera"},
        {"kTCCServiceMicrophone", "mic"},
        {"kTCCServiceScreenCapture", "rectangle.dashed.badge.record"},
        {"kTCCServiceAccessibility", "figure.wave"},
        {"kTCCServiceListenEvent", "keyboard"},
        {"kTCCServicePhotos", "photo"},
        {"kTCCServiceCalendar", "calendar"},
        {"kTCCServiceAddressBook", "person.crop.circle"},
        {"kTCCServiceSystemPolicyAllFiles", "internaldrive"},
        {"kTCCServiceAppleEvents", "gearshape.2"},
    }};
    for (const Icon& i : kIcons)
        if (i.service == service) return i.symbol;
    return "lock";
}

PrivacyView::PrivacyView(const ScreenContext& context, QWidget* parent)
    : QWidget(parent), state_(context.state), services_(context.services) {
    setObjectName(QStringLiteral("PrivacyView"));
    setWindowTitle(QStringLiteral("Privacy"));
    setMinimumSize(780, 560);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(Controls::inset(new ModuleHeader(ModuleID::privacy, makeHeaderControls()), 22, 18, 22, 10));

    sections_ = new SegmentedControl(
        {QStringLiteral("Browsing Traces"), QStringLiteral("Permissions"), QStringLiteral("Wi-Fi")}, traces);
    column->addWidget(Controls::inset(sections_, 22, 0, 22, 12));

    auto* pagesHost = new QWidget;
    pages_ = new QStackedLayout(pagesHost);
    column->addWidget(pagesHost, 1);
    pages_->addWidget(makeTracesPage());
    pages_->addWidget(makePermissionsPage());
    pages_->addWidget(makeWifiPage());
    connectState();
}

QWidget* PrivacyView::makeHeaderControls() {
    auto* controls = new QWidget;
    auto* controlRow = new QHBoxLayout(controls);
    controlRow->setContentsMargins(0, 0, 0, 0);
    controlRow->setSpacing(9);
    spinner_ = new BusyIndicator(BusyIndicator::Size::small);
    controlRow->addWidget(spinner_);
    remove_ = new PrimaryButton(QStringLiteral("Remove"), "trash.fill", Theme::color(Theme::violet), true, [this] {
        state_.clean(state_.report(ModuleID::privacy), ModuleID::privacy, false);
    });
    remove_->setObjectName(QStringLiteral("remove"));
    controlRow->addWidget(remove_);
    rescan_ = new SecondaryButton(QStringLiteral("Rescan"), "arrow.clockwise", [this] { load(true); });
    rescan_->setObjectName(QStringLiteral("rescan"));
    controlRow->addWidget(rescan_);
    return controls;
}

QWidget* PrivacyView::makeTracesPage() {
    // Browsing traces: the results, a scan in progress, or nothing found.
    auto* tracesHost = new QWidget;
    traces_ = new QStackedLayout(tracesHost);
    resultsPage_ = new QWidget;
    auto* resultsColumn = new QVBoxLayout(resultsPage_);
    resultsColumn->setContentsMargins(0, 0, 0, 0);
    resultsColumn->setSpacing(0);
    results_ = new ResultsList(ModuleID::privacy);
    results_->bind(state_);
    resultsColumn->addWidget(results_, 1);
    coverage_ = new CoverageList({});
    resultsColumn->addWidget(Controls::inset(coverage_, 22, 0, 22, 14));
    traces_->addWidget(resultsPage_);
    tracesProgress_ = new QWidget;
    auto* progressColumn = new QVBoxLayout(tracesProgress_);
    progressColumn->setContentsMargins(0, 0, 0, 0);
    tracesProgressColumn_ = new ProgressColumn;
    progressColumn->addWidget(tracesProgressColumn_);
    progressColumn->addStretch(1);
    traces_->addWidget(tracesProgress_);
    tracesEmpty_ = new EmptyStateView(
        "hand.raised", QStringLiteral("No browsing traces found"),
        QStringLiteral("History, cookies, autofill and recent-item lists from Safari, Chrome and Firefox appear here."),
        Theme::color(Theme::violet), EmptyStateView::Action{QStringLiteral("Scan now"), [this] { state_.scanPrivacy(); }});
    traces_->addWidget(tracesEmpty_);
    return tracesHost;
}

QWidget* PrivacyView::makePermissionsPage() {
    // Permissions: the hint, then the grants or their empty state.
    permissionsPage_ = new QWidget;
    permissionsColumn_ = new QVBoxLayout(permissionsPage_);
    permissionsColumn_->setContentsMargins(0, 0, 0, 0);
    permissionsColumn_->setSpacing(0);
    permissionsColumn_->addWidget(Controls::inset(
        new PermissionHint(QStringLiteral("Revoking a permission makes the app ask again next time it needs it. macOS "
                                          "records these, so reading them may require Full Disk Access."),
                           QStringLiteral("Open Settings"), nullptr, Theme::color(Theme::amber), "lock.shield.fill",
                           services_),
        22, 0, 22, 10));
    return permissionsPage_;
}

QWidget* PrivacyView::makeWifiPage() {
    // Wi-Fi: the hint, then the networks or their empty state. The list of
    // networks is read behind Full Disk Access, so the hint's button opens
    // that pane; the Wi-Fi pane, where networks are forgotten, has buttons of
    // its own below.
    wifiPage_ = new QWidget;
    wifiColumn_ = new QVBoxLayout(wifiPage_);
    wifiColumn_->setContentsMargins(0, 0, 0, 0);
    wifiColumn_->setSpacing(0);
    wifiColumn_->addWidget(Controls::inset(
        new PermissionHint(QStringLiteral("Since macOS Sonoma only System Settings can forget a network, so these are "
                                          "listed for review rather than removed here."),
                           QStringLiteral("Open Settings"), nullptr, Theme::color(Theme::amber), "lock.shield.fill",
                           services_),
        22, 0, 22, 10));
    return wifiPage_;
}

void PrivacyView::connectState() {
    connect(sections_, &SegmentedControl::selectedChanged, pages_, &QStackedLayout::setCurrentIndex);

    Bind::value(this, &state_, &AppState::progressChanged, [this] {
        tracesProgressColumn_->setMessage(qs(state_.progress().message));
        refreshHeader();
        refreshTraces();
    });
    connect(&state_, &AppState::activeScanChanged, this, [this] {
        refreshHeader();
        refreshTraces();
    });
    connect(&state_, &AppState::reportChanged, this, [this](ModuleID module) {
        if (module != ModuleID::privacy) return;
        refreshHeader();
        refreshTraces();
    });
    connect(&state_, &AppState::selectionChanged, this, [this](ModuleID module, int, int) {
        if (module == ModuleID::privacy) refreshHeader();
    });
    Bind::value(this, &state_, &AppState::privacyExtrasChanged, [this] {
        rebuildPermissions();
        rebuildWifi();
    });
    // The trace scan waiting for the permissions and networks starts once
    // their load has ended (no scan active, the progress stopped) with its
    // token still the current one; a load that another scan replaced takes
    // the waiting scan with it. Another action's progress stopping while the
    // load runs leaves the load active, so it starts nothing early.
    connect(&state_, &AppState::progressChanged, this, [this] {
        if (!tracesAfterExtras_) return;
        if (state_.token() != extrasToken_) {
            tracesAfterExtras_ = false;
            return;
        }
        if (state_.progress().isRunning || state_.activeScan()) return;
        tracesAfterExtras_ = false;
        state_.executor()->post(lifeline_.receiver(), [this] { state_.scanPrivacy(); });
    });
}

PrivacyView::~PrivacyView() { lifeline_.end(); }

int PrivacyView::section() const { return sections_->selected(); }

void PrivacyView::setSection(int section) { sections_->setSelected(section); }

void PrivacyView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (event->spontaneous() || hasLoaded_) return;
    hasLoaded_ = true;
    load(state_.report(ModuleID::privacy).categories.empty());
}

void PrivacyView::load(bool scanTraces) {
    state_.loadPrivacyExtras();
    extrasToken_ = state_.token();
    tracesAfterExtras_ = scanTraces;
}

bool PrivacyView::isScanning() const { return state_.isScanning(ModuleID::privacy); }

int64_t PrivacyView::selectedBytes() const { return state_.totals(ModuleID::privacy).selectedBytes; }

void PrivacyView::refreshHeader() {
    const bool scanning = isScanning();
    spinner_->setVisible(scanning);
    const int64_t bytes = selectedBytes();
    remove_->setVisible(!scanning && bytes >= 1);
    remove_->setText(QStringLiteral("Remove ") + qs(ByteFormat::compact(bytes)));
    remove_->updateGeometry();
    rescan_->setVisible(!scanning);
}

void PrivacyView::refreshTraces() {
    const ScanReport& report = state_.report(ModuleID::privacy);
    if (!report.categories.empty()) {
        coverage_->setEntries(report.coverage);
        coverage_->parentWidget()->setVisible(!report.coverage.empty());
        traces_->setCurrentWidget(resultsPage_);
    } else if (isScanning()) {
        traces_->setCurrentWidget(tracesProgress_);
    } else {
        traces_->setCurrentWidget(tracesEmpty_);
    }
}

QString PrivacyView::tracesContent() const {
    QWidget* shown = traces_->currentWidget();
    if (shown == resultsPage_) return QStringLiteral("results");
    if (shown == tracesProgress_) return QStringLiteral("progress");
    return QStringLiteral("empty");
}

void PrivacyView::rebuildPermissions() {
    retire(permissionsContent_);
    const auto& grants = state_.permissionGrants();
    if (grants.empty()) {
        permissionsContent_ = new EmptyStateView(
            "lock.shield", QStringLiteral("No permissions readable"),
            QStringLiteral("macOS keeps the permission database behind Full Disk Access. Grant it, then rescan."),
            Theme::color(Theme::accent), EmptyStateView::Action{QStringLiteral("Open Settings"), [this] {
                                             services_.openURL(SystemLinks::kFullDiskAccess);
                                         }});
        permissionsColumn_->addWidget(permissionsContent_, 1);
        permissionsContent_->show();
        return;
    }
    auto* rows = new QWidget;
    auto* list = new QVBoxLayout(rows);
    list->setContentsMargins(0, 0, 0, 0);
    list->setSpacing(0);
    for (size_t i = 0; i < grants.size(); ++i) {
        const PermissionGrant& grant = grants[i];
        auto* row = new QWidget;
        row->setObjectName(QStringLiteral("grant"));
        row->setAccessibleName(qs(grant.id));
        auto* line = listRow(row, icon(grant.service), Theme::color(Theme::violet));
        auto* texts = new QVBoxLayout;
        texts->setSpacing(1);
        texts->addWidget(new TextLabel(qs(grant.displayName), Fonts::text(12, QFont::Medium), Theme::primary()));
        auto* client = new TextLabel(qs(grant.client), Fonts::text(10), Theme::tertiary());
        client->setObjectName(QStringLiteral("client"));
        client->setElide(Qt::ElideMiddle);
        texts->addWidget(client);
        line->addLayout(texts, 1);
        auto* revoke = new LinkButton(QStringLiteral("Revoke"), 11.5);
        revoke->setObjectName(QStringLiteral("revoke"));
        revoke->setAccessibleDescription(qs(grant.displayName + " for " + grant.client));
        connect(revoke, &QAbstractButton::clicked, this, [this, grant] { state_.revoke(grant); });
        line->addWidget(revoke, 0, Qt::AlignVCenter);
        list->addWidget(row);
        if (i + 1 < grants.size()) list->addWidget(new Divider(0.3, 42));
    }
    auto* content = new QWidget;
    auto* contentColumn = new QVBoxLayout(content);
    contentColumn->setContentsMargins(22, 0, 22, 20);
    contentColumn->addWidget(Controls::card(rows, 0, 16));
    contentColumn->addStretch(1);
    permissionsContent_ = Controls::scrollColumn(content);
    permissionsColumn_->addWidget(permissionsContent_, 1);
    permissionsContent_->show();
}

void PrivacyView::rebuildWifi() {
    retire(wifiContent_);
    const auto& networks = state_.wifiNetworks();
    auto openWifi = [this] { services_.openURL(SystemLinks::kWiFi); };
    if (networks.empty()) {
        wifiContent_ = new EmptyStateView("wifi", QStringLiteral("No remembered networks"),
                                          QStringLiteral("Networks this Mac joins automatically would be listed here."),
                                          Theme::color(Theme::accent),
                                          EmptyStateView::Action{QStringLiteral("Open Wi-Fi Settings"), openWifi});
        wifiColumn_->addWidget(wifiContent_, 1);
        wifiContent_->show();
        return;
    }
    auto* rows = new QWidget;
    auto* list = new QVBoxLayout(rows);
    list->setContentsMargins(0, 0, 0, 0);
    list->setSpacing(0);
    for (size_t i = 0; i < networks.size(); ++i) {
        auto* row = new QWidget;
        row->setObjectName(QStringLiteral("network"));
        auto* line = listRow(row, "wifi", Theme::color(Theme::accent));
        auto* name = new TextLabel(qs(networks[i]), Fonts::text(12), Theme::primary());
        name->setElide(Qt::ElideRight);
        line->addWidget(name, 1);
        list->addWidget(row);
        if (i + 1 < networks.size()) list->addWidget(new Divider(0.3, 42));
    }
    auto* content = new QWidget;
    auto* contentColumn = new QVBoxLayout(content);
    contentColumn->setContentsMargins(22, 0, 22, 20);
    contentColumn->setSpacing(12);
    contentColumn->addWidget(Controls::card(rows, 0, 16));
    auto* settings = new SecondaryButton(QStringLiteral("Open Wi-Fi Settings"), "gearshape", openWifi);
    contentColumn->addWidget(settings, 0, Qt::AlignLeft);
    contentColumn->addStretch(1);
    wifiContent_ = Controls::scrollColumn(content);
    wifiColumn_->addWidget(wifiContent_, 1);
    wifiContent_->show();
}
