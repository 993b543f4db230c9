#include "app/controls/spinner.h"

#include <QPainter>
#include <QTimerEvent>
#include <cmath>

#include "app/controls/theme.h"

namespace {
constexpr int kSpokes = 12;
constexpr int kStepMilliseconds = 83;  // one turn a second
}  // namespace

Spinner::Spinner(Size size, QWidget* parent) : QWidget(parent), size_(size) {
    setObjectName(QStringLiteral("Spinner"));
    setFixedSize(sizeHint());
    setAccessibleName(QStringLiteral("In progress"));
}

QSize Spinner::sizeHint() const {
    const int s = int(side());
    return {s, s};
}

void Spinner::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const double s = std::min(width(), height());
    const double outer = s / 2, inner = s * 0.25, thickness = std::max(1.5, s * 0.085);
    p.translate(width() / 2.0, height() / 2.0);
    for (int i = 0; i < kSpokes; ++i) {
        // The spoke at the current step is darkest; those behind it fade.
        const int age = (step_ - i + kSpokes) % kSpokes;
        QPen pen(Theme::primary(0.62 * (1.0 - age / double(kSpokes)) + 0.08), thickness, Qt::SolidLine, Qt::RoundCap);
        p.setPen(pen);
        const double angle = 2 * M_PI * i / kSpokes - M_PI / 2;
        const QPointF dir(std::cos(angle), std::sin(angle));
        p.drawLine(dir * (inner + thickness / 2), dir * (outer - thickness / 2));
    }
}

void Spinner::showEvent(QShowEvent*) {
    if (!timer_) timer_ = startTimer(kStepMilliseconds);
}

void Spinner::hideEvent(QHideEvent*) {
    if (timer_) killTimer(timer_);
    timer_ = 0;
}

void Spinner::timerEvent(QTimerEvent* event) {
    if (event->timerId() != timer_) return;
    step_ = (step_ + 1) % kSpokes;
    update();
}
