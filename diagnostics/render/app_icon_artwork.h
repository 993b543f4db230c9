#pragma once
// The application icon: a rounded gradient tile with a gloss, a stylised
// all-in-one desktop computer in its middle and three four-point sparkles,
// drawn on a fixed 1024 by 1024 canvas (origin top left, y down, sRGB).
#include <QImage>
#include <QPainterPath>
#include <QPointF>
#include <QRectF>

class QPainter;

namespace AppIconArtwork {

inline constexpr int kCanvas = 1024;

// Draws the whole icon with the canvas's top-left corner at the painter's origin.
void draw(QPainter& painter);

// The icon rasterised once: 1024 by 1024 premultiplied ARGB, transparent
// outside the tile. A null image when it could not be made.
QImage render();

// A rounded rectangle with continuous corners: each corner eases out of the
// straight edge over about 1.53 radii instead of starting a circular arc at
// one radius. A radius too large for that (as for a capsule) gives circular
// corners of at most half the shorter side.
QPainterPath continuousRoundedRect(const QRectF& rect, qreal radius);

// The closed path of a four-point star: its points at the radius above,
// right, below and left of the centre, its arms pinched by control points on
// the diagonals at 0.21 of the radius.
QPainterPath sparkle(QPointF center, qreal radius);

}  // namespace AppIconArtwork
