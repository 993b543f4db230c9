#include "app/controls/symbol_view.h"

#include <QFontMetricsF>
#include <QPainter>
#include <cmath>

#include "app/controls/fonts.h"
#include "app/controls/painters.h"

SymbolView::SymbolView(Symbol symbol, double size, const QColor& color, double boxWidth, QWidget* parent)
    : QWidget(parent), symbol_(symbol), size_(size), color_(color) {
    QFontMetricsF m(Fonts::symbols(size));
    const double w = boxWidth > 0 ? boxWidth : m.horizontalAdvance(QChar(symbol.glyph));
    setFixedSize(int(std::ceil(w)), int(std::ceil(m.height())));
}

void SymbolView::setSymbol(Symbol symbol, const QColor& color) {
    symbol_ = symbol;
    color_ = color;
    update();
}

void SymbolView::setRotation(double degrees) {
    rotation_ = degrees;
    update();
}

void SymbolView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (rotation_ != 0) {
        p.translate(width() / 2.0, height() / 2.0);
        p.rotate(rotation_);
        p.translate(-width() / 2.0, -height() / 2.0);
    }
    Painters::symbol(p, QRectF(rect()), symbol_, size_, color_);
}
