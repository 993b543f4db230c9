#include "app/controls/symbol_tile.h"

#include <QGraphicsDropShadowEffect>
#include <QPainter>
#include <cmath>

#include "app/controls/painters.h"
#include "app/controls/theme.h"

SymbolTile::SymbolTile(Symbol symbol, const QColor& tint, double size, QWidget* parent)
    : QWidget(parent), symbol_(symbol), tint_(tint), size_(size) {
    const int side = int(std::ceil(size));
    setFixedSize(side, side);
    auto* shadow = new QGraphicsDropShadowEffect(this);
    shadow->setColor(Theme::faded(tint, 0.28));
    shadow->setBlurRadius(8);
    shadow->setOffset(0, 2);
    setGraphicsEffect(shadow);
}

void SymbolTile::paintEvent(QPaintEvent*) {
    QPainter p(this);
    Painters::symbolTile(p, QRectF(0, 0, size_, size_), symbol_, tint_);
}
