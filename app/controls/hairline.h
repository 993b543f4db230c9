#pragma once
// A one-point line across its width (less the insets): the divider between
// the rows of a card or under a header.
#include <QColor>
#include <QWidget>

class Hairline : public QWidget {
    Q_OBJECT
public:
    explicit Hairline(const QColor& colour, double leadingInset = 0, double trailingInset = 0,
                      QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor colour_;
    double leading_;
    double trailing_;
};
