#include "screens/disk_map_view.h"

#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QStackedLayout>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <functional>

#include "app/controls/bind.h"
#include "app/controls/busy_indicator.h"
#include "app/controls/buttons.h"
#include "app/controls/empty_state_view.h"
#include "app/controls/fonts.h"
#include "app/controls/link_button.h"
#include "app/controls/module_header.h"
#include "app/controls/painters.h"
#include "app/controls/pill.h"
#include "app/controls/qstring.h"
#include "app/controls/symbol_view.h"
#include "app/controls/text_label.h"
#include "app/controls/theme.h"
#include "app/controls/thin_scroll_bar.h"
#include "engine/byte_format.h"
#include "platform/locations.h"

namespace {

// Band geometry.
constexpr double kSidePadding = 14;
constexpr double kTopPadding = 10;
constexpr double kIconColumn = 18;
constexpr double kSpacing = 12;
constexpr double kBarHeight = 5;
constexpr double kSizeColumn = 66;
constexpr double kMinimumBar = 3;

QFont nameFont() { return Fonts::text(12.5, QFont::Medium); }
QFont percentFont() { return Fonts::text(10.5); }
QFont sizeFont() { return Fonts::text(12, QFont::DemiBold); }

// Replaces a widget in a layout; the old one goes once the event that caused
// the change (a click on it, say) has ended.
void replace(QVBoxLayout* layout, QWidget*& slot, QWidget* with, int index) {
    if (slot) {
        delete layout->replaceWidget(slot, with);  // the old item is ours to delete
        slot->hide();
        slot->deleteLater();
    } else {
        layout->insertWidget(index, with);
    }
    slot = with;
    with->show();
}

}  // namespace

// ---- The screen -------------------------------------------------------------

