#include "app/controls/toggle_switch.h"

#include <QFontMetricsF>
#include <cmath>
#include <QPainter>
#include <QSignalBlocker>

#include "app/controls/focus_ring.h"
#include "app/controls/theme.h"

namespace {
constexpr double kGap = 10;  // between the label and a compact switch
}  // namespace

ToggleSwitch::ToggleSwitch(const QString& label, const QFont& font, Layout layout, QWidget* parent)
    : QAbstractButton(parent), font_(font), layout_(layout) {
    setCheckable(true);
    setText(label);
    setAccessibleName(label);
    setFocusPolicy(Qt::StrongFocus);
    FocusRing::setShape(this, [this] {
        const QRectF track = trackRect();
        return FocusRing::Shape{track, track.height() / 2};
    });
    setSizePolicy(layout == Layout::form ? QSizePolicy::Expanding : QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void ToggleSwitch::setCheckedQuietly(bool on) {
    const QSignalBlocker quiet(this);
    setChecked(on);
}

QRectF ToggleSwitch::trackRect() const {
    const QSizeF track = trackSize();
    const double labelWidth = QFontMetricsF(font_).horizontalAdvance(text());
    const double left = layout_ == Layout::form ? width() - track.width() - 1 : labelWidth + kGap;
    return {left, (height() - track.height()) / 2, track.width(), track.height()};
}

QSizeF ToggleSwitch::trackSize() const { return layout_ == Layout::form ? QSizeF(32, 18) : QSizeF(26, 15); }

QSize ToggleSwitch::sizeHint() const {
    QFontMetricsF metrics(font_);
    const QSizeF track = trackSize();
    const double width = metrics.horizontalAdvance(text()) + kGap + track.width() + 2;
    return {int(std::ceil(width)), int(std::ceil(std::max(metrics.height(), track.height()) + 4))};
}

QSize ToggleSwitch::minimumSizeHint() const {
    const QSizeF track = trackSize();
    return {int(track.width()) + 40, sizeHint().height()};
}

bool ToggleSwitch::hitButton(const QPoint& pos) const { return rect().contains(pos); }

void ToggleSwitch::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const double fade = isEnabled() ? 1.0 : 0.45;
    const QSizeF track = trackSize();
    QFontMetricsF metrics(font_);
    const QRectF trackRect = this->trackRect();
    const double trackLeft = trackRect.left();

    p.setFont(font_);
    p.setPen(Theme::faded(Theme::primary(), fade));
    p.drawText(QRectF(0, 0, std::max(0.0, trackLeft - kGap), height()), Qt::AlignLeft | Qt::AlignVCenter,
               metrics.elidedText(text(), Qt::ElideRight, std::max(0.0, trackLeft - kGap)));

    const QColor on = Theme::color(Theme::accent);
    p.setPen(Qt::NoPen);
    p.setBrush(Theme::faded(isChecked() ? on : Theme::primary(0.16), fade));
    p.drawRoundedRect(trackRect, track.height() / 2, track.height() / 2);
    const double knob = track.height() - 4;
    const double knobLeft = isChecked() ? trackRect.right() - 2 - knob : trackRect.left() + 2;
    p.setBrush(Theme::faded(QColor(Qt::white), isEnabled() ? 1.0 : 0.8));
    p.setPen(QPen(Theme::primary(0.12), 0.5));
    p.drawEllipse(QRectF(knobLeft, trackRect.top() + 2, knob, knob));
}
