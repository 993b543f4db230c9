#include "app/controls/progress_ring.h"

#include <QPainter>
#include <cmath>

ProgressRing::ProgressRing(double frame, double progress, double lineWidth, Painters::RingGradient gradient,
                           const QColor& track, QWidget* parent)
    : QWidget(parent),
      frame_(frame),
      progress_(progress),
      lineWidth_(lineWidth),
      gradient_(std::move(gradient)),
      track_(track),
      motion_(this, Motion::ring(), progress, [this](double) { update(); }) {
    const int side = int(std::ceil(frame + lineWidth));
    setFixedSize(side, side);
}

ProgressRing::ProgressRing(double frame, double progress, double lineWidth, const QColor& gradientTop,
                           const QColor& gradientBottom, const QColor& track, QWidget* parent)
    : ProgressRing(frame, progress, lineWidth, Painters::RingGradient{{gradientTop, gradientBottom}}, track, parent) {}

void ProgressRing::setProgress(double progress) {
    if (progress == progress_) return;
    progress_ = progress;
    motion_.moveTo(progress);
}

void ProgressRing::setGradient(const QColor& top, const QColor& bottom) {
    gradient_ = Painters::RingGradient{{top, bottom}};
    update();
}

QColor ProgressRing::gradientTop() const { return gradient_.colours.empty() ? QColor() : gradient_.colours.front(); }
QColor ProgressRing::gradientBottom() const { return gradient_.colours.empty() ? QColor() : gradient_.colours.back(); }

QRectF ProgressRing::frameRect() const {
    return {(width() - frame_) / 2, (height() - frame_) / 2, frame_, frame_};
}

void ProgressRing::paintEvent(QPaintEvent*) {
    QPainter p(this);
    Painters::progressRing(p, frameRect(), motion_.value(), lineWidth_, gradient_, track_);
}
