#include "app/controls/pill.h"

#include <QPainter>
#include <cmath>

#include "app/controls/painters.h"

Pill::Pill(const QString& text, const QColor& tint, bool filled, bool compact, QWidget* parent)
    : QWidget(parent), text_(text), tint_(tint), filled_(filled), compact_(compact) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAccessibleName(text);
}

QSize Pill::sizeHint() const {
    QSizeF s = Painters::pillSize(text_, compact_);
    return {int(std::ceil(s.width())), int(std::ceil(s.height()))};
}

void Pill::paintEvent(QPaintEvent*) {
    QPainter p(this);
    QSizeF s = Painters::pillSize(text_, compact_);
    QRectF r(QPointF(0, (height() - s.height()) / 2), s);
    Painters::pill(p, r, text_, tint_, filled_, compact_);
}
