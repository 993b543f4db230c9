#include "diagnostics/render/app_icon_artwork.h"

#include <QColor>
#include <QLinearGradient>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <vector>

namespace AppIconArtwork {
namespace {

const QRectF kTile(100, 100, 824, 824);
constexpr qreal kTileRadius = 0.2247 * 824;

QColor rgb(double r, double g, double b, double opacity = 1) {
    return QColor::fromRgbF(float(r), float(g), float(b), float(opacity));
}
QColor white(double opacity) { return rgb(1, 1, 1, opacity); }

QLinearGradient gradient(QPointF from, QPointF to, std::initializer_list<QColor> colors) {
    QLinearGradient g(from, to);
    const int n = int(colors.size());
    int i = 0;
    for (const QColor& c : colors) g.setColorAt(n == 1 ? 0 : qreal(i++) / (n - 1), c);
    return g;
}

// Blurs an alpha mask in place with three box passes each way, which comes
// close to a Gaussian of the given standard deviation.
void blur(std::vector<float>& mask, int width, int height, double sigma) {
    // Box widths whose three passes give the Gaussian's variance.
    const int passes = 3;
    double ideal = std::sqrt(12 * sigma * sigma / passes + 1);
    int lower = int(std::floor(ideal));
    if (lower % 2 == 0) --lower;
    int upper = lower + 2;
    double m = std::round((12 * sigma * sigma - passes * lower * lower - 4.0 * passes * lower - 3.0 * passes) /
                          (-4.0 * lower - 4));
    std::vector<float> line;
    auto pass = [&](int radius, bool horizontal) {
        const int count = horizontal ? width : height;
        const int lines = horizontal ? height : width;
        line.resize(size_t(count));
        for (int l = 0; l < lines; ++l) {
            auto at = [&](int k) -> float& {
                return horizontal ? mask[size_t(l) * size_t(width) + size_t(k)]
                                  : mask[size_t(k) * size_t(width) + size_t(l)];
            };
            for (int k = 0; k < count; ++k) line[size_t(k)] = at(k);
            double sum = 0;
            for (int k = -radius; k <= radius; ++k) sum += (k >= 0 && k < count) ? line[size_t(k)] : 0;
            for (int k = 0; k < count; ++k) {
                at(k) = float(sum / (2 * radius + 1));
                int out = k - radius, in = k + radius + 1;
                if (out >= 0) sum -= line[size_t(out)];
                if (in < count) sum += line[size_t(in)];
            }
        }
    };
    for (int i = 0; i < passes; ++i) {
        int box = i < m ? lower : upper;
        pass(box / 2, true);
        pass(box / 2, false);
    }
}

// The shape's drop shadow: black at the opacity, blurred, moved by the offset.
void drawShadow(QPainter& painter, const QPainterPath& shape, double opacity, double blurRadius, QPointF offset) {
    QImage mask(kCanvas, kCanvas, QImage::Format_Alpha8);
    mask.fill(0);
    {
        QPainter p(&mask);
        p.setRenderHint(QPainter::Antialiasing);
        p.fillPath(shape, Qt::black);
    }
    std::vector<float> alpha(size_t(kCanvas) * kCanvas);
    for (int y = 0; y < kCanvas; ++y) {
        const uchar* row = mask.constScanLine(y);
        for (int x = 0; x < kCanvas; ++x) alpha[size_t(y) * kCanvas + size_t(x)] = row[x] / 255.0f;
    }
    // A shadow's blur radius spreads about twice the Gaussian's deviation.
    blur(alpha, kCanvas, kCanvas, blurRadius / 2);
    QImage shadow(kCanvas, kCanvas, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < kCanvas; ++y) {
        auto* row = reinterpret_cast<QRgb*>(shadow.scanLine(y));
        for (int x = 0; x < kCanvas; ++x) {
            int a = int(std::lround(std::clamp(alpha[size_t(y) * kCanvas + size_t(x)], 0.0f, 1.0f) * opacity * 255));
            row[x] = qRgba(0, 0, 0, a);  // black: premultiplied and straight are the same
        }
    }
    painter.drawImage(offset, shadow);
}

void drawDesktopComputer(QPainter& painter) {
    // The case, with its shadow beneath it.
    const QPainterPath body = continuousRoundedRect(QRectF(342, 312, 340, 420), 52);
    drawShadow(painter, body, 0.22, 16, QPointF(0, 10));
    painter.fillPath(body, gradient({512, 312}, {512, 732}, {white(1), rgb(0.93, 0.93, 0.93)}));

    // The screen and its reflection.
    const QRectF screen(378, 350, 268, 204);
    painter.fillPath(continuousRoundedRect(screen, 16),
                     gradient(screen.topLeft(), screen.bottomRight(), {rgb(0.36, 0.45, 0.97), rgb(0.51, 0.36, 0.95)}));
    const qreal reflection = 0.42 * screen.height();
    painter.fillPath(continuousRoundedRect(QRectF(378, 350, 268, reflection), 16),
                     gradient({512, 350}, {512, 350 + reflection}, {white(0.3), white(0)}));

    // The bar under the screen and the disk slot.
    painter.fillPath(continuousRoundedRect(QRectF(378, 594, 268, 18), 9), rgb(0.62, 0.66, 0.99, 0.85));
    painter.fillPath(continuousRoundedRect(QRectF(470, 652, 84, 12), 6), rgb(0.72, 0.75, 1.0, 0.75));
}

}  // namespace

QPainterPath continuousRoundedRect(const QRectF& rect, qreal radius) {
    // Where the corner curve leaves the straight edge, in radii from the corner.
    constexpr qreal kReach = 1.52866483;
    const qreal half = std::min(rect.width(), rect.height()) / 2;
    QPainterPath path;
    if (radius <= 0) {
        path.addRect(rect);
        return path;
    }
    if (radius * kReach > half) {
        const qreal r = std::min(radius, half);
        path.addRoundedRect(rect, r, r);
        return path;
    }
    // Each corner in its own frame: u runs along the edge into the corner,
    // v along the next edge out of it; P(s, t) = corner - s·r·u + t·r·v.
    struct Corner {
        QPointF at, u, v;
    };
    const Corner corners[] = {
        {rect.topRight(), {1, 0}, {0, 1}},
        {rect.bottomRight(), {0, 1}, {-1, 0}},
        {rect.bottomLeft(), {-1, 0}, {0, -1}},
        {rect.topLeft(), {0, -1}, {1, 0}},
    };
    auto point = [radius](const Corner& c, qreal s, qreal t) { return c.at - s * radius * c.u + t * radius * c.v; };
    path.moveTo(point(corners[0], kReach, 0));
    for (const Corner& c : corners) {
        path.lineTo(point(c, kReach, 0));
        path.cubicTo(point(c, 1.08849323, 0), point(c, 0.86840689, 0), point(c, 0.63149399, 0.07491100));
        path.cubicTo(point(c, 0.37282392, 0.16905899), point(c, 0.16905899, 0.37282392),
                     point(c, 0.07491100, 0.63149399));
        path.cubicTo(point(c, 0, 0.86840689), point(c, 0, 1.08849323), point(c, 0, kReach));
    }
    path.closeSubpath();
    return path;
}

QPainterPath sparkle(QPointF center, qreal radius) {
    const qreal cx = center.x(), cy = center.y(), r = radius, k = 0.21 * radius;
    QPainterPath path;
    path.moveTo(cx, cy - r);
    path.quadTo(cx + k, cy - k, cx + r, cy);
    path.quadTo(cx + k, cy + k, cx, cy + r);
    path.quadTo(cx - k, cy + k, cx - r, cy);
    path.quadTo(cx - k, cy - k, cx, cy - r);
    path.closeSubpath();
    return path;
}

void draw(QPainter& painter) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QPainterPath tile = continuousRoundedRect(kTile, kTileRadius);

    painter.fillPath(tile, gradient(kTile.topLeft(), kTile.bottomRight(),
                                    {rgb(0.35, 0.63, 1.0), rgb(0.29, 0.45, 0.99), rgb(0.46, 0.31, 0.94)}));

    // Everything from here on stays inside the tile.
    painter.setClipPath(tile);
    painter.fillRect(kTile, gradient({512, 100}, {512, 512}, {white(0.3), white(0)}));

    drawDesktopComputer(painter);
    painter.fillPath(sparkle({742, 340}, 140), gradient({742, 200}, {742, 480}, {white(1), white(0.88)}));
    painter.fillPath(sparkle({272, 356}, 48), white(0.85));
    painter.fillPath(sparkle({806, 648}, 42), white(0.78));
    painter.restore();
}

QImage render() {
    QImage image(kCanvas, kCanvas, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) return image;
    image.fill(Qt::transparent);
    QPainter painter(&image);
    draw(painter);
    painter.end();
    return image;
}

}  // namespace AppIconArtwork
