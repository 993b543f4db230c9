#include "app/controls/busy_indicator.h"

#include <QPainter>
#include <QTimerEvent>

#include "app/controls/theme.h"

BusyIndicator::BusyIndicator(Size size, QWidget* parent)
    : QWidget(parent), side_(size == Size::small ? 16 : 32) {
    setObjectName(QStringLiteral("BusyIndicator"));
    setAccessibleName(QStringLiteral("In progress"));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize BusyIndicator::sizeHint() const { return {int(side_), int(side_)}; }

void BusyIndicator::showEvent(QShowEvent*) {
    if (!timer_) timer_ = startTimer(50);
}

void BusyIndicator::hideEvent(QHideEvent*) {
    if (timer_) killTimer(timer_);
    timer_ = 0;
}

void BusyIndicator::timerEvent(QTimerEvent* event) {
    if (event->timerId() != timer_) return QWidget::timerEvent(event);
    angle_ = (angle_ + 30) % 360;
    update();
}

void BusyIndicator::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const double line = side_ / 8;
    const QRectF box = QRectF(0, 0, side_, side_).adjusted(line, line, -line, -line);
    p.setPen(QPen(Theme::primary(0.12), line, Qt::SolidLine, Qt::RoundCap));
    p.drawEllipse(box);
    p.setPen(QPen(Theme::secondary(), line, Qt::SolidLine, Qt::RoundCap));
    // Qt counts sixteenths of a degree, anticlockwise from three o'clock.
    p.drawArc(box, (90 - angle_) * 16, -100 * 16);
}
