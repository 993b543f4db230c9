#pragma once
// One symbol at a text size in a colour, as a small widget (in labels, rows
// and badges). Its box is the given width, or the symbol's own. Decoration
// for assistive technology, unless given an accessible name of what it means
// where no text beside it says so ("Disk").
#include <QColor>
#include <QWidget>

#include "app/controls/symbols.h"

class SymbolView : public QWidget {
    Q_OBJECT
public:
    SymbolView(Symbol symbol, double size, const QColor& color, double boxWidth = 0, QWidget* parent = nullptr);

    Symbol symbol() const { return symbol_; }
    QColor color() const { return color_; }
    void setSymbol(Symbol symbol, const QColor& color);
    // Turns the symbol by degrees (0 points it as drawn), about its centre.
    void setRotation(double degrees);
    double rotation() const { return rotation_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Symbol symbol_;
    double size_;
    QColor color_;
    double rotation_ = 0;
};
