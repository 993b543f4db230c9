#pragma once
// A slim scroll bar drawn in the window's colours: a rounded thumb on no
// track, as the scroll indicators of the platform the product targets.
#include <QScrollBar>

class QScrollArea;

class ThinScrollBar : public QScrollBar {
    Q_OBJECT
public:
    explicit ThinScrollBar(Qt::Orientation orientation, QWidget* parent = nullptr);
    QSize sizeHint() const override;

    // The content in a frameless area that scrolls up and down (never
    // sideways) with this bar, the window's background showing through.
    static QScrollArea* verticalArea(QWidget* content);

protected:
    void paintEvent(QPaintEvent* event) override;
};
