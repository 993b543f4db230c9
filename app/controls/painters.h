#pragma once
// The drawing of the shared controls, as functions of a painter and a
// rectangle, so the stand-alone controls and the result list's delegate draw
// the very same card, checkbox, ring, pill and symbols.
#include <QColor>
#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <vector>

#include "app/controls/symbols.h"

namespace Painters {

// The card background: a rounded rectangle of the given radius with the
// material fill, a faint top-to-bottom sheen and a hairline inside its edge.
// A card drawn in pieces (one list row at a time) passes the whole card's
// rectangle and the piece to draw; the sheen runs over the whole card.
void card(QPainter& p, const QRectF& cardRect, double radius);
void cardPiece(QPainter& p, const QRectF& cardRect, double radius, const QRectF& piece);

// A symbol of the given size (in device-independent pixels, as a text size)
// drawn in a box.
void symbol(QPainter& p, const QRectF& box, Symbol s, double size, const QColor& color,
            Qt::Alignment alignment = Qt::AlignCenter);

// A tint fading from one opacity at the top of a rectangle to another at its
// bottom.
QLinearGradient tintGradient(const QRectF& rect, const QColor& tint, double top, double bottom);

// A symbol tile: a rounded square (corner radius 0.3 of its side) filled with
// the tint from 0.95 at the top to 0.65 at the bottom, the symbol centred on it
// in white at 0.48 of the side. Its shadow is the caller's.
void symbolTile(QPainter& p, const QRectF& tile, Symbol s, const QColor& tint);
double tileRadius(double side);
double tileSymbolSize(double side);

// The colours of a ring's arc, spread evenly along a line across the ring's
// frame: from its top edge to its bottom edge, or from its top-leading
// corner to its bottom-trailing one.
struct RingGradient {
    enum class Run { topToBottom, topLeadingToBottomTrailing };
    std::vector<QColor> colours;
    Run run = Run::topToBottom;
};

// The progress ring in a square frame: the track stroked inside the frame's
// circle, the arc centred on that circle (so it reaches lineWidth / 2 outside
// the frame), starting at the top and running clockwise. The progress is
// clamped to at most 1 and raised to at least 0.0001, so a ring never shows
// nothing.
void progressRing(QPainter& p, const QRectF& frame, double progress, double lineWidth, const RingGradient& gradient,
                  const QColor& track);
double ringArcFraction(double progress);

// A pill: text on a capsule, tinted fill when filled, tinted border otherwise.
QFont pillFont(bool compact);
QSizeF pillSize(const QString& text, bool compact);
void pill(QPainter& p, const QRectF& rect, const QString& text, const QColor& tint, bool filled, bool compact);

// The 16 x 16 checkbox: filled with the tint when on, half-tinted when mixed,
// faint otherwise; a checkmark when on, a minus when mixed, no glyph when off;
// the whole box faded when disabled.
inline constexpr double kCheckboxSide = 16;
void checkbox(QPainter& p, const QRectF& box, bool on, bool mixed, bool disabled, const QColor& tint);

// Text in a rectangle, cut in the middle (or at the end) when it is too wide.
void elidedText(QPainter& p, const QRectF& rect, const QString& text, const QFont& font, const QColor& color,
                Qt::Alignment alignment, Qt::TextElideMode mode);

}  // namespace Painters
