#pragma once
// A button that reads as a link: its title in the accent colour (or a tint
// of its own) at a text size, no frame. Squeezed narrower than its title, it
// cuts the title in the middle.
#include <QAbstractButton>
#include <QColor>
#include <QFont>
#include <optional>

class LinkButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit LinkButton(const QString& title, double size = 10.5, QWidget* parent = nullptr);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    // The title's colour instead of the accent (the rose of a destructive
    // action, the secondary colour of a quiet one).
    void setTint(const QColor& tint);
    QColor tint() const;
    void setWeight(QFont::Weight weight);
    QFont font() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double size_;
    QFont::Weight weight_ = QFont::Normal;
    std::optional<QColor> tint_;
};
