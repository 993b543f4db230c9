#pragma once
// A spinning progress indicator of indeterminate length: a short arc turning
// about its centre while it is shown. Decoration only: hidden from
// accessibility; the text beside it says what runs.
#include <QBasicTimer>
#include <QWidget>

class Spinner : public QWidget {
    Q_OBJECT
public:
    // side: the square's side (small 16, large 32).
    explicit Spinner(int side, QWidget* parent = nullptr);

    // The arc's turn in degrees; moves on while the spinner is visible.
    int angle() const { return angle_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    QBasicTimer timer_;
    int angle_ = 0;
};
