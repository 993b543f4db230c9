#pragma once
// An indeterminate progress indicator: an arc that turns while the indicator
// is shown, small (16 points) or large (32 points).
#include <QColor>
#include <QWidget>

class BusyIndicator : public QWidget {
    Q_OBJECT
public:
    enum class Size { small, large };
    explicit BusyIndicator(Size size = Size::small, QWidget* parent = nullptr);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    double side_;
    int angle_ = 0;
    int timer_ = 0;
};
