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
    // How wide an eliding label asks to be: as wide as the layout makes it
    // (its text counts for nothing, for a label that fills a row), or as wide
    // as its text up to its maximum width, giving up what the row cannot spare
    // (for a short message beside other controls).
    enum class Width { given, text };
    // One line, cut with an ellipsis where it does not fit (the end, middle or
    // start); a label made with wrapping off never grows taller.
    void setElide(Qt::TextElideMode mode, Width width = Width::given);

    // Wrapped at word boundaries (inside a word only where one word is wider
    // than the line) onto at most that many lines, the last one cut with an
    // ellipsis when the text goes on; the whole text is then the tooltip. It
    // asks to be as wide as its text on one line, and as tall as the lines
    // the width it is given takes.
    void setLineLimit(int lines);
    // The lines shown at that width of the contents, and whether text was cut.
    QStringList linesFor(int width, bool* cut = nullptr) const;

    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    QSize minimumSizeHint() const override;

private:
    std::optional<Qt::TextElideMode> elide_;
    int lineLimit_ = 0;  // 0: QLabel's own wrapping
};
