#pragma once
// The indeterminate progress indicator: twelve spokes fading round a circle,
// turning while the widget is shown. Small (16) in headers and rows, large
// (32) where a whole pane waits.
#include <QWidget>

class Spinner : public QWidget {
    Q_OBJECT
public:
    enum class Size { small, large };
    explicit Spinner(Size size, QWidget* parent = nullptr);

    Size spinnerSize() const { return size_; }
    double side() const { return size_ == Size::large ? 32 : 16; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    Size size_;
    int step_ = 0;
    int timer_ = 0;
};
