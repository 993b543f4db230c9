#include "app/controls/segmented_control.h"

#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

#include "app/controls/focus_ring.h"
#include "app/controls/fonts.h"
#include "app/controls/painters.h"
#include "app/controls/theme.h"

namespace {

constexpr double kTitleSize = 12;
constexpr double kInset = 2;
// A tab: its symbol over its title on a tile of at least this width.
constexpr double kTabSymbolSize = 20;
constexpr double kTabTitleSize = 11;
constexpr double kTabMinWidth = 64;
constexpr double kTabRadius = 6;

}  // namespace

// One segment: its title, on a raised white capsule when chosen; or one tab:
// its symbol over its title, in the accent colour on a faint tile when chosen.
SegmentButton::SegmentButton(const QString& title, std::optional<Symbol> symbol, SegmentedControl& owner, int index)
    : owner_(owner), index_(index), symbol_(symbol) {
    setText(title);
    setAccessibleName(title);
    setCheckable(true);
    const double radius = isTab() ? kTabRadius : 5;
    FocusRing::setShape(this, [this, radius] { return FocusRing::Shape{QRectF(rect()), radius}; });
    setSizePolicy(isTab() ? QSizePolicy::Fixed : QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QSize SegmentButton::sizeHint() const {
    if (isTab()) {
        QFontMetricsF title(Fonts::text(kTabTitleSize, QFont::Medium));
        const double width = std::max(kTabMinWidth, title.horizontalAdvance(text()) + 20);
        return {int(std::ceil(width)), int(std::ceil(kTabSymbolSize + 3 + title.height() + 10))};
    }
    QFontMetricsF m(Fonts::text(kTitleSize, QFont::Medium));
    return {int(std::ceil(m.horizontalAdvance(text()))) + 28, int(std::ceil(m.height())) + 8};
}

// The arrow keys choose the neighbouring segment and take the focus there, as
// in any group of radio buttons.
void SegmentButton::keyPressEvent(QKeyEvent* event) {
    int step = 0;
    if (event->key() == Qt::Key_Left || event->key() == Qt::Key_Up) step = -1;
    if (event->key() == Qt::Key_Right || event->key() == Qt::Key_Down) step = 1;
    QAbstractButton* neighbour = step ? owner_.segment(index_ + step) : nullptr;
    if (!neighbour) {
        if (step) event->accept();
        else QAbstractButton::keyPressEvent(event);
        return;
    }
    owner_.setSelected(index_ + step);
    neighbour->setFocus(step > 0 ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    event->accept();
}

void SegmentButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const bool chosen = owner_.selected() == index_;
    if (isTab())
        paintTab(p, chosen);
    else
        paintSegment(p, chosen);
}

void SegmentButton::paintTab(QPainter& p, bool chosen) {
    const QRectF r = QRectF(rect());
    if (chosen) {
        QPainterPath tile;
        tile.addRoundedRect(r, kTabRadius, kTabRadius);
        p.fillPath(tile, Theme::primary(0.07));
    }
    const QColor ink = isDown() ? Theme::secondary() : chosen ? Theme::color(Theme::accent) : Theme::primary(0.75);
    const QFont title = Fonts::text(kTabTitleSize, QFont::Medium);
    const double titleHeight = QFontMetricsF(title).height();
    const double top = (r.height() - (kTabSymbolSize + 3 + titleHeight)) / 2;
    Painters::symbol(p, QRectF(0, top, r.width(), kTabSymbolSize), *symbol_, kTabSymbolSize,
                     isDown() || chosen ? ink : Theme::secondary());
    p.setFont(title);
    p.setPen(ink);
    p.drawText(QRectF(0, top + kTabSymbolSize + 3, r.width(), titleHeight), Qt::AlignCenter, text());
}

void SegmentButton::paintSegment(QPainter& p, bool chosen) {
    if (chosen) {
        QPainterPath shape;
        const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        shape.addRoundedRect(r, 5, 5);
        p.fillPath(shape, QColor(255, 255, 255));
        p.setPen(QPen(Theme::primary(0.12), 0.8));
        p.drawPath(shape);
    }
    p.setFont(Fonts::text(kTitleSize, chosen ? QFont::DemiBold : QFont::Medium));
    p.setPen(isDown() ? Theme::secondary() : Theme::primary(chosen ? 0.9 : 0.75));
    p.drawText(rect(), Qt::AlignCenter, text());
}

SegmentedControl::SegmentedControl(const QStringList& titles, int selected, QWidget* parent)
    : QWidget(parent), selected_(selected), tabBar_(false) {
    setObjectName(QStringLiteral("SegmentedControl"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(int(kInset), int(kInset), int(kInset), int(kInset));
    row->setSpacing(2);
    for (const QString& title : titles) add(title, std::nullopt);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

SegmentedControl::SegmentedControl(const std::vector<Tab>& tabs, int selected, QWidget* parent)
    : QWidget(parent), selected_(selected), tabBar_(true) {
    setObjectName(QStringLiteral("TabBar"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(2);
    for (const Tab& tab : tabs) add(tab.title, tab.symbol);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void SegmentedControl::add(const QString& title, std::optional<Symbol> symbol) {
    const int i = count();
    auto* segment = new SegmentButton(title, symbol, *this, i);
    segment->setChecked(i == selected_);
    // As in a group of radio buttons, Tab stops at the chosen segment
    // alone; the arrows choose among them.
    segment->setFocusPolicy(i == selected_ ? Qt::TabFocus : Qt::NoFocus);
    connect(segment, &QAbstractButton::clicked, this, [this, i] { setSelected(i); });
    segments_.push_back(segment);
    layout()->addWidget(segment);
}

QAbstractButton* SegmentedControl::segment(int index) const {
    return index >= 0 && index < count() ? segments_[size_t(index)] : nullptr;
}

void SegmentedControl::setSelected(int index) {
    if (index < 0 || index >= count()) return;
    for (int i = 0; i < count(); ++i) {
        segments_[size_t(i)]->setChecked(i == index);
        segments_[size_t(i)]->setFocusPolicy(i == index ? Qt::TabFocus : Qt::NoFocus);
    }
    if (index == selected_) return;
    selected_ = index;
    for (auto* s : segments_) s->update();
    Q_EMIT selectedChanged(index);
}

QSize SegmentedControl::sizeHint() const {
    int w = 0, h = 0;
    for (auto* s : segments_) {
        w += s->sizeHint().width() + 2;
        h = std::max(h, s->sizeHint().height());
    }
    const int inset = tabBar_ ? 0 : int(2 * kInset);
    return {w + inset, h + inset};
}

void SegmentedControl::paintEvent(QPaintEvent*) {
    // A tab bar has no track: its chosen tab carries its own tile.
    if (tabBar_) return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath track;
    track.addRoundedRect(QRectF(rect()), 7, 7);
    p.fillPath(track, Theme::primary(0.07));
}
