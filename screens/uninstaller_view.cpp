#include "screens/uninstaller_view.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QListView>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QShowEvent>
#include <QStackedLayout>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

#include "app/controls/bind.h"
#include "app/controls/busy_indicator.h"
#include "app/controls/buttons.h"
#include "app/controls/card_background.h"
#include "app/controls/checkbox.h"
#include "app/controls/divider.h"
#include "app/controls/empty_state_view.h"
#include "app/controls/focus_ring.h"
#include "app/controls/fonts.h"
#include "app/controls/icon_button.h"
#include "app/controls/painters.h"
#include "app/controls/pill.h"
#include "app/controls/qstring.h"
#include "app/controls/results_model.h"
#include "app/controls/scroll_column.h"
#include "app/controls/segmented_control.h"
#include "app/controls/symbol_view.h"
#include "app/controls/system_services.h"
#include "app/controls/text_label.h"
#include "app/controls/theme.h"
#include "app/controls/thin_scroll_bar.h"
#include "platform/decimal.h"
#include "platform/locations.h"
#include "platform/unicode.h"
#include "screens/orphans_pane.h"
#include "screens/permission_hint.h"

namespace {

QColor rose(double opacity = 1.0) { return Theme::color(Theme::rose, opacity); }

// The search field's faint rounded backing.
class SearchBacking : public QWidget {
protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QPainterPath shape;
        shape.addRoundedRect(QRectF(rect()), 7, 7);
        p.fillPath(shape, Theme::primary(0.06));
    }
};

// One application of the list: its name over its size, and an amber lock for
// a protected application. The chosen row is the accent, its text white.
class AppRowDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    static constexpr int kHeight = 34;

    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override { return {200, kHeight}; }

    void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        p->save();
        p->setRenderHint(QPainter::Antialiasing);
        const QRectF row = QRectF(option.rect).adjusted(8, 1, -8, -1);
        const bool chosen = option.state & QStyle::State_Selected;
        // The keyboard's row carries the ring at its edge, and its highlight
        // moves inside the ring.
        const bool ring = (option.state & QStyle::State_HasFocus) && FocusRing::fromKeyboard(option.widget);
        const double inset = ring ? FocusRing::kGap + FocusRing::kWidth : 0;
        const QRectF highlight = row.adjusted(inset, inset, -inset, -inset);
        if (chosen) {
            QPainterPath shape;
            shape.addRoundedRect(highlight, 6 - inset / 2, 6 - inset / 2);
            p->fillPath(shape, Theme::color(Theme::accent));
        }
        if (ring) FocusRing::paint(*p, highlight, 6 - inset / 2);
        const QRectF inner = row.adjusted(8, 1, -8, -1);
        const bool isProtected = index.data(AppListModel::ProtectedRole).toBool();
        const double lockWidth = isProtected ? 14 : 0;
        const QFont nameFont = Fonts::text(12.5), sizeFont = Fonts::text(10);
        const double nameHeight = QFontMetricsF(nameFont).height(), sizeHeight = QFontMetricsF(sizeFont).height();
        const double top = inner.top() + (inner.height() - nameHeight - 1 - sizeHeight) / 2;
        const QRectF texts(inner.left(), top, inner.width() - lockWidth - 9, nameHeight);
        Painters::elidedText(*p, texts, index.data(Qt::DisplayRole).toString(), nameFont,
                             chosen ? QColor(Qt::white) : Theme::primary(), Qt::AlignLeft | Qt::AlignVCenter,
                             Qt::ElideRight);
        Painters::elidedText(*p, texts.translated(0, nameHeight + 1).adjusted(0, 0, 0, sizeHeight - nameHeight),
                             ResultsText::size(index.data(AppListModel::SizeRole).toLongLong()), sizeFont,
                             chosen ? QColor(255, 255, 255, 200) : Theme::tertiary(), Qt::AlignLeft | Qt::AlignVCenter,
                             Qt::ElideRight);
        if (isProtected)
            Painters::symbol(*p, QRectF(inner.right() - lockWidth, inner.top(), lockWidth, inner.height()), "lock.fill",
                             9, chosen ? QColor(Qt::white) : Theme::color(Theme::amber));
        p->restore();
    }
};

const InstalledApp* appWithID(const std::vector<InstalledApp>& apps, const std::string& id) {
    for (const auto& app : apps)
        if (app.id == id) return &app;
    return nullptr;
}

}  // namespace

