#include "app/controls/thin_scroll_bar.h"

#include <QPainter>
#include <QPainterPath>
#include <QStyleOptionSlider>
#include <algorithm>

#include "app/controls/theme.h"

namespace {
constexpr int kBreadth = 11;
constexpr double kThumb = 6;
}  // namespace

ThinScrollBar::ThinScrollBar(Qt::Orientation orientation, QWidget* parent) : QScrollBar(orientation, parent) {
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

QSize ThinScrollBar::sizeHint() const {
    return orientation() == Qt::Vertical ? QSize(kBreadth, 100) : QSize(100, kBreadth);
}

void ThinScrollBar::paintEvent(QPaintEvent*) {
    if (maximum() <= minimum()) return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const bool vertical = orientation() == Qt::Vertical;
    const double length = vertical ? height() : width();
    const double total = double(maximum() - minimum()) + pageStep();
    const double thumbLength = std::max(24.0, length * pageStep() / total);
    const double start = (length - thumbLength) * double(value() - minimum()) / double(maximum() - minimum());
    const double across = (kBreadth - kThumb) / 2;
    QRectF thumb = vertical ? QRectF(across, start + 2, kThumb, thumbLength - 4)
                            : QRectF(start + 2, across, thumbLength - 4, kThumb);
    QPainterPath path;
    path.addRoundedRect(thumb, kThumb / 2, kThumb / 2);
    p.fillPath(path, Theme::primary(isSliderDown() ? 0.45 : 0.3));
}
