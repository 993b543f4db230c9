#pragma once
// A vertical scroll view over a column of the screen's own (cards, rows):
// no frame, no horizontal scrolling, the slim scroll bar, and the window
// colour showing through.
class QScrollArea;
class QWidget;

namespace Controls {
// The content scrolls in a new view that takes ownership of it.
QScrollArea* scrollColumn(QWidget* content, QWidget* parent = nullptr);
// The content in a new block that keeps it inset by those margins.
QWidget* inset(QWidget* content, int left, int top, int right, int bottom);
}  // namespace Controls