// ---- The list's model ---------------------------------------------------------

AppListModel::AppListModel(QObject* parent) : QAbstractListModel(parent) {}

void AppListModel::setApps(std::vector<InstalledApp> apps) {
    beginResetModel();
    apps_ = std::move(apps);
    endResetModel();
}

int AppListModel::row(const std::string& id) const {
    for (size_t i = 0; i < apps_.size(); ++i)
        if (apps_[i].id == id) return int(i);
    return -1;
}

int AppListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(apps_.size()); }

QVariant AppListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() < 0 || size_t(index.row()) >= apps_.size()) return {};
    const InstalledApp& app = apps_[size_t(index.row())];
    switch (role) {
        case Qt::DisplayRole:
        case Qt::AccessibleTextRole: return qs(app.name);
        case SizeRole: return qlonglong(app.size);
        case ProtectedRole: return app.isProtected;
        case IDRole: return qs(app.id);
        default: return {};
    }
}

// ---- The screen ---------------------------------------------------------------

std::vector<InstalledApp> UninstallerView::filtered(const std::vector<InstalledApp>& apps, const std::string& query) {
    if (query.empty()) return apps;
    const std::string needle = Unicode::lower(query);
    std::vector<InstalledApp> out;
    for (const auto& app : apps)
        if (Unicode::contains(Unicode::lower(app.name), needle) || Unicode::contains(Unicode::lower(app.bundleID), needle))
            out.push_back(app);
    return out;
}

QString UninstallerView::leftoverSummary(const std::vector<Uninstaller::Leftover>& leftovers) {
    int64_t selected = 0;
    for (const auto& l : leftovers)
        if (l.isSelected) selected += l.size;
    return qs(Decimal::text(leftovers.size())) + QStringLiteral(" found \u00B7 ") + ResultsText::size(selected) +
           QStringLiteral(" selected");
}

UninstallerView::UninstallerView(const ScreenContext& context, QWidget* parent)
    : QWidget(parent), context_(context), state_(context.state), services_(context.services) {
    setObjectName(QStringLiteral("UninstallerView"));
    setWindowTitle(QStringLiteral("Uninstaller"));
    setMinimumSize(780, 560);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    modes_ = new SegmentedControl({QStringLiteral("Applications"), QStringLiteral("Orphaned Files")}, 0);
    column->addWidget(Controls::inset(modes_, 22, 16, 22, 8));
    auto* modeHost = new QWidget;
    modePages_ = new QStackedLayout(modeHost);
    column->addWidget(modeHost, 1);

    // The applications view: the list column, a divider, the details.
    appsPage_ = new QWidget;
    auto* apps = new QHBoxLayout(appsPage_);
    apps->setContentsMargins(0, 0, 0, 0);
    apps->setSpacing(0);
    modePages_->addWidget(appsPage_);
    apps->addWidget(makeListColumn());
    auto* divider = new QWidget;
    divider->setFixedWidth(1);
    divider->setAutoFillBackground(true);
    QPalette line = divider->palette();
    line.setColor(QPalette::Window, Theme::primary(0.1));
    divider->setPalette(line);
    apps->addWidget(divider);
    apps->addWidget(makeDetailsColumn(), 1);

    connectState();
}

