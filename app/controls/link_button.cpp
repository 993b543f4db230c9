#include "app/controls/link_button.h"

#include <QFontMetricsF>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "app/controls/focus_ring.h"
#include "app/controls/fonts.h"
#include "app/controls/painters.h"
#include "app/controls/theme.h"

LinkButton::LinkButton(const QString& title, double size, QWidget* parent) : QAbstractButton(parent), size_(size) {
    // No accessible name of its own: it is the title shown now.
    setText(title);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    FocusRing::setShape(this, [this] { return FocusRing::Shape{QRectF(rect()), 3}; });
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QFont LinkButton::font() const { return Fonts::text(size_, weight_); }

QSize LinkButton::sizeHint() const {
    QFontMetricsF m(font());
    return {int(std::ceil(m.horizontalAdvance(text()))) + 2, int(std::ceil(m.height()))};
}

QSize LinkButton::minimumSizeHint() const {
    const QSize full = sizeHint();
    return {std::min(full.width(), 24), full.height()};
}

void LinkButton::setTint(const QColor& tint) {
    tint_ = tint;
    update();
}

QColor LinkButton::tint() const { return tint_.value_or(Theme::color(Theme::accent)); }

void LinkButton::setWeight(QFont::Weight weight) {
    weight_ = weight;
    updateGeometry();
    update();
}

void LinkButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QColor colour = tint();
    Painters::elidedText(p, QRectF(rect()), text(), font(), isDown() ? Theme::faded(colour, 0.7) : colour,
                         Qt::AlignLeft | Qt::AlignVCenter, Qt::ElideMiddle);
}
