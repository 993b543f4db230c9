#include "app/controls/busy_indicator.h"

#include <QPainter>
#include <QVariantAnimation>

#include "app/controls/motion.h"
#include "app/controls/theme.h"

BusyIndicator::BusyIndicator(Size size, QWidget* parent)
    : QWidget(parent), side_(size == Size::small ? 16 : 32), turn_(new QVariantAnimation(this)) {
    setObjectName(QStringLiteral("BusyIndicator"));
    setAccessibleName(QStringLiteral("In progress"));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    // Twelve steps of 50 ms a turn, for as long as it shows.
    turn_->setStartValue(0);
    turn_->setEndValue(12);
    turn_->setDuration(600);
    turn_->setLoopCount(-1);
    connect(turn_, &QVariantAnimation::valueChanged, this, [this](const QVariant& step) {
        const int angle = (step.toInt() % 12) * 30;
        if (angle == angle_) return;
        angle_ = angle;
        update();
    });
}

QSize BusyIndicator::sizeHint() const { return {int(side_), int(side_)}; }

void BusyIndicator::showEvent(QShowEvent*) {
    if (Motion::enabled()) turn_->start();
}

void BusyIndicator::hideEvent(QHideEvent*) { turn_->stop(); }

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
