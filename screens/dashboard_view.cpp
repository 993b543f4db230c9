#include "screens/dashboard_view.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLocale>
#include <QVBoxLayout>

#include "app/controls/focus_order.h"
#include "app/controls/bind.h"
#include "app/controls/buttons.h"
#include "app/controls/card_background.h"
#include "app/controls/empty_state_view.h"
#include "app/controls/fonts.h"
#include "app/controls/list_column.h"
#include "app/controls/numeric_label.h"
#include "app/controls/progress_ring.h"
#include "app/controls/results_list.h"
#include "app/controls/results_model.h"
#include "app/controls/stat_card.h"
#include "app/controls/text_label.h"
#include "app/controls/theme.h"
#include "engine/byte_format.h"
#include "screens/review_sheet.h"
#include "screens/scan_screen.h"

namespace {

QString compact(int64_t bytes) { return QString::fromStdString(ByteFormat::compact(bytes)); }

struct Stat {
    const char* title;
    ModuleID module;
    const char* suffix;
    const Theme::Colour& tint;
    Symbol icon;
};

const std::array<Stat, 4> kStats = {{
    {"System junk found", ModuleID::systemJunk, " items", Theme::violet, "trash.slash.fill"},
    {"Trash", ModuleID::trashBins, " items", Theme::rose, "trash.fill"},
    {"Mail", ModuleID::mailAttachments, " attachments", Theme::teal, "paperclip"},
    {"Privacy", ModuleID::privacy, " traces", Theme::accent, "hand.raised.fill"},
}};

}  // namespace

bool DashboardView::smartScanning(const AppState& state) { return state.isScanning(ModuleID::smartScan); }

std::vector<ScanItem> DashboardView::reviewItems(const ScanReport& report) {
    std::vector<ScanItem> items;
    for (const ScanCategory& category : report.categories)
        for (const ScanItem& item : category.items)
            if (item.safety == Safety::review) items.push_back(item);
    return items;
}

int64_t DashboardView::reviewSize(const ScanReport& report) {
    int64_t sum = 0;
    for (const ScanCategory& category : report.categories)
        for (const ScanItem& item : category.items)
            if (item.safety == Safety::review) sum += item.size;
    return sum;
}

double DashboardView::ringFraction(const AppState& state) {
    if (smartScanning(state)) return state.progress().fraction;
    const std::optional<FS::VolumeStats>& volume = state.volume();
    if (!volume || volume->total < 1) return 0;
    return double(std::max<int64_t>(volume->total - volume->free, 0)) / double(volume->total);
}

QString DashboardView::heroMessage(const AppState& state) {
    if (smartScanning(state)) return QString::fromStdString(state.progress().message);
    const ScanReport& report = state.smartScan();
    if (report.categories.empty())
        return QStringLiteral("Run a scan and Vessiltane checks caches, logs, Trash, Mail, privacy traces and large "
                              "files in one pass.");
    // The user's own digit grouping for the counts of items; none for the count of categories.
    const AppState::ReportTotals& totals = state.totals(ModuleID::smartScan);
    const QLocale locale;
    QString message = QStringLiteral("Found ") + locale.toString(qlonglong(totals.items)) +
                      QStringLiteral(" items across ") + QString::number(report.categories.size()) +
                      QStringLiteral(" categories.");
    if (totals.reviewBytes >= 1) {
        message += QStringLiteral(" ") + locale.toString(qlonglong(totals.reviewItems)) +
                   QStringLiteral(" items need your review before they can be cleaned.");
    } else {
        message += QStringLiteral(" Nothing is removed until you press Clean.");
    }
    return message;
}

QString DashboardView::headline(const AppState& state) {
    const int64_t bytes = state.totals(ModuleID::smartScan).selectedBytes;
    if (bytes >= 1) return ResultsText::size(bytes) + QStringLiteral(" ready to reclaim");
    return QStringLiteral("Your Mac at a glance");
}

