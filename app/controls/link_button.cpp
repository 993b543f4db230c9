#include "app/controls/link_button.h"

#include <QPainter>
#include <cmath>

#include "app/controls/fonts.h"
#include "app/controls/theme.h"

LinkButton::LinkButton(const QString& title, double size, QWidget* parent) : QAbstractButton(parent), size_(size) {
    setText(title);
    setAccessibleName(title);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize LinkButton::sizeHint() const {
    QFontMetricsF m(Fonts::text(size_));
    return {int(std::ceil(m.horizontalAdvance(text()))) + 2, int(std::ceil(m.height()))};
}

void LinkButton::setTint(const QColor& tint) {
    tint_ = tint;
    update();
}

void LinkButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setFont(Fonts::text(size_));
    const QColor tint = tint_.value_or(Theme::color(Theme::accent));
    p.setPen(isDown() ? Theme::faded(tint, 0.7) : tint);
    p.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter, text());
}
