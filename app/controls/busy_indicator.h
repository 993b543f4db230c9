#pragma once
// An indeterminate progress indicator: an arc that turns while the indicator
// is shown, small (16 points) or large (32 points), a twelfth of a turn at a
// time on the window's animation clock (still while motion is off).
#include <QColor>
#include <QWidget>

class QVariantAnimation;

class BusyIndicator : public QWidget {
    Q_OBJECT
public:
    enum class Size { small, large };
    explicit BusyIndicator(Size size = Size::small, QWidget* parent = nullptr);

    QSize sizeHint() const override;
    // The arc's turn, in degrees from the top.
    int angle() const { return angle_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    double side_;
    int angle_ = 0;
    QVariantAnimation* turn_;
};
