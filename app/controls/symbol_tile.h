#pragma once
// A symbol in white on a rounded tile of a tint, with the tint's soft shadow.
// Decoration only: hidden from accessibility.
#include <QColor>
#include <QWidget>

#include "app/controls/symbols.h"

class SymbolTile : public QWidget {
    Q_OBJECT
public:
    SymbolTile(Symbol symbol, const QColor& tint, double size, QWidget* parent = nullptr);

    Symbol symbol() const { return symbol_; }
    QColor tint() const { return tint_; }
    double side() const { return size_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Symbol symbol_;
    QColor tint_;
    double size_;
};
