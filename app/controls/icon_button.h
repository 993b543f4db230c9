#pragma once
// A button that is a symbol alone: no bezel, the symbol in its colour, dimmed
// while pressed and faded while disabled, in a fixed box that is all hit area.
// Its name says what it does ("Dismiss notification", "Clear search"), never
// the symbol's identifier: it is what assistive technology reads and what the
// tooltip shows. Like the capsule buttons it is reached with Tab, not by a
// click.
#include <QAbstractButton>
#include <QColor>

#include "app/controls/symbols.h"

class IconButton : public QAbstractButton {
    Q_OBJECT
public:
    // The symbol at a text size, centred in a square box of the given side.
    IconButton(Symbol symbol, double size, double side, const QColor& color, const QString& name,
               QWidget* parent = nullptr);

    Symbol symbol() const { return symbol_; }
    QColor color() const { return color_; }
    QString name() const { return accessibleName(); }
    double rotation() const { return rotation_; }

    void setSymbol(Symbol symbol);
    void setColor(const QColor& color);
    // What the button does now (its accessible name and tooltip).
    void setName(const QString& name);
    // Turns the symbol by degrees about the box's centre (a disclosure chevron).
    void setRotation(double degrees);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

    // The symbol's colour as drawn: faded to 0.4 while disabled, 0.6 while pressed.
    static QColor shownColor(const QColor& color, bool enabled, bool down);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Symbol symbol_;
    double size_;
    double side_;
    QColor color_;
    double rotation_ = 0;
};
