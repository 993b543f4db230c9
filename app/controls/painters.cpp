#include "app/controls/painters.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

#include "app/controls/fonts.h"
#include "app/controls/theme.h"

namespace Painters {
namespace {

QPainterPath rounded(const QRectF& r, double radius) {
    QPainterPath path;
    path.addRoundedRect(r, radius, radius);
    return path;
}

}  // namespace

void card(QPainter& p, const QRectF& cardRect, double radius) { cardPiece(p, cardRect, radius, cardRect); }

void cardPiece(QPainter& p, const QRectF& cardRect, double radius, const QRectF& piece) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setClipRect(piece, Qt::IntersectClip);
    const QPainterPath shape = rounded(cardRect, radius);
    p.fillPath(shape, Theme::material());
    QLinearGradient sheen(cardRect.topLeft(), cardRect.bottomLeft());
    sheen.setColorAt(0, Theme::primary(0.045));
    sheen.setColorAt(1, Theme::primary(0.015));
    p.fillPath(shape, sheen);
    p.setPen(QPen(Theme::primary(0.07), 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(rounded(cardRect.adjusted(0.5, 0.5, -0.5, -0.5), std::max(0.0, radius - 0.5)));
    p.restore();
}

void symbol(QPainter& p, const QRectF& box, Symbol s, double size, const QColor& color, Qt::Alignment alignment) {
    p.save();
    p.setFont(Fonts::symbols(size));
    p.setPen(color);
    p.drawText(box, int(alignment), QString(QChar(s.glyph)));
    p.restore();
}

double tileRadius(double side) { return side * 0.3; }
double tileSymbolSize(double side) { return side * 0.48; }

QLinearGradient tintGradient(const QRectF& rect, const QColor& tint, double top, double bottom) {
    QLinearGradient g(rect.topLeft(), rect.bottomLeft());
    g.setColorAt(0, Theme::faded(tint, top));
    g.setColorAt(1, Theme::faded(tint, bottom));
    return g;
}

void symbolTile(QPainter& p, const QRectF& tile, Symbol s, const QColor& tint) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.fillPath(rounded(tile, tileRadius(tile.width())), tintGradient(tile, tint, 0.95, 0.65));
    symbol(p, tile, s, tileSymbolSize(tile.width()), Qt::white);
    p.restore();
}

double ringArcFraction(double progress) {
    double f = std::min(progress, 1.0);
    if (!(f >= 0.0001)) f = 0.0001;  // also for NaN
    return f;
}

void progressRing(QPainter& p, const QRectF& frame, double progress, double lineWidth, const RingGradient& colours,
                  const QColor& track) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(Qt::NoBrush);
    const double half = lineWidth / 2;
    p.setPen(QPen(track, lineWidth, Qt::SolidLine, Qt::FlatCap));
    p.drawEllipse(frame.adjusted(half, half, -half, -half));

    QLinearGradient gradient(frame.topLeft(), colours.run == RingGradient::Run::topToBottom ? frame.bottomLeft()
                                                                                             : frame.bottomRight());
    const size_t n = colours.colours.size();
    for (size_t i = 0; i < n; ++i) gradient.setColorAt(n == 1 ? 0.0 : double(i) / double(n - 1), colours.colours[i]);
    QPen arcPen(QBrush(gradient), lineWidth, Qt::SolidLine, Qt::RoundCap, Qt::MiterJoin);
    arcPen.setMiterLimit(10);
    p.setPen(arcPen);
    QPainterPath arc;
    arc.arcMoveTo(frame, 90);
    arc.arcTo(frame, 90, -360.0 * ringArcFraction(progress));
    p.drawPath(arc);
    p.restore();
}

QFont pillFont(bool compact) { return Fonts::text(compact ? 9.5 : 11, QFont::DemiBold); }

QSizeF pillSize(const QString& text, bool compact) {
    QFontMetricsF m(pillFont(compact));
    const double h = compact ? 6 : 9, v = compact ? 2.5 : 4;
    return {std::ceil(m.horizontalAdvance(text)) + 2 * h, std::ceil(m.height()) + 2 * v};
}

void pill(QPainter& p, const QRectF& rect, const QString& text, const QColor& tint, bool filled, bool compact) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    const double r = rect.height() / 2;
    const QColor fill = Theme::faded(tint, filled ? 0.16 : 0), border = Theme::faded(tint, filled ? 0 : 0.35);
    p.fillPath(rounded(rect, r), fill);
    p.setPen(QPen(border, 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(rounded(rect.adjusted(0.5, 0.5, -0.5, -0.5), r - 0.5));
    p.setFont(pillFont(compact));
    p.setPen(tint);
    p.drawText(rect, Qt::AlignCenter, text);
    p.restore();
}

void checkbox(QPainter& p, const QRectF& box, bool on, bool mixed, bool disabled, const QColor& tint) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    if (disabled) p.setOpacity(p.opacity() * 0.35);
    const QColor fill = on ? tint : mixed ? Theme::faded(tint, 0.55) : Theme::primary(0.05);
    p.fillPath(rounded(box, 5), fill);
    p.setPen(QPen(on || mixed ? tint : Theme::primary(0.18), 1.2));
    p.setBrush(Qt::NoBrush);
    p.drawPath(rounded(box.adjusted(0.6, 0.6, -0.6, -0.6), 4.4));
    if (on || mixed) symbol(p, box, on ? Symbol("checkmark") : Symbol("minus"), 9, Qt::white);
    p.restore();
}

void elidedText(QPainter& p, const QRectF& rect, const QString& text, const QFont& font, const QColor& color,
                Qt::Alignment alignment, Qt::TextElideMode mode) {
    p.save();
    p.setFont(font);
    p.setPen(color);
    QFontMetricsF m(font);
    p.drawText(rect, int(alignment) | Qt::TextSingleLine, m.elidedText(text, mode, rect.width()));
    p.restore();
}

}  // namespace Painters
