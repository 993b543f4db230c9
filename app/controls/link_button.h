#pragma once
// A button that reads as a link: its title in the accent colour at a text
// size, no frame.
#include <QAbstractButton>

class LinkButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit LinkButton(const QString& title, double size = 10.5, QWidget* parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double size_;
};