QWidget* UninstallerView::makeListColumn() {
    auto* host = new QWidget;
    host->setFixedWidth(300);
    auto* listColumn = new QVBoxLayout(host);
    listColumn->setContentsMargins(0, 0, 0, 0);
    listColumn->setSpacing(0);
    listColumn->addWidget(Controls::inset(makeSearchField(), 10, 10, 10, 10));

    auto* listHost = new QWidget;
    auto* listGrid = new QGridLayout(listHost);
    listGrid->setContentsMargins(0, 0, 0, 0);
    model_ = new AppListModel(this);
    list_ = new QListView;
    list_->setObjectName(QStringLiteral("appList"));
    list_->setAccessibleName(QStringLiteral("Installed applications"));
    list_->setModel(model_);
    list_->setItemDelegate(new AppRowDelegate(list_));
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setFrameShape(QFrame::NoFrame);
    list_->setUniformItemSizes(true);
    list_->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list_->setVerticalScrollBar(new ThinScrollBar(Qt::Vertical, list_));
    list_->viewport()->setAutoFillBackground(false);
    list_->setAutoFillBackground(false);
    FocusRing::drawsItsOwn(list_);
    FocusRing::watchKeys(list_);
    listGrid->addWidget(list_, 0, 0);

    // Over the list while there is nothing to list: the listing under way, or
    // nothing found.
    loadingOverlay_ = new QWidget;
    auto* loading = new QVBoxLayout(loadingOverlay_);
    loading->setSpacing(10);
    loading->addStretch(1);
    loading->addWidget(new BusyIndicator(BusyIndicator::Size::small), 0, Qt::AlignHCenter);
    loadingMessage_ = new TextLabel({}, Fonts::text(11), Theme::secondary());
    loadingMessage_->setObjectName(QStringLiteral("loadingMessage"));
    loading->addWidget(loadingMessage_, 0, Qt::AlignHCenter);
    loading->addStretch(1);
    listGrid->addWidget(loadingOverlay_, 0, 0);
    emptyOverlay_ = new EmptyStateView(
        "shippingbox", QStringLiteral("No applications found"),
        QStringLiteral("Nothing turned up in /Applications or ~/Applications."), Theme::color(Theme::accent),
        EmptyStateView::Action{QStringLiteral("Reload"), [this] { state_.reloadApps(); }});
    listGrid->addWidget(emptyOverlay_, 0, 0);
    listColumn->addWidget(listHost, 1);
    return host;
}

QWidget* UninstallerView::makeSearchField() {
    auto* backing = new SearchBacking;
    auto* searchRow = new QHBoxLayout(backing);
    searchRow->setContentsMargins(9, 7, 9, 7);
    searchRow->setSpacing(6);
    searchRow->addWidget(new SymbolView("magnifyingglass", 11, Theme::secondary()), 0, Qt::AlignVCenter);
    search_ = new QLineEdit;
    search_->setObjectName(QStringLiteral("search"));
    search_->setAccessibleName(QStringLiteral("Search apps"));
    search_->setPlaceholderText(QStringLiteral("Search apps"));
    search_->setFrame(false);
    search_->setFont(Fonts::text(12));
    search_->setAttribute(Qt::WA_MacShowFocusRect, false);
    QPalette clearBase = search_->palette();
    clearBase.setColor(QPalette::Base, Qt::transparent);
    search_->setPalette(clearBase);
    searchRow->addWidget(search_, 1);
    // The field's ring goes around its rounded backing.
    FocusRing::setShape(search_, [this, backing] {
        return FocusRing::Shape{QRectF(search_->mapFrom(backing, QPoint(0, 0)), QSizeF(backing->size())), 7};
    });
    auto* clear = new IconButton("xmark.circle.fill", 11, 22, Theme::secondary(), QStringLiteral("Clear search"));
    clear->setObjectName(QStringLiteral("clearSearch"));
    clear_ = clear;
    connect(clear, &QAbstractButton::clicked, this, [this] { search_->clear(); });
    searchRow->addWidget(clear_, 0, Qt::AlignVCenter);
    return backing;
}

QWidget* UninstallerView::makeDetailsColumn() {
    auto* host = new QWidget;
    host->setMinimumWidth(460);
    detailsColumn_ = new QVBoxLayout(host);
    detailsColumn_->setContentsMargins(0, 0, 0, 0);
    detailsColumn_->setSpacing(0);
    pickApp_ = new EmptyStateView(
        "shippingbox.fill", QStringLiteral("Pick an app"),
        QStringLiteral("Choose an application to see its size and everything it left behind in your Library folders."),
        rose(), std::nullopt);
    detailsColumn_->addWidget(pickApp_, 1);
    return host;
}

void UninstallerView::connectState() {
    connect(modes_, &SegmentedControl::selectedChanged, this, [this](int mode) { setMode(mode); });
    connect(search_, &QLineEdit::textChanged, this, [this] { applyFilter(); });
    connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (syncing_) return;
        const QModelIndexList rows = list_->selectionModel()->selectedRows();
        // The choice is looked up in the whole list, not only the rows shown.
        const InstalledApp* app =
            rows.size() == 1 ? appWithID(state_.apps(), rows.front().data(AppListModel::IDRole).toString().toStdString())
                             : nullptr;
        state_.select(app ? std::optional<InstalledApp>(*app) : std::nullopt);
    });

    Bind::value(this, &state_, &AppState::appsChanged, [this] { applyFilter(); });
    Bind::value(this, &state_, &AppState::loadingAppsChanged, [this] { chooseOverlay(); });
    Bind::value(this, &state_, &AppState::progressChanged, [this] {
        loadingMessage_->setText(qs(state_.progress().message));
        refreshLeftovers();
    });
    Bind::value(this, &state_, &AppState::selectedAppChanged, [this] {
        if (!state_.selectedApp() || state_.selectedApp()->id != uninstalling_) uninstalling_.clear();
        showSelection();
        rebuildDetails();
    });
    connect(&state_, &AppState::leftoversChanged, this, [this] { refreshLeftovers(); });
}

