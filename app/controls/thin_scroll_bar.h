#pragma once
// A slim scroll bar drawn in the window's colours: a rounded thumb on no
// track, as the scroll indicators of the platform the product targets.
#include <QScrollBar>

class ThinScrollBar : public QScrollBar {
    Q_OBJECT
public:
    explicit ThinScrollBar(Qt::Orientation orientation, QWidget* parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};
