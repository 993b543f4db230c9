#include "app/controls/segmented_control.h"

#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

#include "app/controls/focus_ring.h"
#include "app/controls/fonts.h"
#include "app/controls/theme.h"

namespace {

constexpr double kTitleSize = 12;
constexpr double kInset = 2;

}  // namespace

// One segment: its title, on a raised white capsule when chosen.
SegmentButton::SegmentButton(const QString& title, SegmentedControl& owner, int index) : owner_(owner), index_(index) {
    setText(title);
    setAccessibleName(title);
    setCheckable(true);
    FocusRing::setShape(this, [this] { return FocusRing::Shape{QRectF(rect()), 5}; });
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QSize SegmentButton::sizeHint() const {
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
    : QWidget(parent), selected_(selected) {
    setObjectName(QStringLiteral("SegmentedControl"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(int(kInset), int(kInset), int(kInset), int(kInset));
    row->setSpacing(2);
    for (int i = 0; i < titles.size(); ++i) {
        auto* segment = new SegmentButton(titles[i], *this, i);
        segment->setChecked(i == selected_);
        // As in a group of radio buttons, Tab stops at the chosen segment
        // alone; the arrows choose among them.
        segment->setFocusPolicy(i == selected_ ? Qt::TabFocus : Qt::NoFocus);
        connect(segment, &QAbstractButton::clicked, this, [this, i] { setSelected(i); });
        segments_.push_back(segment);
        row->addWidget(segment);
    }
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
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
    return {w + int(2 * kInset), h + int(2 * kInset)};
}

void SegmentedControl::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath track;
    track.addRoundedRect(QRectF(rect()), 7, 7);
    p.fillPath(track, Theme::primary(0.07));
}
