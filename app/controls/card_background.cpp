#include "app/controls/card_background.h"

#include <QPainter>
#include <QVBoxLayout>
#include <cmath>

#include "app/controls/painters.h"

CardBackground::CardBackground(double padding, double radius, QWidget* parent)
    : QWidget(parent), padding_(padding), radius_(radius) {
}

void CardBackground::setContent(QWidget* content) {
    auto* box = qobject_cast<QVBoxLayout*>(layout());
    if (!box) {
        box = new QVBoxLayout(this);
        const int m = int(std::lround(padding_));
        box->setContentsMargins(m, m, m, m);
        box->setSpacing(0);
    }
    box->addWidget(content);
}

void CardBackground::paintEvent(QPaintEvent*) {
    QPainter p(this);
    Painters::card(p, QRectF(rect()), radius_);
}

namespace Controls {

CardBackground* card(QWidget* content, double padding, double radius, QWidget* parent) {
    auto* c = new CardBackground(padding, radius, parent);
    c->setContent(content);
    return c;
}

}  // namespace Controls
