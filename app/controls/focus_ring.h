#pragma once
// The ring that shows where the keyboard is: the accent colour, just outside
// the focused control's own shape at its own corner radius. Only focus that
// the keyboard brought shows it (Tab, Shift+Tab, a shortcut, the arrow keys
// of a list); focus a click gave never does. One painter draws every ring:
// the one overlay of each window that follows the focused control, and the
// lists that draw it around their current row themselves.
#include <QPainter>
#include <QRectF>
#include <functional>

class QWidget;

namespace FocusRing {

inline constexpr double kWidth = 3;  // the ring's stroke
inline constexpr double kGap = 1;    // between the control's edge and the ring

// The control's outline, in its own coordinates: a rounded rectangle (a
// radius of half the height or more is a capsule).
struct Shape {
    QRectF rect;
    double radius = 4;
};

// Watches every change of focus in the application and keeps each window's
// ring on the focused control. Once, after the application exists. From then
// on no scrolled column (QScrollArea) is a stop of Tab itself: its controls
// are, and it scrolls to each as it takes the focus.
void install();

// Whether the widget has the focus and the keyboard brought it there.
bool fromKeyboard(const QWidget* widget);

// The keyboard moved within the widget (a list's arrow keys): from now on its
// focus counts as the keyboard's, until a click gives focus again.
void keyboardMoved(QWidget* widget);
// Calls keyboardMoved for every key pressed in the widget (a list that moves
// its current row by itself).
void watchKeys(QWidget* widget);

// How the overlay outlines a widget (by default its whole rectangle at a
// radius of 4). A shape with an empty rectangle means the widget draws its
// own ring (a list around its current row).
void setShape(QWidget* widget, std::function<Shape()> shape);
void drawsItsOwn(QWidget* widget);
Shape shapeOf(const QWidget* widget);

// Draws the ring around a shape.
void paint(QPainter& p, const QRectF& shape, double radius);

// The ring's widget in a window while it shows (tests and pictures look at it).
QWidget* overlayOf(const QWidget* window);

}  // namespace FocusRing
