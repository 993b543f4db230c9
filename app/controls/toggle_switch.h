#pragma once
// A switch with its label: the label at the left, the switch at the right end
// (the layout of a settings form), or the switch alone after a label when the
// row is compact. Clicking anywhere on it flips it, unless it is disabled; it
// is a checkable button, so toggled() reports each change, whoever made it.
#include <QAbstractButton>
#include <QFont>

class ToggleSwitch : public QAbstractButton {
    Q_OBJECT
public:
    enum class Layout {
        form,     // label at the left, the switch at the far right
        compact,  // the label, then a smaller switch right after it
    };
    ToggleSwitch(const QString& label, const QFont& font, Layout layout = Layout::form, QWidget* parent = nullptr);

    // Sets the value without emitting toggled() (for showing a value read elsewhere).
    void setCheckedQuietly(bool on);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& pos) const override;

private:
    QSizeF trackSize() const;
    QRectF trackRect() const;

    QFont font_;
    Layout layout_;
};
