#pragma once
// A line (or a wrapped paragraph) of plain text in one of the window's fonts
// and colours. Text handed in is shown as it is, never read as markup.
#include <QLabel>
#include <optional>

class TextLabel : public QLabel {
    Q_OBJECT
public:
    TextLabel(const QString& text, const QFont& font, const QColor& color, QWidget* parent = nullptr);

    void setColor(const QColor& color);
    // One line, cut with an ellipsis where it does not fit (the end, middle or
    // start); a label made with wrapping off never grows taller.
    void setElide(Qt::TextElideMode mode);

protected:
    void paintEvent(QPaintEvent* event) override;
    QSize minimumSizeHint() const override;

private:
    std::optional<Qt::TextElideMode> elide_;
};
