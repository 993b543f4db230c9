#include "app/controls/divider.h"

#include <QPainter>

#include "app/controls/theme.h"

Divider::Divider(double opacity, int leadingInset, QWidget* parent)
    : QWidget(parent), opacity_(opacity), inset_(leadingInset) {
    setObjectName(QStringLiteral("Divider"));
    setFixedHeight(1);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void Divider::paintEvent(QPaintEvent*) {
    QPainter p(this);
    // The platform's separator colour, faded to the divider's opacity.
    p.fillRect(QRectF(inset_, 0, std::max(0, width() - inset_), 1), Theme::primary(0.1 * opacity_));
}
