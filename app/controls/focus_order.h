#pragma once
// Where Tab and Shift+Tab go: the controls of a part of a window in the order
// they are read, top to bottom and, along a line, leading to trailing, one
// block (a column, a card, a header) at a time. A control that is hidden,
// disabled or takes no Tab is no stop; a list is one stop, whatever it holds.
#include <QPointer>
#include <QWidget>
#include <vector>

namespace FocusOrder {

// The stops inside the widget (itself included when it is one), in reading
// order. Sibling widgets are read by their place: the one above first, and of
// two side by side (their heights overlapping) the leading one, with all that
// each holds read before the next.
std::vector<QWidget*> stops(QWidget* within);

// Gives the focus to the stop after the focused one (or before it, when next
// is false), going round; to the first (or last) when the focus is on none of
// them. The keyboard moved it, so the stop shows its ring. False when there
// is no stop.
bool move(const std::vector<QWidget*>& stops, bool next);

// Keeps the focus inside a part of a window while that part trades its
// controls (a scan's Stop for the buttons it hid, and back): made before the
// change, it gives the focus, once the change is made, to the part's first
// stop when the control that had it is gone, ringed when the keyboard had
// brought it there. Without it Qt hands the focus to whatever follows the
// part.
class KeepIn {
public:
    explicit KeepIn(QWidget* part);
    ~KeepIn();
    KeepIn(const KeepIn&) = delete;
    KeepIn& operator=(const KeepIn&) = delete;

private:
    QPointer<QWidget> part_;
    QPointer<QWidget> focus_;
    bool had_ = false;  // the focus was in the part (focus_ may go)
    bool byKeyboard_ = false;
};

}  // namespace FocusOrder
