#include "app/controls/text_label.h"

#include <QPainter>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

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

void TextLabel::setLineLimit(int lines) {
    lineLimit_ = std::max(1, lines);
    elide_.reset();
    setWordWrap(false);
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    updateGeometry();
    update();
}

QStringList TextLabel::linesFor(int width, bool* cut) const {
    if (cut) *cut = false;
    const QString whole = text();
    if (whole.isEmpty() || width <= 0) return {whole};
    QTextLayout layout(whole, font());
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    struct Range {
        int start, length;
    };
    std::vector<Range> ranges;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        ranges.push_back({line.textStart(), line.textLength()});
    }
    layout.endLayout();
    QStringList lines;
    const size_t limit = size_t(lineLimit_);
    for (size_t i = 0; i < ranges.size() && i + 1 < limit; ++i)
        lines << whole.mid(ranges[i].start, ranges[i].length).trimmed();
    if (ranges.size() <= limit) {
        if (ranges.size() == limit) lines << whole.mid(ranges.back().start, ranges.back().length).trimmed();
        return lines;
    }
    // The last line shown holds the rest of the text, cut to the width.
    const QString rest = whole.mid(ranges[limit - 1].start).simplified();
    lines << fontMetrics().elidedText(rest, Qt::ElideRight, width);
    if (cut) *cut = true;
    return lines;
}

bool TextLabel::hasHeightForWidth() const { return lineLimit_ > 0 || QLabel::hasHeightForWidth(); }

int TextLabel::heightForWidth(int width) const {
    // A layout asks at the width of its cell, which may be wider than the
    // label can ever be; its lines break at the width it will really have.
    width = std::min(width, maximumWidth());
    if (lineLimit_ == 0) return QLabel::heightForWidth(width);
    const QMargins m = contentsMargins();
    const int lines = int(linesFor(width - m.left() - m.right()).size());
    return std::max(1, lines) * fontMetrics().lineSpacing() + m.top() + m.bottom();
}

QSize TextLabel::sizeHint() const {
    if (lineLimit_ == 0) return QLabel::sizeHint();
    const QMargins m = contentsMargins();
    const int oneLine = int(std::ceil(fontMetrics().horizontalAdvance(text()))) + 1;
    return {oneLine + m.left() + m.right(), fontMetrics().lineSpacing() + m.top() + m.bottom()};
}

QSize TextLabel::minimumSizeHint() const {
    if (lineLimit_ > 0) return {fontMetrics().averageCharWidth() * 4, fontMetrics().lineSpacing()};
    if (!elide_) return QLabel::minimumSizeHint();
    return {0, QLabel::minimumSizeHint().height()};
}

void TextLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    if (lineLimit_ == 0) return;
    bool cut = false;
    linesFor(contentsRect().width(), &cut);
    setToolTip(cut ? text() : QString());
}

void TextLabel::paintEvent(QPaintEvent* event) {
    if (lineLimit_ > 0) {
        QPainter p(this);
        p.setFont(font());
        p.setPen(palette().color(QPalette::WindowText));
        const QRect area = contentsRect();
        const int spacing = fontMetrics().lineSpacing();
        const QStringList lines = linesFor(area.width());
        // Vertically centred in what the layout gave.
        int y = area.top() + std::max(0, (area.height() - int(lines.size()) * spacing) / 2);
        for (const QString& line : lines) {
            p.drawText(QRect(area.left(), y, area.width(), spacing), Qt::AlignLeft | Qt::AlignVCenter, line);
            y += spacing;
        }
        return;
    }
    if (!elide_) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter p(this);
    Painters::elidedText(p, contentsRect(), text(), font(), palette().color(QPalette::WindowText),
                         alignment(), *elide_);
}