int UninstallerView::mode() const { return modes_->selected(); }

void UninstallerView::setMode(int mode) {
    modes_->setSelected(mode);
    if (mode == 0) {
        modePages_->setCurrentWidget(appsPage_);
        return;
    }
    if (!orphans_) {
        orphans_ = new OrphansPane(context_);
        modePages_->addWidget(orphans_);
    }
    modePages_->setCurrentWidget(orphans_);
}

QString UninstallerView::query() const { return search_->text(); }

void UninstallerView::setQuery(const QString& query) { search_->setText(query); }

void UninstallerView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Lists the applications unless they are listed already or being listed.
    if (!event->spontaneous()) state_.loadApps();
}

void UninstallerView::applyFilter() {
    clear_->setVisible(!search_->text().isEmpty());
    syncing_ = true;
    model_->setApps(filtered(state_.apps(), search_->text().toStdString()));
    syncing_ = false;
    showSelection();
    chooseOverlay();
}

void UninstallerView::showSelection() {
    syncing_ = true;
    const auto& chosen = state_.selectedApp();
    const int row = chosen ? model_->row(chosen->id) : -1;
    if (row >= 0) {
        const QModelIndex index = model_->index(row);
        list_->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
        list_->scrollTo(index);
    } else {
        list_->selectionModel()->clearSelection();
    }
    syncing_ = false;
}

void UninstallerView::chooseOverlay() {
    const bool noApps = state_.apps().empty();
    loadingOverlay_->setVisible(noApps && state_.isLoadingApps());
    emptyOverlay_->setVisible(noApps && !state_.isLoadingApps());
}

QString UninstallerView::listOverlay() const {
    if (loadingOverlay_->isVisibleTo(this)) return QStringLiteral("loading");
    if (emptyOverlay_->isVisibleTo(this)) return QStringLiteral("empty");
    return {};
}

QString UninstallerView::detailsContent() const {
    return detailsContent_ ? QStringLiteral("details") : QStringLiteral("pick");
}

void UninstallerView::rebuildDetails() {
    if (detailsContent_) {
        detailsColumn_->removeWidget(detailsContent_);
        detailsContent_->hide();
        detailsContent_->deleteLater();
        detailsContent_ = nullptr;
    }
    leftoverCount_ = nullptr;
    searching_ = noLeftovers_ = leftoverCard_ = nullptr;
    leftoverBoxes_.clear();
    leftoverSection_ = nullptr;
    shownLeftovers_.clear();
    uninstall_ = nullptr;

    const auto& chosen = state_.selectedApp();
    pickApp_->setVisible(!chosen);
    if (!chosen) return;
    const InstalledApp app = *chosen;

    auto* content = new QWidget;
    auto* stack = new QVBoxLayout(content);
    stack->setContentsMargins(22, 22, 22, 22);
    stack->setSpacing(16);
    stack->addWidget(makeAppCard(app));
    if (app.isProtected) {
        stack->addWidget(new PermissionHint(
            qs(app.name) + QStringLiteral(" looks like a VPN, password manager, input method or cloud client. Removing "
                                          "its support files would break it \u2014 review carefully."),
            QStringLiteral("Open Settings"), nullptr, Theme::color(Theme::amber), "lock.shield.fill", services_));
    }
    stack->addWidget(makeLeftoverSection());
    stack->addLayout(makeBottomBar(app));
    stack->addStretch(1);

    detailsContent_ = Controls::scrollColumn(content);
    detailsContent_->setObjectName(QStringLiteral("details"));
    detailsColumn_->addWidget(detailsContent_, 1);
    detailsContent_->show();
    refreshLeftovers();
}