DiskMapView::DiskMapView(const ScreenContext& context, QWidget* parent) : QWidget(parent), state_(context.state) {
    setObjectName(QStringLiteral("DiskMapView"));
    setMinimumSize(780, 560);
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);

    // Header: Stop while measuring, else the two measures.
    auto measureHome = [this] { state_.buildDiskMap(Locations::home()); };
    auto* trailing = new QWidget;
    auto* trailingRow = new QHBoxLayout(trailing);
    trailingRow->setContentsMargins(0, 0, 0, 0);
    trailingRow->setSpacing(9);
    stop_ = new SecondaryButton(QStringLiteral("Stop"), "stop.fill", [this] { state_.cancelScan(); });
    trailingRow->addWidget(stop_);
    measureButtons_ = new QWidget;
    auto* buttons = new QHBoxLayout(measureButtons_);
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->setSpacing(9);
    buttons->addWidget(new SecondaryButton(QStringLiteral("Home Folder"), "house", measureHome));
    buttons->addWidget(new SecondaryButton(QStringLiteral("Whole Disk"), "internaldrive",
                                           [this] { state_.buildDiskMap(Locations::system("/")); }));
    trailingRow->addWidget(measureButtons_);
    auto* header = new QWidget;
    auto* headerBox = new QVBoxLayout(header);
    headerBox->setContentsMargins(22, 18, 22, 12);
    headerBox->addWidget(new ModuleHeader(ModuleID::diskMap, trailing));
    stack->addWidget(header);

    auto* body = new QWidget;
    body_ = new QStackedLayout(body);
    empty_ = new EmptyStateView(
        "chart.pie.fill", QStringLiteral("Analyse your disk"),
        QStringLiteral("Map out what is really using space, folder by folder, and drill into the biggest offenders."),
        Theme::color(Theme::teal), EmptyStateView::Action{QStringLiteral("Scan Home Folder"), measureHome});
    body_->addWidget(empty_);

    // The map: the crumb row, then the folder's bands in a scroll area.
    map_ = new QWidget;
    mapStack_ = new QVBoxLayout(map_);
    mapStack_->setContentsMargins(0, 0, 0, 0);
    mapStack_->setSpacing(0);
    auto* scroll = new QScrollArea;
    scroll->setObjectName(QStringLiteral("bands"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBar(new ThinScrollBar(Qt::Vertical));
    scroll->viewport()->setAutoFillBackground(false);
    auto* list = new QWidget;
    list->setAutoFillBackground(false);
    bandColumn_ = new QVBoxLayout(list);
    bandColumn_->setContentsMargins(22, 0, 22, 24);
    bandColumn_->setSpacing(8);
    progressRow_ = new QWidget;
    progressRow_->setObjectName(QStringLiteral("progress"));
    auto* progress = new QHBoxLayout(progressRow_);
    progress->setContentsMargins(0, 10, 0, 10);
    progress->setSpacing(9);
    progress->addWidget(new BusyIndicator(BusyIndicator::Size::small));
    progressMessage_ = new TextLabel(QString(), Fonts::text(11.5), Theme::secondary());
    progressMessage_->setObjectName(QStringLiteral("progressMessage"));
    progressMessage_->setElide(Qt::ElideMiddle);
    progress->addWidget(progressMessage_, 1);
    bandColumn_->addWidget(progressRow_);
    bandColumn_->addStretch(1);
    scroll->setWidget(list);
    mapStack_->addWidget(scroll, 1);
    body_->addWidget(map_);
    stack->addWidget(body, 1);

    Bind::value(this, &state_, &AppState::diskMapChanged, [this] { showMap(); });
    Bind::value(this, &state_, &AppState::progressChanged, [this] { showMeasuring(); });
    connect(&state_, &AppState::activeScanChanged, this, [this] { showMeasuring(); });
}

SpaceNodeRef DiskMapView::current() const {
    const auto& path = state_.spacePath();
    return path.empty() ? nullptr : path.back();
}

void DiskMapView::showMeasuring() {
    const bool measuring = state_.isScanning(ModuleID::diskMap);
    stop_->setVisible(measuring);
    measureButtons_->setVisible(!measuring);
    progressRow_->setVisible(measuring);
    progressMessage_->setText(qs(state_.progress().message));
}

void DiskMapView::showMap() {
    const SpaceNodeRef folder = current();
    if (!folder) {
        body_->setCurrentWidget(empty_);
        return;
    }

    // Crumbs: every node of the path, a chevron before all but the first; a
    // crumb cuts the path back to itself. Then the folder's size.
    auto* crumbs = new QWidget;
    crumbs->setObjectName(QStringLiteral("crumbs"));
    auto* crumbRow = new QHBoxLayout(crumbs);
    crumbRow->setContentsMargins(22, 0, 22, 10);
    crumbRow->setSpacing(6);
    const std::vector<SpaceNodeRef> path = state_.spacePath();
    for (size_t i = 0; i < path.size(); ++i) {
        if (i > 0) crumbRow->addWidget(new SymbolView("chevron.right", 8, Theme::tertiary()), 0, Qt::AlignVCenter);
        // Each crumb is the node's name as plain text, the last one stronger.
        const bool last = i + 1 == path.size();
        auto* crumb = new LinkButton(qs(path[i]->name), 11.5);
        crumb->setTint(last ? Theme::primary() : Theme::secondary());
        crumb->setWeight(last ? QFont::DemiBold : QFont::Normal);
        crumb->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
        crumb->setObjectName(QStringLiteral("crumb"));
        connect(crumb, &QAbstractButton::clicked, this, [this, i] {
            std::vector<SpaceNodeRef> cut = state_.spacePath();
            if (cut.size() > i + 1) cut.resize(i + 1);
            state_.setSpacePath(std::move(cut));
        });
        crumbRow->addWidget(crumb, 0, Qt::AlignVCenter);
    }
    crumbRow->addStretch(1);
    auto* size = new Pill(qs(ByteFormat::string(folder->size)), Theme::color(Theme::teal), true, false);
    size->setObjectName(QStringLiteral("size"));
    crumbRow->addWidget(size, 0, Qt::AlignVCenter);
    replace(mapStack_, crumbs_, crumbs, 0);

    // The folder's members as bands, or a line saying there is nothing.
    auto* bands = new QWidget;
    auto* bandStack = new QVBoxLayout(bands);
    bandStack->setContentsMargins(0, 0, 0, 0);
    bandStack->setSpacing(8);
    const bool members = folder->children && !folder->children->empty();
    if (members) {
        for (const SpaceNodeRef& child : *folder->children) {
            auto* band = new NodeBand(folder, child);
            connect(band, &QAbstractButton::clicked, this, [this, child] { state_.drill(child); });
            bandStack->addWidget(band);
        }
    } else {
        auto* nothing = new TextLabel(QStringLiteral("Nothing measurable inside."), Fonts::text(12), Theme::secondary());
        nothing->setObjectName(QStringLiteral("nothing"));
        nothing->setContentsMargins(0, 30, 0, 30);
        bandStack->addWidget(nothing);
    }
    replace(bandColumn_, bands_, bands, 1);
    body_->setCurrentWidget(map_);
}

// ---- One band ---------------------------------------------------------------

NodeBand::NodeBand(SpaceNodeRef folder, SpaceNodeRef node, QWidget* parent)
    : QAbstractButton(parent), folder_(std::move(folder)), node_(std::move(node)) {
    setObjectName(QStringLiteral("NodeBand"));
    setText(qs(node_->name));
    setAccessibleName(qs(node_->name));
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

double NodeBand::share(const SpaceNode& folder, const SpaceNode& node) {
    if (folder.size < 1) return 0;
    return double(node.size) / double(folder.size);
}

QString NodeBand::percentage(double share) {
    return QString::number(static_cast<long long>(std::trunc(share * 100))) + QLatin1Char('%');
}

double NodeBand::barWidth(double available, double share) {
    return std::min(available, std::max(available * share, kMinimumBar));
}

QColor NodeBand::tint(const std::string& name) {
    static const Theme::Colour palette[] = {Theme::accent, Theme::violet, Theme::teal,
                                            Theme::amber,  Theme::rose,   Theme::green};
    // An unsigned hash has no negative values to take the magnitude of.
    const uint64_t hash = std::hash<std::string>{}(name);
    return Theme::color(palette[hash % 6]);
}

bool NodeBand::opens(const SpaceNode& node) { return node.isDirectory && node.children && !node.children->empty(); }

QSize NodeBand::sizeHint() const {
    const double line = QFontMetricsF(nameFont()).height();
    return {400, int(std::ceil(kTopPadding * 2 + line + 4 + kBarHeight))};
}

void NodeBand::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF whole(rect());
    Painters::card(p, whole, 12);
    if (isDown()) {
        QPainterPath shape;
        shape.addRoundedRect(whole, 12, 12);
        p.fillPath(shape, Theme::primary(0.04));
    }

    const QColor colour = tint(node_->name);
    const bool folder = opens(*node_);
    const double line = QFontMetricsF(nameFont()).height();
    const double lineTop = kTopPadding;
    const double contentHeight = line + 4 + kBarHeight;
    const double centreY = kTopPadding + contentHeight / 2;

    // Icon column.
    Painters::symbol(p, QRectF(kSidePadding, centreY - 9, kIconColumn, 18), folder ? Symbol("folder.fill") : Symbol("doc.fill"),
                     12, colour);

    // The chevron at the far end, when the band opens.
    double right = whole.width() - kSidePadding;
    if (folder) {
        Painters::symbol(p, QRectF(right - 10, centreY - 8, 10, 16), "chevron.right", 9, Theme::tertiary());
        right -= 10 + kSpacing;
    }
    const double left = kSidePadding + kIconColumn + kSpacing;
    const double available = std::max(0.0, right - left);

    // Line 1: name, then the percentage and the size at the end.
    const double shareOfFolder = share(*folder_, *node_);
    const QString sizeText = qs(ByteFormat::string(node_->size));
    const QString percentText = percentage(shareOfFolder);
    const double sizeWidth = std::max(kSizeColumn, QFontMetricsF(sizeFont()).horizontalAdvance(sizeText));
    const double percentWidth = QFontMetricsF(percentFont()).horizontalAdvance(percentText);
    const QRectF sizeRect(right - sizeWidth, lineTop, sizeWidth, line);
    const QRectF percentRect(sizeRect.left() - 8 - percentWidth, lineTop, percentWidth, line);
    const QRectF nameRect(left, lineTop, std::max(0.0, percentRect.left() - 8 - left), line);
    Painters::elidedText(p, nameRect, qs(node_->name), nameFont(), Theme::primary(), Qt::AlignLeft | Qt::AlignVCenter,
                         Qt::ElideMiddle);
    Painters::elidedText(p, percentRect, percentText, percentFont(), Theme::tertiary(),
                         Qt::AlignRight | Qt::AlignVCenter, Qt::ElideNone);
    Painters::elidedText(p, sizeRect, sizeText, sizeFont(), Theme::primary(), Qt::AlignRight | Qt::AlignVCenter,
                         Qt::ElideNone);

    // Line 2: the bar on its track.
    const QRectF track(left, lineTop + line + 4, available, kBarHeight);
    p.setPen(Qt::NoPen);
    p.setBrush(Theme::primary(0.06));
    p.drawRoundedRect(track, kBarHeight / 2, kBarHeight / 2);
    const QRectF bar(track.left(), track.top(), barWidth(available, shareOfFolder), kBarHeight);
    QLinearGradient fill(bar.topLeft(), bar.topRight());
    fill.setColorAt(0, Theme::faded(colour, 0.9));
    fill.setColorAt(1, Theme::faded(colour, 0.55));
    p.setBrush(fill);
    p.drawRoundedRect(bar, kBarHeight / 2, kBarHeight / 2);
}
