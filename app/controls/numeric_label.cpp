#include "app/controls/numeric_label.h"

#include <QFontMetricsF>
#include <QPainter>
#include <algorithm>

NumericLabel::NumericLabel(const QString& text, const QFont& font, const QColor& color, QWidget* parent)
    : TextLabel(text, font, color, parent), motion_(this, Motion::textChange(), 1, [this](double) { update(); }) {}

void NumericLabel::setValue(const QString& text) {
    if (text == this->text()) return;
    outgoing_ = this->text();
    setText(text);
    motion_.jumpTo(0);
    motion_.moveTo(1);
}

void NumericLabel::paintEvent(QPaintEvent* event) {
    const double p = std::clamp(motion_.value(), 0.0, 1.0);
    if (!motion_.isMoving() || wordWrap()) {
        TextLabel::paintEvent(event);
        return;
    }
    const QString incoming = text();
    // The characters both texts begin with, never half of a surrogate pair.
    qsizetype same = 0;
    while (same < incoming.size() && same < outgoing_.size() && incoming[same] == outgoing_[same]) ++same;
    if (same > 0 && incoming[same - 1].isHighSurrogate()) --same;

    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(font());
    const QFontMetricsF metrics(font());
    const QRectF box = contentsRect();
    const QColor color = palette().color(QPalette::WindowText);
    const Qt::Alignment vertical = alignment() & Qt::AlignVertical_Mask;
    // Where a text of that width starts on the line, by the label's alignment.
    auto start = [&](const QString& s) {
        const double width = metrics.horizontalAdvance(s);
        if (alignment() & Qt::AlignRight) return box.right() - width;
        if (alignment() & Qt::AlignHCenter) return box.center().x() - width / 2;
        return box.left();
    };
    const double fromX = start(outgoing_), toX = start(incoming);
    const double lift = metrics.height();
    auto draw = [&](const QString& s, double x, double y, double opacity) {
        if (s.isEmpty() || opacity <= 0) return;
        QColor c = color;
        c.setAlphaF(float(c.alphaF() * opacity));
        painter.setPen(c);
        painter.drawText(QRectF(x, box.top() + y, metrics.horizontalAdvance(s) + 1, box.height()),
                         Qt::AlignLeft | vertical, s);
    };
    const QString prefix = incoming.left(same);
    const double prefixX = fromX + (toX - fromX) * p;
    const double prefixW = metrics.horizontalAdvance(prefix);
    draw(prefix, prefixX, 0, 1);
    draw(outgoing_.mid(same), fromX + prefixW, -lift * p, 1 - p);
    draw(incoming.mid(same), toX + prefixW, lift * (1 - p), p);
}