QWidget* UninstallerView::makeAppCard(const InstalledApp& app) {
    // Name, identifier, version and size, and a reveal button.
    auto* header = new QWidget;
    auto* headerRow = new QHBoxLayout(header);
    headerRow->setContentsMargins(0, 0, 0, 0);
    headerRow->setSpacing(14);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(3);
    auto* name = new TextLabel(qs(app.name), Fonts::text(19, QFont::DemiBold), Theme::primary());
    name->setObjectName(QStringLiteral("appName"));
    texts->addWidget(name);
    auto* bundleID = new TextLabel(qs(app.bundleID), Fonts::text(11), Theme::tertiary());
    bundleID->setObjectName(QStringLiteral("bundleID"));
    bundleID->setTextInteractionFlags(Qt::TextSelectableByMouse);
    texts->addWidget(bundleID);
    auto* pills = new QHBoxLayout;
    pills->setSpacing(8);
    auto* version = new Pill(QStringLiteral("v") + qs(app.version), Theme::color(Theme::accent), false, false);
    version->setObjectName(QStringLiteral("version"));
    pills->addWidget(version);
    auto* size = new Pill(ResultsText::size(app.size), rose(), true, false);
    size->setObjectName(QStringLiteral("size"));
    pills->addWidget(size);
    pills->addStretch(1);
    texts->addLayout(pills);
    headerRow->addLayout(texts, 1);
    auto* reveal = new IconButton("folder", 14, 28, Theme::secondary(), QStringLiteral("Reveal in Finder"));
    reveal->setObjectName(QStringLiteral("revealFolder"));
    connect(reveal, &QAbstractButton::clicked, this, [this, url = app.url] { services_.reveal(url); });
    headerRow->addWidget(reveal, 0, Qt::AlignVCenter);
    return Controls::card(header, 18, 16);
}

QWidget* UninstallerView::makeLeftoverSection() {
    // A heading with the counts, then one of three contents: the search under
    // way, nothing found, or the list (made by rebuildLeftoverRows).
    auto* section = new QWidget;
    leftoverSection_ = new QVBoxLayout(section);
    leftoverSection_->setContentsMargins(0, 0, 0, 0);
    leftoverSection_->setSpacing(10);
    auto* heading = new QHBoxLayout;
    heading->addWidget(new TextLabel(QStringLiteral("Application leftovers"), Fonts::text(13, QFont::DemiBold),
                                     Theme::primary()));
    heading->addStretch(1);
    leftoverCount_ = new TextLabel({}, Fonts::text(11), Theme::secondary());
    leftoverCount_->setObjectName(QStringLiteral("leftoverCount"));
    heading->addWidget(leftoverCount_);
    leftoverSection_->addLayout(heading);

    searching_ = new QWidget;
    auto* searchingRow = new QHBoxLayout(searching_);
    searchingRow->setContentsMargins(0, 12, 0, 12);
    searchingRow->setSpacing(8);
    searchingRow->addWidget(new BusyIndicator(BusyIndicator::Size::small));
    searchingRow->addWidget(
        new TextLabel(QStringLiteral("Searching your Library folders\u2026"), Fonts::text(11.5), Theme::secondary()));
    searchingRow->addStretch(1);
    leftoverSection_->addWidget(searching_);
    noLeftovers_ = Controls::inset(
        new TextLabel(QStringLiteral("No support files found for this app."), Fonts::text(11.5), Theme::secondary()), 0,
        8, 0, 8);
    leftoverSection_->addWidget(noLeftovers_);
    return section;
}

QHBoxLayout* UninstallerView::makeBottomBar(const InstalledApp& app) {
    // The bundle always goes, so Uninstall needs no ticked leftover.
    auto* bar = new QHBoxLayout;
    bar->setSpacing(10);
    bar->addStretch(1);
    bar->addWidget(
        new SecondaryButton(QStringLiteral("Reveal in Finder"), "folder", [this, url = app.url] { services_.reveal(url); }));
    uninstall_ = new PrimaryButton(QStringLiteral("Uninstall"), "trash.fill", rose(app.isProtected ? 0.8 : 1.0), true,
                                   [this] {
                                       const auto& chosen = state_.selectedApp();
                                       if (!chosen || chosen->id == uninstalling_) return;
                                       uninstalling_ = chosen->id;
                                       state_.uninstallSelected();
                                   });
    uninstall_->setObjectName(QStringLiteral("uninstall"));
    bar->addWidget(uninstall_);
    return bar;
}

