#include "app/controls/icon_button.h"

#include <QPainter>
#include <cmath>

#include "app/controls/focus_ring.h"
#include "app/controls/painters.h"
#include "app/controls/theme.h"

IconButton::IconButton(Symbol symbol, double size, double side, const QColor& color, const QString& name,
                       QWidget* parent)
    : QAbstractButton(parent), symbol_(symbol), size_(size), side_(side), color_(color) {
    setName(name);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    FocusRing::setShape(this, [this] { return FocusRing::Shape{QRectF(rect()), 5}; });
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void IconButton::setSymbol(Symbol symbol) {
    symbol_ = symbol;
    update();
}

void IconButton::setColor(const QColor& color) {
    color_ = color;
    update();
}

void IconButton::setName(const QString& name) {
    setAccessibleName(name);
    setToolTip(name);
}

void IconButton::setRotation(double degrees) {
    rotation_ = degrees;
    update();
}

QSize IconButton::sizeHint() const {
    const int side = int(std::ceil(side_));
    return {side, side};
}

QColor IconButton::shownColor(const QColor& color, bool enabled, bool down) {
    if (!enabled) return Theme::faded(color, 0.4);
    if (down) return Theme::faded(color, 0.6);
    return color;
}

void IconButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF box(rect());
    if (rotation_ != 0) {
        p.translate(box.center());
        p.rotate(rotation_);
        p.translate(-box.center());
    }
    Painters::symbol(p, box, symbol_, size_, shownColor(color_, isEnabled(), isDown()));
}
