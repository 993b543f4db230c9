#include "app/controls/hairline.h"

#include <QPainter>

Hairline::Hairline(const QColor& colour, double leadingInset, double trailingInset, QWidget* parent)
    : QWidget(parent), colour_(colour), leading_(leadingInset), trailing_(trailingInset) {
    setFixedHeight(1);
}

void Hairline::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(QRectF(leading_, 0, width() - leading_ - trailing_, 1), colour_);
}