void UninstallerView::refreshLeftovers() {
    if (!leftoverSection_) return;
    const auto& leftovers = state_.leftovers();
    leftoverCount_->setVisible(!leftovers.empty());
    leftoverCount_->setText(leftoverSummary(leftovers));
    // Any long action under way counts as the search still running.
    const bool searching = leftovers.empty() && state_.progress().isRunning;
    searching_->setVisible(searching);
    noLeftovers_->setVisible(leftovers.empty() && !searching);

    std::vector<std::filesystem::path> urls;
    for (const auto& l : leftovers) urls.push_back(l.url);
    if (urls != shownLeftovers_) rebuildLeftoverRows();
    for (Checkbox* box : leftoverBoxes()) box->refresh();
}

void UninstallerView::rebuildLeftoverRows() {
    if (leftoverCard_) {
        leftoverSection_->removeWidget(leftoverCard_);
        leftoverCard_->hide();
        leftoverCard_->deleteLater();
        leftoverCard_ = nullptr;
    }
    leftoverBoxes_.clear();
    const auto& leftovers = state_.leftovers();
    shownLeftovers_.clear();
    for (const auto& l : leftovers) shownLeftovers_.push_back(l.url);
    if (leftovers.empty()) return;

    auto* rows = new QWidget;
    auto* column = new QVBoxLayout(rows);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    for (size_t i = 0; i < leftovers.size(); ++i) {
        const Uninstaller::Leftover& leftover = leftovers[i];
        const std::filesystem::path url = leftover.url;
        const QString size = ResultsText::size(leftover.size);
        const QString fileName = qs(url.filename().string());
        auto* row = new QWidget;
        auto* line = new QHBoxLayout(row);
        line->setContentsMargins(14, 7, 14, 7);
        line->setSpacing(12);
        // The row's own tick is read back from the state by path; a tick
        // writes the first leftover with that path.
        auto* box = new Checkbox(
            {[this, url] {
                 for (const auto& l : state_.leftovers())
                     if (l.url == url) return l.isSelected;
                 return false;
             },
             [this, url](bool on) {
                 const auto& all = state_.leftovers();
                 for (size_t k = 0; k < all.size(); ++k)
                     if (all[k].url == url) {
                         state_.setLeftoverSelected(k, on);
                         return;
                     }
             }},
            rose(), false, false, fileName + QStringLiteral(", ") + size);
        box->setObjectName(QStringLiteral("leftoverBox"));
        leftoverBoxes_.push_back(box);
        line->addWidget(box);
        auto* texts = new QVBoxLayout;
        texts->setSpacing(1);
        auto* name = new TextLabel(fileName, Fonts::text(12), Theme::primary());
        name->setElide(Qt::ElideMiddle);
        texts->addWidget(name);
        auto* where = new TextLabel(qs(leftover.origin + " \u00B7 " + Locations::abbreviateTilde(url.string())),
                                    Fonts::text(10), Theme::tertiary());
        where->setObjectName(QStringLiteral("leftoverPlace"));
        where->setElide(Qt::ElideMiddle);
        texts->addWidget(where);
        // Why a leftover that is only partly the application's waits for the
        // user's tick.
        if (!leftover.reason.empty()) {
            auto* reason = new TextLabel(qs(leftover.reason), Fonts::text(10), Theme::color(Theme::amber));
            reason->setObjectName(QStringLiteral("leftoverReason"));
            reason->setElide(Qt::ElideRight);
            texts->addWidget(reason);
        }
        line->addLayout(texts, 1);
        auto* bytes = new TextLabel(size, Fonts::text(11.5), Theme::secondary());
        line->addWidget(bytes);
        column->addWidget(row);
        if (i + 1 < leftovers.size()) column->addWidget(new Divider(1.0, 40));
    }
    leftoverCard_ = Controls::card(rows, 0, 16);
    leftoverCard_->setObjectName(QStringLiteral("leftoverCard"));
    leftoverSection_->addWidget(leftoverCard_);
    leftoverCard_->show();
}

QString UninstallerView::leftoversContent() const {
    if (searching_ && searching_->isVisibleTo(detailsContent_)) return QStringLiteral("searching");
    if (noLeftovers_ && noLeftovers_->isVisibleTo(detailsContent_)) return QStringLiteral("none");
    return leftoverCard_ ? QStringLiteral("list") : QString();
}


