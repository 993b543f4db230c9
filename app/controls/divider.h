#pragma once
// A hairline between the rows of a card: the primary colour at an opacity,
// starting an inset from the leading edge.
#include <QWidget>

class Divider : public QWidget {
    Q_OBJECT
public:
    explicit Divider(double opacity = 1.0, int leadingInset = 0, QWidget* parent = nullptr);

    double opacity() const { return opacity_; }
    int leadingInset() const { return inset_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double opacity_;
    int inset_;
};