DashboardView::DashboardView(const ScreenContext& context, QWidget* parent)
    : QWidget(parent), context_(context), state_(context.state) {
    setObjectName(QStringLiteral("DashboardView"));
    setWindowTitle(QStringLiteral("Smart Scan"));
    setMinimumSize(780, 560);
    // One scrolling column: the hero, then the figures and the results, or
    // the scanning placeholder, or the first-run card. The blocks above the
    // results scroll away first, then the results' own rows.
    auto* lead = new QWidget;
    lead->setObjectName(QStringLiteral("dashboardLead"));
    column_ = new QVBoxLayout(lead);
    column_->setContentsMargins(22, 20, 22, 20);
    column_->setSpacing(18);

    // The hero: the ring, then the headline, the message and the buttons.
    auto* hero = new CardBackground(24, 16);
    hero->setObjectName(QStringLiteral("hero"));
    auto* heroRow = new QHBoxLayout(hero);
    heroRow->setContentsMargins(24, 24, 24, 24);
    heroRow->setSpacing(26);
    heroRow->addWidget(makeRing(), 0, Qt::AlignVCenter);
    heroRow->addLayout(makeHeroTexts(), 1);
    column_->addWidget(hero);
    column_->addWidget(makeStats());

    placeholder_ = new ScanningPlaceholder(state_);
    placeholderBox_ = placeholder_;
    column_->addWidget(placeholderBox_);
    auto* empty = new EmptyStateView(
        "sparkles", QStringLiteral("Nothing scanned yet"),
        QStringLiteral("Vessiltane looks at the places junk actually collects \u2014 caches, logs, Trash, Mail "
                       "attachments and browser traces \u2014 and shows you the evidence before removing anything."),
        Theme::color(Theme::accent), EmptyStateView::Action{QStringLiteral("Run Smart Scan"), [this] { state_.smartScanAll(); }});
    firstRun_ = Controls::card(empty, 0, 16);
    firstRun_->setObjectName(QStringLiteral("firstRun"));
    column_->addWidget(firstRun_);

    // The list pads itself at the sides and below, in line with the blocks
    // above it.
    results_ = new ResultsList(ModuleID::smartScan);
    results_->bind(state_);
    scroller_ = new ListColumn(lead, results_);
    auto* whole = new QVBoxLayout(this);
    whole->setContentsMargins(0, 0, 0, 0);
    whole->addWidget(scroller_);

    connectState();
    refresh();
}

QWidget* DashboardView::makeRing() {
    auto* ringBlock = new QWidget;
    auto* ringGrid = new QGridLayout(ringBlock);
    ringGrid->setContentsMargins(0, 0, 0, 0);
    ring_ = new ProgressRing(132, 0, 12,
                             Painters::RingGradient{{Theme::color(Theme::accentSoft), Theme::color(Theme::accent),
                                                     Theme::color(Theme::violet)},
                                                    Painters::RingGradient::Run::topLeadingToBottomTrailing},
                             Theme::primary(0.08));
    ringGrid->addWidget(ring_, 0, 0, Qt::AlignCenter);
    auto* centre = new QWidget;
    auto* centreColumn = new QVBoxLayout(centre);
    centreColumn->setContentsMargins(0, 0, 0, 0);
    centreColumn->setSpacing(1);
    ringValue_ = new TextLabel(QString(), Fonts::text(24, QFont::DemiBold), Theme::primary());
    ringValue_->setObjectName(QStringLiteral("ringValue"));
    ringValue_->setAlignment(Qt::AlignCenter);
    ringCaption_ = new TextLabel(QString(), Fonts::text(10.5), Theme::secondary());
    ringCaption_->setObjectName(QStringLiteral("ringCaption"));
    ringCaption_->setAlignment(Qt::AlignCenter);
    centreColumn->addWidget(ringValue_, 0, Qt::AlignHCenter);
    centreColumn->addWidget(ringCaption_, 0, Qt::AlignHCenter);
    ringGrid->addWidget(centre, 0, 0, Qt::AlignCenter);
    return ringBlock;
}

QVBoxLayout* DashboardView::makeHeroTexts() {
    auto* texts = new QVBoxLayout;
    texts->setSpacing(9);
    headline_ = new NumericLabel(QString(), Fonts::text(24, QFont::DemiBold), Theme::primary());
    headline_->setObjectName(QStringLiteral("headline"));
    texts->addWidget(headline_);
    message_ = new TextLabel(QString(), Fonts::text(12.5), Theme::secondary());
    message_->setObjectName(QStringLiteral("heroMessage"));
    message_->setWordWrap(true);
    message_->setMaximumWidth(460);
    texts->addWidget(message_);
    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(0, 2, 0, 0);
    buttons->setSpacing(9);
    stop_ = new SecondaryButton(QStringLiteral("Stop"), "stop.fill", [this] { state_.cancelScan(); });
    stop_->setObjectName(QStringLiteral("stop"));
    scan_ = new PrimaryButton(QStringLiteral("Scan"), "sparkles", Theme::color(Theme::accent), true,
                              [this] { state_.smartScanAll(); });
    scan_->setObjectName(QStringLiteral("scan"));
    review_ = new SecondaryButton(QStringLiteral("Review"), "checklist", [this] { showReview(); });
    review_->setObjectName(QStringLiteral("review"));
    clean_ = new PrimaryButton(QStringLiteral("Clean"), "trash.fill", Theme::color(Theme::violet), true,
                               [this] { state_.clean(state_.smartScan(), ModuleID::smartScan, false); });
    clean_->setObjectName(QStringLiteral("clean"));
    for (QWidget* button : {static_cast<QWidget*>(stop_), static_cast<QWidget*>(scan_),
                            static_cast<QWidget*>(review_), static_cast<QWidget*>(clean_)})
        buttons->addWidget(button);
    buttons->addStretch(1);
    texts->addLayout(buttons);
    return texts;
}

