#pragma once
// A button that reads as a link: its title in the accent colour (or a tint
// of its own) at a text size, no frame.
#include <QAbstractButton>
#include <QColor>
#include <optional>

class LinkButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit LinkButton(const QString& title, double size = 10.5, QWidget* parent = nullptr);
    QSize sizeHint() const override;
    // The title's colour instead of the accent (the rose of a destructive action).
    void setTint(const QColor& tint);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double size_;
    std::optional<QColor> tint_;
};
