#include "app/controls/text_label.h"

#include <QPainter>

#include "app/controls/painters.h"

TextLabel::TextLabel(const QString& text, const QFont& font, const QColor& color, QWidget* parent)
    : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setFont(font);
    setColor(color);
    setText(text);
}

void TextLabel::setColor(const QColor& color) {
    QPalette p = palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        p.setColor(group, QPalette::WindowText, color);
    setPalette(p);
}

void TextLabel::setElide(Qt::TextElideMode mode, Width width) {
    elide_ = mode;
    setWordWrap(false);
    setSizePolicy(width == Width::given ? QSizePolicy::Ignored : QSizePolicy::Preferred, sizePolicy().verticalPolicy());
    updateGeometry();
    update();
}

QSize TextLabel::minimumSizeHint() const {
    if (!elide_) return QLabel::minimumSizeHint();
    return {0, QLabel::minimumSizeHint().height()};
}

void TextLabel::paintEvent(QPaintEvent* event) {
    if (!elide_) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter p(this);
    Painters::elidedText(p, contentsRect(), text(), font(), palette().color(QPalette::WindowText),
                         alignment(), *elide_);
}
