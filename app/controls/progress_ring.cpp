#include "app/controls/progress_ring.h"

#include <QPainter>
#include <cmath>

#include "app/controls/painters.h"

ProgressRing::ProgressRing(double frame, double progress, double lineWidth, const QColor& gradientTop,
                           const QColor& gradientBottom, const QColor& track, QWidget* parent)
    : QWidget(parent),
      frame_(frame),
      progress_(progress),
      lineWidth_(lineWidth),
      top_(gradientTop),
      bottom_(gradientBottom),
      track_(track) {
    const int side = int(std::ceil(frame + lineWidth));
    setFixedSize(side, side);
}

void ProgressRing::setProgress(double progress) {
    if (progress == progress_) return;
    progress_ = progress;
    update();
}

void ProgressRing::setGradient(const QColor& top, const QColor& bottom) {
    top_ = top;
    bottom_ = bottom;
    update();
}

QRectF ProgressRing::frameRect() const {
    return {(width() - frame_) / 2, (height() - frame_) / 2, frame_, frame_};
}

void ProgressRing::paintEvent(QPaintEvent*) {
    QPainter p(this);
    Painters::progressRing(p, frameRect(), progress_, lineWidth_, top_, bottom_, track_);
}