QWidget* DashboardView::makeStats() {
    statsRow_ = new QWidget;
    statsRow_->setObjectName(QStringLiteral("stats"));
    auto* statsLayout = new QHBoxLayout(statsRow_);
    statsLayout->setContentsMargins(0, 0, 0, 0);
    statsLayout->setSpacing(12);
    for (size_t i = 0; i < kStats.size(); ++i) {
        stats_[i] = new StatCard(QString::fromUtf8(kStats[i].title), QString(), QString(), Theme::color(kStats[i].tint),
                                 kStats[i].icon);
        statsLayout->addWidget(stats_[i], 1, Qt::AlignVCenter);
    }
    return statsRow_;
}

void DashboardView::connectState() {
    connect(&state_, &AppState::progressChanged, this, &DashboardView::refresh);
    connect(&state_, &AppState::activeScanChanged, this, &DashboardView::refresh);
    connect(&state_, &AppState::volumeChanged, this, &DashboardView::refresh);
    connect(&state_, &AppState::reportChanged, this, [this](ModuleID) { refresh(); });
    connect(&state_, &AppState::selectionChanged, this, [this](ModuleID m, int, int) {
        if (m == ModuleID::smartScan) refresh();
    });
}

QString DashboardView::ringValue() const { return ringValue_->text(); }
QString DashboardView::ringCaption() const { return ringCaption_->text(); }
QString DashboardView::headlineText() const { return headline_->text(); }
QString DashboardView::messageText() const { return message_->text(); }

void DashboardView::showReview() {
    if (sheet_) return;
    sheet_ = new ReviewSheet(state_, ModuleID::smartScan);
    context_.presentSheet(sheet_);
}

void DashboardView::refresh() {
    const bool scanning = smartScanning(state_);
    const ScanReport& report = state_.smartScan();

    ring_->setProgress(ringFraction(state_));
    ring_->setAccessibleName(scanning ? QStringLiteral("Scan progress") : QStringLiteral("Disk used"));
    if (scanning) {
        ringValue_->setFont(Fonts::text(25, QFont::DemiBold));
        ringValue_->setText(QString::number(int(state_.progress().fraction * 100)) + QStringLiteral("%"));
        ringCaption_->setText(QStringLiteral("scanning"));
    } else {
        ringValue_->setFont(Fonts::text(24, QFont::DemiBold));
        ringValue_->setText(compact(state_.volume() ? state_.volume()->free : 0));
        ringCaption_->setText(QStringLiteral("available"));
    }
    headline_->setValue(headline(state_));
    message_->setText(heroMessage(state_));

    const AppState::ReportTotals& totals = state_.totals(ModuleID::smartScan);
    const int64_t selected = totals.selectedBytes;
    const int64_t review = totals.reviewBytes;
    // The hero's buttons keep the focus through a scan (Scan to Stop and back).
    FocusOrder::KeepIn keep(stop_->parentWidget());
    stop_->setVisible(scanning);
    scan_->setVisible(!scanning);
    review_->setVisible(!scanning && review >= 1);
    review_->setText(QStringLiteral("Review ") + compact(review));
    clean_->setVisible(!scanning && selected >= 1);
    clean_->setText(QStringLiteral("Clean ") + compact(selected));

    const bool listed = !report.categories.empty();
    for (size_t i = 0; i < kStats.size(); ++i) {
        const AppState::ReportTotals& module = state_.totals(kStats[i].module);
        stats_[i]->setValue(ResultsText::size(module.bytes));
        stats_[i]->setCaption(QString::number(module.items) + QString::fromUtf8(kStats[i].suffix));
    }
    statsRow_->setVisible(listed);
    results_->setVisible(listed);
    // The results follow the figures at the column's spacing and end with
    // their own inset; without them the column ends with its padding.
    column_->setContentsMargins(22, 20, 22, listed ? 18 : 20);
    placeholderBox_->setVisible(!listed && state_.activeScan() == ModuleID::smartScan);
    firstRun_->setVisible(!listed && state_.activeScan() != ModuleID::smartScan);
}
