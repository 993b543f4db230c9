#pragma once
// Content on a card: padded on all four edges, on a rounded rectangle with the
// material fill, a faint sheen and a hairline inside its edge.
#include <QWidget>

class QLayout;

class CardBackground : public QWidget {
    Q_OBJECT
public:
    // An empty card; put content in with setContent() or a layout of its own
    // (whose margins are the padding).
    CardBackground(double padding, double radius, QWidget* parent = nullptr);

    double padding() const { return padding_; }
    double radius() const { return radius_; }
    // Places the content inside the padding (the card takes ownership).
    void setContent(QWidget* content);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double padding_;
    double radius_;
};

namespace Controls {
// The content on a new card; what screens write as card(padding:radius:).
CardBackground* card(QWidget* content, double padding, double radius, QWidget* parent = nullptr);
}  // namespace Controls
