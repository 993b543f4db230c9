#include "app/controls/spinner.h"

#include <QPainter>
#include <QTimerEvent>

#include "app/controls/theme.h"

Spinner::Spinner(int side, QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Spinner"));
    setFixedSize(side, side);
    setAccessibleName(QString());
}

void Spinner::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const double line = std::max(2.0, width() / 9.0);
    const QRectF ring = QRectF(rect()).adjusted(line / 2 + 0.5, line / 2 + 0.5, -line / 2 - 0.5, -line / 2 - 0.5);
    p.setPen(QPen(Theme::primary(0.1), line));
    p.drawEllipse(ring);
    p.setPen(QPen(Theme::secondary(), line, Qt::SolidLine, Qt::RoundCap));
    // Qt counts sixteenths of a degree, counter-clockwise from three o'clock.
    p.drawArc(ring, (90 - angle_) * 16, -100 * 16);
}

void Spinner::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    timer_.start(40, this);
}

void Spinner::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    timer_.stop();
}

void Spinner::timerEvent(QTimerEvent* event) {
    if (event->timerId() != timer_.timerId()) return QWidget::timerEvent(event);
    angle_ = (angle_ + 30) % 360;
    update();
}
